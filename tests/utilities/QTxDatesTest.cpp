#include "QTxDates.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

namespace {

struct CoarseCase { QDate date; const char* label; int order; };

void expectCoarse(const QDate& today, const std::vector<CoarseCase>& cases)
{
    for (const CoarseCase& c : cases) {
        SCOPED_TRACE(c.date.toString(Qt::ISODate).toStdString());
        int order = 12345;
        EXPECT_EQ(QTx::coarseDate(c.date, &order, today), QString::fromLatin1(c.label));
        EXPECT_EQ(order, c.order);
        EXPECT_EQ(QTx::coarseDate(c.date, nullptr, today), QString::fromLatin1(c.label));
    }
}

TEST(QTxDatesTest, CoarseDateOnWednesdayTwelfthOfMarch)
{
    expectCoarse(QDate(2025, 3, 12), {
        { QDate(2025, 3, 13), "Future", 1 }, { QDate(2026, 1, 1), "Future", 1 },
        { QDate(2025, 3, 12), "Today", 0 }, { QDate(2025, 3, 11), "Yesterday", -1 },
        { QDate(2025, 3, 10), "Monday", -2 }, { QDate(2025, 3, 9), "Last Week", -10 },
        { QDate(2025, 3, 4), "Last Week", -10 }, { QDate(2025, 3, 3), "Two Weeks Ago", -20 },
        { QDate(2025, 3, 2), "Two Weeks Ago", -20 }, { QDate(2025, 2, 24), "Three Weeks Ago", -30 },
        { QDate(2025, 2, 18), "Three Weeks Ago", -30 }, { QDate(2025, 2, 17), "Last Month", -40 },
        { QDate(2025, 2, 10), "Last Month", -40 }, { QDate(2025, 2, 1), "Last Month", -40 },
        { QDate(2025, 1, 31), "Older", -50 },
        { QDate(2024, 3, 13), "Older", -50 },   // 364 days back
        { QDate(2024, 3, 12), "Ancient", -100 }, // 365 days back
    });
}

TEST(QTxDatesTest, CoarseDateLastMonthReachesIntoTheSameMonthLateInAMonth)
{
    // Monday 31 March: 10 March, still in this month, is already "Last Month".
    expectCoarse(QDate(2025, 3, 31), {
        { QDate(2025, 3, 30), "Yesterday", -1 }, { QDate(2025, 3, 29), "Last Week", -10 },
        { QDate(2025, 3, 11), "Three Weeks Ago", -30 }, { QDate(2025, 3, 10), "Last Month", -40 },
        { QDate(2025, 2, 1), "Last Month", -40 }, { QDate(2025, 1, 31), "Older", -50 },
    });
}

TEST(QTxDatesTest, CoarseDateAcrossTheTurnOfTheYear)
{
    // Thursday 2 January 2025: its ISO week began on Monday 30 December 2024.
    expectCoarse(QDate(2025, 1, 2), {
        { QDate(2025, 1, 1), "Yesterday", -1 }, { QDate(2024, 12, 31), "Tuesday", -2 },
        { QDate(2024, 12, 30), "Monday", -3 }, { QDate(2024, 12, 29), "Last Week", -10 },
        { QDate(2024, 12, 1), "Last Month", -40 }, { QDate(2024, 11, 30), "Older", -50 },
        // 52 weeks back: same week number (1), an earlier week-year.
        { QDate(2024, 1, 4), "Older", -50 }, { QDate(2024, 1, 3), "Ancient", -100 },
        { QDate(2024, 1, 1), "Ancient", -100 },
    });
}

TEST(QTxDatesTest, FriendlyDateLabels)
{
    const QDate wednesday(2025, 3, 12);
    const struct { QDate today, date; const char* label; } cases[] = {
        { wednesday, QDate(2025, 3, 12), "Today" }, { wednesday, QDate(2025, 3, 11), "Yesterday" },
        { wednesday, QDate(2025, 3, 10), "Monday" },
        { wednesday, QDate(2025, 3, 13), "Thursday" }, // future, same week
        { wednesday, QDate(2025, 3, 16), "Sunday" }, { wednesday, QDate(2025, 3, 9), "Mar 9" },
        { wednesday, QDate(2025, 3, 17), "Mar 17" },  // future, next week
        { wednesday, QDate(2025, 1, 1), "Jan 1" }, { wednesday, QDate(2024, 12, 25), "Dec 2024" },
        { wednesday, QDate(2024, 3, 13), "Mar 2024" }, // same week number, earlier year
        { QDate(2025, 1, 1), QDate(2024, 12, 31), "Yesterday" }, { QDate(2025, 1, 2), QDate(2024, 12, 30), "Dec 2024" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.date.toString(Qt::ISODate).toStdString());
        EXPECT_EQ(QTx::friendlyDate(c.date, c.today), QString::fromLatin1(c.label));
    }
}

TEST(QTxDatesTest, ShortDateTime)
{
    EXPECT_EQ(QTx::shortDateTime(QDateTime(QDate(2025, 3, 5), QTime(14, 7))), "05/03/2025 14:07");
    EXPECT_EQ(QTx::shortDateTime(QDateTime(QDate(987, 12, 31), QTime(0, 0, 59))), "31/12/987 00:00");
    EXPECT_EQ(QTx::shortDateTime(QDateTime(QDate(), QTime(1, 2))), "(not available)");
}

TEST(QTxDatesTest, SleepAdvancesTicks)
{
    const quint32 before = QTx::ticks();
    QTx::sleep(30);
    const quint32 elapsed = QTx::ticks() - before;
    EXPECT_GE(elapsed, 29u);
    EXPECT_LT(elapsed, 5000u);
}

} // namespace
