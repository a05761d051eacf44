#pragma once

#include <svnscc/svnscc_utilities_export.h>

#include <QDate>
#include <QDateTime>
#include <QString>

/**
 * Short English labels for dates in lists, a compact date-and-time text, a
 * millisecond clock and a sleep. Weeks are ISO weeks (Monday first); weekday
 * and month names come from QDate::toString and so are English.
 *
 * Each labelling function has a form that takes "today" explicitly; the form
 * without it uses QDate::currentDate().
 */
namespace QTx {

/**
 * A label for @p date relative to @p today, first match wins:
 * "Today"; "Yesterday" (one day before today); the weekday name ("dddd")
 * when the date has today's week number and today's calendar year; "MMM d"
 * (e.g. "Mar 5") when it has today's year; otherwise "MMM yyyy".
 * Future dates have no label of their own.
 */
SVNSCC_UTILITIES_EXPORT QString friendlyDate(const QDate& date, const QDate& today);
/** friendlyDate(date, QDate::currentDate()). */
SVNSCC_UTILITIES_EXPORT QString friendlyDate(const QDate& date);

/**
 * The coarse bucket that @p date falls into relative to @p today, for
 * grouping a list by age. First match wins; let monday be the Monday of
 * today's week and w the days from monday to the date (negative before it):
 *
 *   label              sort value   condition
 *   "Future"            1           after today
 *   "Today"             0
 *   "Yesterday"        -1           one day before today
 *   weekday name       -2 .. -6     in today's week (same ISO week number and
 *                                   the same ISO week-year: a date of an
 *                                   earlier year that shares only the week
 *                                   number falls through to the buckets below)
 *   "Last Week"        -10          w from -6 to -1
 *   "Two Weeks Ago"    -20          w from -13 to -7
 *   "Three Weeks Ago"  -30          w from -20 to -14
 *   "Last Month"       -40          on or after the first day of the previous
 *                                   calendar month
 *   "Older"            -50          fewer than 365 days back
 *   "Ancient"          -100         otherwise
 *
 * The weekday's sort value is the number of days from today to the date.
 * @param date  the date to place
 * @param order receives the sort value (newest 1 to oldest -100) when not null
 * @param today the day the buckets are counted from
 */
SVNSCC_UTILITIES_EXPORT QString coarseDate(const QDate& date, int* order, const QDate& today);
/** coarseDate(date, order, QDate::currentDate()). */
SVNSCC_UTILITIES_EXPORT QString coarseDate(const QDate& date, int* order);

/**
 * "dd/MM/yyyy hh:mm" with the year in full, e.g. "05/03/2025 14:07";
 * "(not available)" when the date or the time part is invalid.
 */
SVNSCC_UTILITIES_EXPORT QString shortDateTime(const QDateTime& dateTime);

/**
 * Milliseconds of the wall clock (gettimeofday) since the epoch, truncated to
 * the low 32 bits: wraps about every 49.7 days, so measure intervals by
 * unsigned subtraction.
 */
SVNSCC_UTILITIES_EXPORT quint32 ticks();

/** Suspends the calling thread for @p milliseconds (usleep; milliseconds *
 *  1000 computed in 32-bit unsigned arithmetic). */
SVNSCC_UTILITIES_EXPORT void sleep(unsigned int milliseconds);

} // namespace QTx
