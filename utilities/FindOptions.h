#pragma once

#include <QtGlobal>

/**
 * The host's search-options record, as far as the search functions read it:
 * its first 32-bit word of flags, bit 0 the least significant. The host's
 * record continues after this word; nothing here reads beyond it.
 */
struct FindOptions
{
    quint32 regularExpression : 1; ///< bit 0: the text is a regular expression, else literal
    quint32 wholeWord : 1;         ///< bit 1: a match must stand alone as a word
    quint32 caseSensitive : 1;     ///< bit 2: letters must match in case
    quint32 backwards : 1;         ///< bit 3: search towards the start of the text
    quint32 : 28;                  ///< bits 4 to 31: the host's other flags, not read here
};
static_assert(sizeof(FindOptions) == 4, "FindOptions is one 32-bit word");
