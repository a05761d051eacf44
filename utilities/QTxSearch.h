#pragma once

#include <svnscc/svnscc_utilities_export.h>

#include "FindOptions.h"

#include <QRegExp>
#include <QString>

/**
 * The search behind find and replace: the user's text and options become a
 * QRegExp (QRegExp::RegExp syntax, minimal matching), a search finds the next
 * or previous non-empty match with an optional whole-word rule, and
 * backslash-digit references in a replacement are expanded.
 *
 * A word character is an ASCII letter, an ASCII digit or "_"; every other
 * character, including all above code 127, is a non-word character.
 */
namespace QTx {

/**
 * @return @p text with a backslash before each of the characters
 *         \ { } [ ] ( ) : ? ^ $ . + * , | so that, as a QRegExp pattern, it
 *         matches @p text literally. Text without them comes back unchanged.
 */
SVNSCC_UTILITIES_EXPORT QString literalRegularExpressionString(const QString& text);

/**
 * @param text              the search text
 * @param regularExpression true: @p text is a pattern; false: it is matched
 *                          literally
 * @param caseSensitive     whether letters must match in case
 * @return the expression, with minimal (non-greedy) matching in both cases.
 */
SVNSCC_UTILITIES_EXPORT QRegExp constructSearchRegularExpression(const QString& text,
                                                                 bool regularExpression,
                                                                 bool caseSensitive);
/** As above with regularExpression and caseSensitive taken from @p options. */
SVNSCC_UTILITIES_EXPORT QRegExp constructSearchRegularExpression(const QString& text,
                                                                 const FindOptions& options);

/**
 * Finds the first non-empty match of @p expression in @p text from @p start:
 * at or after it when @p forward, at or before it otherwise. Empty matches,
 * and with @p wholeWord matches next to a word character, are skipped and the
 * search goes on one character further in the search direction.
 * @param expression the expression to match (constructSearchRegularExpression())
 * @param text       the text to search
 * @param start      the index the search starts at
 * @param forward    true: towards the end of the text; false: towards its start
 * @param wholeWord  true: only matches with no word character on either side
 * @param match      receives the matched text; untouched when -1 is returned.
 * @return the index of the match; -1 when there is none or @p start is -1.
 *         The expression keeps the captures of its last attempt, for
 *         expandSearchResults.
 */
SVNSCC_UTILITIES_EXPORT int search(QRegExp& expression, const QString& text, int start,
                                   bool forward, bool wholeWord, QString& match);
/** As above, forward unless options.backwards, whole word from options.wholeWord. */
SVNSCC_UTILITIES_EXPORT int search(QRegExp& expression, const QString& text, int start,
                                   const FindOptions& options, QString& match);

/**
 * Replaces, in place, each backslash followed by a digit n in @p replacement
 * with the capture n of @p expression (empty for a group that took no part).
 * Digits are expanded in the order 0 to 9, and each later digit also sees the
 * text inserted for earlier ones; "\10" is capture 1 followed by "0".
 */
SVNSCC_UTILITIES_EXPORT void expandSearchResults(QRegExp& expression, QString& replacement);

} // namespace QTx
