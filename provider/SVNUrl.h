#pragma once

#include <QString>
#include <QStringList>

/**
 * Repository URLs as the provider builds them from names. The client decodes
 * percent escapes in every URL it is given, so a name goes into a URL
 * percent-encoded ("100%" as "100%25", "new%41" as "new%2541", a blank as
 * "%20"); letters, digits, "-._~", the sub-delimiters "!$&'()*+,;=", ":" and
 * "@" stay as they are.
 */
namespace SVNUrl {

/** One name as a URL path segment. */
QString encode(const QString& name);

/** A URL path segment decoded back into the name (percent escapes to bytes, then UTF-8). */
QString decode(const QString& segment);

/**
 * `base`, "/", and `parts` each encoded and joined with "/". No separator is
 * added or removed at the join: a base ending in "/" gives "//", and no
 * parts give `base` + "/".
 */
QString join(const QString& base, const QStringList& parts);

/**
 * Whether two URLs name the same place: scheme and host compared without
 * regard to case, escapes decoded, runs of "/" and a trailing "/" ignored.
 */
bool same(const QString& first, const QString& second);

/**
 * Whether `url` is `base` or lies below it (compared as same() compares);
 * `parts` then gets the names of the path below it, decoded ({} for `base`
 * itself), and is left alone otherwise.
 */
bool below(const QString& url, const QString& base, QStringList& parts);

} // namespace SVNUrl
