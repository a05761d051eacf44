#include "QTxDates.h"

namespace QTx {

QString friendlyDate(const QDate& date, const QDate& today)
{
    if (date == today)
        return QStringLiteral("Today");
    if (date.daysTo(today) == 1)
        return QStringLiteral("Yesterday");
    if (date.year() == today.year()) {
        if (date.weekNumber() == today.weekNumber())
            return date.toString(QStringLiteral("dddd"));
        return date.toString(QStringLiteral("MMM d"));
    }
    return date.toString(QStringLiteral("MMM yyyy"));
}

QString friendlyDate(const QDate& date)
{
    return friendlyDate(date, QDate::currentDate());
}

QString coarseDate(const QDate& date, int* order, const QDate& today)
{
    int value;
    QString label;
    const QDate monday = today.addDays(1 - today.dayOfWeek());
    const qint64 w = monday.daysTo(date);
    int dateWeekYear = 0;
    int todayWeekYear = 0;
    const int dateWeek = date.weekNumber(&dateWeekYear);
    const int todayWeek = today.weekNumber(&todayWeekYear);
    const QDate lastMonthEnd = today.addDays(-today.day());
    const QDate lastMonthStart = lastMonthEnd.addDays(1 - lastMonthEnd.day());

    if (date > today) {
        label = QStringLiteral("Future");
        value = 1;
    } else if (date == today) {
        label = QStringLiteral("Today");
        value = 0;
    } else if (date.daysTo(today) == 1) {
        label = QStringLiteral("Yesterday");
        value = -1;
    } else if (dateWeek == todayWeek && dateWeekYear == todayWeekYear) {
        // The week-year keeps a date 52 weeks back out of this bucket, and
        // keeps the last days of December in it when the week began then.
        label = date.toString(QStringLiteral("dddd"));
        value = int(today.daysTo(date));
    } else if (w > -7) {
        label = QStringLiteral("Last Week");
        value = -10;
    } else if (w > -14) {
        label = QStringLiteral("Two Weeks Ago");
        value = -20;
    } else if (w > -21) {
        label = QStringLiteral("Three Weeks Ago");
        value = -30;
    } else if (date >= lastMonthStart) {
        label = QStringLiteral("Last Month");
        value = -40;
    } else if (today.daysTo(date) > -365) {
        label = QStringLiteral("Older");
        value = -50;
    } else {
        label = QStringLiteral("Ancient");
        value = -100;
    }
    if (order)
        *order = value;
    return label;
}

QString coarseDate(const QDate& date, int* order)
{
    return coarseDate(date, order, QDate::currentDate());
}

QString shortDateTime(const QDateTime& dateTime)
{
    const QDate date = dateTime.date();
    const QTime time = dateTime.time();
    if (!date.isValid() || !time.isValid())
        return QStringLiteral("(not available)");
    return QString::asprintf("%02d/%02d/%02d %02d:%02d", date.day(), date.month(), date.year(),
                             time.hour(), time.minute());
}

} // namespace QTx
