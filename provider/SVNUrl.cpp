#include "SVNUrl.h"

#include "EightBit.h"

namespace {

// What stays unescaped besides letters, digits and "-._~".
const QByteArray s_kept("!$&'()*+,;=:@");

// The URL in one comparable form.
QString canonical(const QString& url)
{
    const qsizetype schemeEnd = url.indexOf(QLatin1String("://"));
    const qsizetype pathStart = schemeEnd < 0 ? 0 : url.indexOf(QLatin1Char('/'), schemeEnd + 3);
    const QString head = pathStart < 0 ? url : url.left(pathStart);
    QStringList segments;
    const QStringList pieces = (pathStart < 0 ? QString() : url.mid(pathStart)).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString& piece : pieces)
        segments << SVNUrl::decode(piece);
    return head.toLower() + QLatin1Char('/') + segments.join(QLatin1Char('/'));
}

} // namespace

namespace SVNUrl {

QString encode(const QString& name)
{
    return QString::fromLatin1(toEightBit(name).toPercentEncoding(s_kept));
}

QString decode(const QString& segment)
{
    return fromEightBit(QByteArray::fromPercentEncoding(toEightBit(segment)));
}

QString join(const QString& base, const QStringList& parts)
{
    QStringList encoded;
    encoded.reserve(parts.size());
    for (const QString& part : parts)
        encoded << encode(part);
    return base + QLatin1Char('/') + encoded.join(QLatin1Char('/'));
}

bool same(const QString& first, const QString& second)
{
    return canonical(first) == canonical(second);
}

bool below(const QString& url, const QString& base, QStringList& parts)
{
    const QString path = canonical(url);
    QString folder = canonical(base);
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    if (path + QLatin1Char('/') != folder && !path.startsWith(folder))
        return false;
    parts = path.mid(folder.size()).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    return true;
}

} // namespace SVNUrl
