#include "QTxSearch.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

namespace {

// "position match", the match reading "-" when search leaves it untouched.
QString find(const QString& pattern, bool regularExpression, const QString& text, int start,
             bool forward, bool wholeWord = false)
{
    QRegExp expression = QTx::constructSearchRegularExpression(pattern, regularExpression, true);
    QString found = "-";
    const int at = QTx::search(expression, text, start, forward, wholeWord, found);
    return QString::number(at) + QLatin1Char(' ') + found;
}

TEST(QTxSearchTest, LiteralStringEscapesEachSpecialCharacter)
{
    EXPECT_EQ(QTx::literalRegularExpressionString(QString()), QString());

    const QString all = QStringLiteral(R"(\{}[]():?^$.+*,|)");
    const QString escaped = QTx::literalRegularExpressionString(all);
    EXPECT_EQ(escaped, QStringLiteral(R"(\\\{\}\[\]\(\)\:\?\^\$\.\+\*\,\|)"));
    EXPECT_TRUE(QRegExp(escaped).exactMatch(all));
    EXPECT_EQ(QTx::literalRegularExpressionString("a-b/c"), "a-b/c");
}

TEST(QTxSearchTest, LiteralAgainstRegularExpressionAndMinimalMatching)
{
    EXPECT_EQ(find("a.b", false, "axb a.b", 0, true), "4 a.b");
    EXPECT_EQ(find("a.b", false, "axb", 0, true), "-1 -");
    EXPECT_EQ(find("a.b", true, "axb", 0, true), "0 axb");
    EXPECT_EQ(find("a.*b", true, "aXbYb", 0, true), "0 aXb");
}

TEST(QTxSearchTest, CaseSensitivityFromTheArgumentOrTheOptions)
{
    QString match;
    QRegExp insensitive = QTx::constructSearchRegularExpression("abc", false, false);
    EXPECT_EQ(QTx::search(insensitive, "xABC", 0, true, false, match), 1);
    EXPECT_EQ(match, "ABC");
    EXPECT_EQ(find("abc", false, "xABC", 0, true), "-1 -");

    FindOptions options{};
    options.regularExpression = 1;
    options.caseSensitive = 1;
    QRegExp sensitive = QTx::constructSearchRegularExpression("a.c", options);
    EXPECT_EQ(QTx::search(sensitive, "ABC abc", 0, options, match), 4);
    options.caseSensitive = 0;
    QRegExp folded = QTx::constructSearchRegularExpression("a.c", options);
    EXPECT_EQ(QTx::search(folded, "ABC abc", 0, options, match), 0);
}

TEST(QTxSearchTest, WholeWord)
{
    // Above code 255, and the Latin-1 letter, count as non-word characters.
    const std::pair<const char16_t*, int> cases[] = {
        { u"concat, cat!", 8 }, { u"cat_1", -1 }, { u"cat1 xcat", -1 }, { u"cat", 0 },
        { u"_cat cat", 5 },     { u"cat\u4E00", 0 }, { u"\u00E9cat", 1 },
    };
    for (const auto& [text, expected] : cases)
        EXPECT_TRUE(find("cat", false, QString::fromUtf16(text), 0, true, true)
                        .startsWith(QString::number(expected) + QLatin1Char(' ')))
            << QString::fromUtf16(text).toStdString();
    EXPECT_EQ(find("cat", false, "concat", 0, true), "3 cat");
}

TEST(QTxSearchTest, EmptyMatchesAreSkipped)
{
    QString match;
    QRegExp greedy = QTx::constructSearchRegularExpression("x*", true, true);
    greedy.setMinimal(false);
    EXPECT_EQ(QTx::search(greedy, "abxxc", 0, true, false, match), 2);
    EXPECT_EQ(match, "xx");
    // Minimal x* only ever matches the empty string.
    EXPECT_EQ(find("x*", true, "abxxc", 0, true), "-1 -");
    EXPECT_EQ(find("x*", true, "abxxc", 4, false), "-1 -");
}

TEST(QTxSearchTest, BackwardSearch)
{
    const QString text = "ab ab abc";
    const std::pair<int, const char*> cases[] = { { 8, "6 ab" }, { 5, "3 ab" }, { 0, "0 ab" }, { -1, "-1 -" } };
    for (const auto& [start, expected] : cases)
        EXPECT_EQ(find("ab", false, text, start, false), QLatin1String(expected)) << start;
    EXPECT_EQ(find("ab", false, text, -1, true), "-1 -");

    QString match;
    FindOptions options{};
    options.backwards = 1;
    options.wholeWord = 1;
    QRegExp expression = QTx::constructSearchRegularExpression("ab", options);
    EXPECT_EQ(QTx::search(expression, text, int(text.size()) - 1, options, match), 3);
    options.backwards = 0;
    EXPECT_EQ(QTx::search(expression, text, 4, options, match), -1);
}

TEST(QTxSearchTest, ExpandSearchResults)
{
    QString match;
    QRegExp pair = QTx::constructSearchRegularExpression("(a)(b)", true, true);
    ASSERT_EQ(QTx::search(pair, "xab", 0, true, false, match), 1);

    const std::pair<const char*, const char*> cases[] = {
        { R"(\2\1-\0)", "ba-ab" }, { R"(\10)", "a0" }, { R"(\3\9<)", "<" },
        { R"(\\1)", R"(\a)" },    { "plain", "plain" }, { R"(\x\)", R"(\x\)" },
    };
    for (const auto& [given, expected] : cases) {
        QString replacement = QString::fromLatin1(given);
        QTx::expandSearchResults(pair, replacement);
        EXPECT_EQ(replacement, QString::fromLatin1(expected)) << given;
    }

    // A later digit sees what an earlier one inserted.
    QRegExp literal = QTx::constructSearchRegularExpression(QStringLiteral(R"(\1)"), false, true);
    ASSERT_EQ(QTx::search(literal, QStringLiteral(R"(x\1y)"), 0, true, false, match), 1);
    QString replacement = QStringLiteral(R"([\0])");
    QTx::expandSearchResults(literal, replacement);
    EXPECT_EQ(replacement, "[]");
}

} // namespace
