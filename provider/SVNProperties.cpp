// Properties, ignores and changelists: what the working copy stores on its
// items, read and written through the client.

#include "SVNInterface.h"

#include "EightBit.h"
#include "SVNPrivateFile.h"

#include <QFileInfo>
#include <QXmlStreamReader>

#include <algorithm>
#include <map>

using namespace SourceCodeControl;

namespace {

const QLatin1Char Slash('/');
const char s_ignoreProperty[] = "svn:ignore";

// An output that keeps every line's bytes, a line feed after each.
SVNOutput intoBytes(QByteArray& bytes)
{
    SVNOutput output;
    output.observer = [&bytes](QByteArrayView line) { bytes.append(line.data(), line.size()).append('\n'); };
    output.restart = [&bytes] { bytes.clear(); };
    return output;
}

// The properties of the one target of "proplist --verbose --xml", sorted by
// name. Values the client could not write as XML text come in base64; a CR
// comes as "&#13;", which the reader keeps. False when the XML is not well formed.
bool parseProperties(const QByteArray& xml, QList<Property>& properties)
{
    QList<Property> read;
    QXmlStreamReader reader(xml);
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement || reader.name() != QLatin1String("property"))
            continue;
        const QXmlStreamAttributes attributes = reader.attributes();
        Property property;
        property.name = attributes.value(QLatin1String("name")).toString();
        const bool base64 = attributes.value(QLatin1String("encoding")) == QLatin1String("base64");
        const QString text = reader.readElementText();
        property.value = base64 ? QByteArray::fromBase64(text.toLatin1()) : text.toUtf8();
        read.append(property);
    }
    if (reader.hasError())
        return false;
    std::sort(read.begin(), read.end(), [](const Property& a, const Property& b) { return a.name < b.name; });
    properties = read;
    return true;
}

// A name as an svn:ignore line that matches that name alone: the glob's
// special characters escaped with a backslash.
QString ignorePattern(const QString& name)
{
    QString pattern;
    for (const QChar c : name) {
        if (c == QLatin1Char('[') || c == QLatin1Char(']') || c == QLatin1Char('*') || c == QLatin1Char('?')
            || c == QLatin1Char('\\'))
            pattern += QLatin1Char('\\');
        pattern += c;
    }
    return pattern;
}

} // namespace

bool SVNInterface::readProperties(const QString& item, QList<Property>& properties)
{
    QByteArray xml;
    if (!run(SVNCommands::propertyList(localRootPath, item), intoBytes(xml)).succeeded())
        return false;
    if (!parseProperties(xml, properties)) {
        setLastError(QLatin1String(SVNSubcommand::Proplist), QStringLiteral("the client's XML could not be read"));
        return false;
    }
    return true;
}

bool SVNInterface::writeProperty(const QStringList& items, const QString& name, const QByteArray& value)
{
    SVNPrivateFile file(QStringLiteral("value"));
    const QString problem = file.write(value, QStringLiteral("property value"));
    if (!problem.isNull()) {
        setLastError(QLatin1String(SVNSubcommand::Propset), problem);
        return false;
    }
    return run(SVNCommands::propertySet(localRootPath, items, name, file.path()));
}

bool SVNInterface::properties(const QString& path, QList<Property>& properties)
{
    return guarded([&] {
        QStringList items;
        if (!checkPaths(SVNSubcommand::Proplist, {path}, items))
            return false;
        return readProperties(items.first(), properties);
    });
}

bool SVNInterface::setProperty(const QStringList& paths, const QString& name, const QByteArray& value)
{
    return guarded([&] {
        QStringList items;
        if (!checkPaths(SVNSubcommand::Propset, paths, items))
            return false;
        // The client may set it on some targets and fail on others: every one is read again.
        const bool set = writeProperty(items, name, value);
        statusPass.rereadItems(items, SVNStatusPass::Edited);
        return set;
    });
}

bool SVNInterface::deleteProperty(const QStringList& paths, const QString& name)
{
    return guarded([&] {
        QStringList items;
        if (!checkPaths(SVNSubcommand::Propdel, paths, items))
            return false;
        const bool deleted = run(SVNCommands::propertyDelete(localRootPath, items, name));
        statusPass.rereadItems(items, SVNStatusPass::Edited);
        return deleted;
    });
}

bool SVNInterface::ignore(const QStringList& paths)
{
    return guarded([&] {
        QStringList items;
        if (!checkPaths(SVNSubcommand::Propset, paths, items))
            return false;
        QStringList versioned;
        std::map<QString, QStringList> byFolder;
        for (const QString& item : std::as_const(items)) {
            if (item.isEmpty() || workingCopyLayout.inspectNode(localPath(item)).known)
                versioned << (item.isEmpty() ? QStringLiteral(".") : item);
            const qsizetype slash = item.lastIndexOf(Slash);
            byFolder[slash < 0 ? QString(QLatin1String("")) : item.left(slash)] << item.mid(slash + 1);
        }
        if (!versioned.isEmpty()) {
            setLastError(QLatin1String(SVNSubcommand::Propset),
                         QStringLiteral("%1: under version control, so not ignored; nothing was changed")
                             .arg(versioned.join(QStringLiteral(", "))));
            return false;
        }
        bool ignored = true;
        QStringList written;
        for (const auto& [folder, names] : byFolder) {
            QList<Property> stored;
            if (!readProperties(folder, stored)) {
                ignored = false;
                break;
            }
            QStringList lines;
            for (const Property& property : std::as_const(stored)) {
                if (property.name != QLatin1String(s_ignoreProperty))
                    continue;
                for (QString line : QString::fromUtf8(property.value).split(QLatin1Char('\n'))) {
                    if (line.endsWith(QLatin1Char('\r')))
                        line.chop(1);
                    lines << line;
                }
            }
            while (!lines.isEmpty() && lines.last().isEmpty())
                lines.removeLast();
            const qsizetype before = lines.size();
            for (const QString& name : names) {
                const QString pattern = ignorePattern(name);
                if (!lines.contains(pattern))
                    lines << pattern;
            }
            if (lines.size() == before)
                continue; // ignored already
            written << folder;
            if (!writeProperty({folder}, QLatin1String(s_ignoreProperty),
                               (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8())) {
                ignored = false;
                break;
            }
        }
        // An ignored name is one the working copy does not list: the cache
        // then answers it as not versioned, with no run. The folders whose
        // svn:ignore was written (or may have been, when the run failed)
        // now show a property change: read in the same run.
        statusPass.rereadItems(items + written, SVNStatusPass::Edited);
        return ignored;
    });
}

bool SVNInterface::setChangelist(const QStringList& paths, const QString& name)
{
    return guarded([&] {
        QStringList items;
        if (!checkPaths(SVNSubcommand::Changelist, paths, items))
            return false;
        // The client skips a folder and exits 0: refused here instead.
        QStringList folders;
        for (const QString& item : std::as_const(items))
            if (QFileInfo(localPath(item)).isDir())
                folders << (item.isEmpty() ? QStringLiteral(".") : item);
        if (!folders.isEmpty()) {
            setLastError(QLatin1String(SVNSubcommand::Changelist),
                         QStringLiteral("%1: a folder, and only files go into a changelist; nothing was changed")
                             .arg(folders.join(QStringLiteral(", "))));
            return false;
        }
        return run(SVNCommands::changelist(localRootPath, items, name));
    });
}
