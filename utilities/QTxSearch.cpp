#include "QTxSearch.h"

namespace {

bool isWordCharacter(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || u == '_';
}

} // namespace

namespace QTx {

QString literalRegularExpressionString(const QString& text)
{
    static const QString specials = QStringLiteral(R"([\\\{\}\[\]\(\)\:\?\^\$\.\+\*\,\|])");
    QRegExp escape(specials, Qt::CaseSensitive, QRegExp::RegExp);
    QString result = text;
    int at = escape.indexIn(result, 0);
    while (at != -1) {
        result.insert(at, QLatin1Char('\\'));
        at = escape.indexIn(result, at + 2);
    }
    return result;
}

QRegExp constructSearchRegularExpression(const QString& text, bool regularExpression,
                                         bool caseSensitive)
{
    const QString pattern = regularExpression ? text : literalRegularExpressionString(text);
    QRegExp expression(pattern, Qt::CaseSensitive, QRegExp::RegExp);
    expression.setCaseSensitivity(caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive);
    expression.setMinimal(true);
    return expression;
}

QRegExp constructSearchRegularExpression(const QString& text, const FindOptions& options)
{
    return constructSearchRegularExpression(text, options.regularExpression,
                                            options.caseSensitive);
}

int search(QRegExp& expression, const QString& text, int start, bool forward, bool wholeWord,
           QString& match)
{
    while (start != -1) {
        const int at = forward ? expression.indexIn(text, start)
                               : expression.lastIndexIn(text, start);
        if (at == -1)
            return -1;
        const QString found = expression.cap(0);
        bool counts = !found.isEmpty();
        if (counts && wholeWord) {
            const int end = at + int(found.size());
            if (at > 0 && isWordCharacter(text.at(at - 1)))
                counts = false;
            if (end < text.size() && isWordCharacter(text.at(end)))
                counts = false;
        }
        if (counts) {
            match = found;
            return at;
        }
        start = forward ? at + 1 : at - 1;
    }
    return -1;
}

int search(QRegExp& expression, const QString& text, int start, const FindOptions& options,
           QString& match)
{
    return search(expression, text, start, !options.backwards, options.wholeWord, match);
}

void expandSearchResults(QRegExp& expression, QString& replacement)
{
    for (int n = 0; n <= 9; ++n) {
        const QRegExp reference(QStringLiteral("\\\\") + QString::number(n), Qt::CaseSensitive,
                                QRegExp::RegExp);
        const QString captured = expression.cap(n);
        // Inserted text is not searched again for the same digit.
        int at = reference.indexIn(replacement, 0);
        while (at != -1) {
            replacement.replace(at, 2, captured);
            at = reference.indexIn(replacement, at + int(captured.size()));
        }
    }
}

} // namespace QTx
