// The working copy's shape and format: how much of a folder it holds, and
// bringing a working copy of an older format to the client's.

#include "SVNInterface.h"

#include "EightBit.h"
#include "SVNItemLine.h"

using namespace SourceCodeControl;

namespace {

const QLatin1Char Slash('/');

QString depthName(Depth depth)
{
    switch (depth) {
    case Depth::Empty:
        return QStringLiteral("empty");
    case Depth::Files:
        return QStringLiteral("files");
    case Depth::Immediates:
        return QStringLiteral("immediates");
    case Depth::Infinity:
        return QStringLiteral("infinity");
    case Depth::Exclude:
        return QStringLiteral("exclude");
    }
    return QString();
}

} // namespace

bool SVNInterface::setDepth(const QString& path, Depth depth)
{
    return guarded([&] {
        QStringList items;
        if (!checkPaths(SVNSubcommand::Update, {path}, items))
            return false;
        const QString name = depthName(depth);
        if (name.isEmpty()) {
            setLastError(QLatin1String(SVNSubcommand::Update), QStringLiteral("no such depth"));
            return false;
        }
        const QString& item = items.first();
        if (depth != Depth::Infinity) {
            // The client drops modified and unversioned items without a word,
            // or leaves the working copy locked: a folder holding any is
            // refused, as a fresh local read finds it.
            QStringList held;
            SVNOutput output;
            output.observer = [&](QByteArrayView line) {
                const SVNItemLine::StatusLine read = SVNItemLine::readStatus(line, SVNItemLine::StatusForm::Plain);
                if (read.kind == SVNItemLine::StatusKind::Entry && !read.columns.startsWith("X"))
                    held << fromEightBit(read.name.data(), read.name.size());
            };
            output.restart = [&] { held.clear(); };
            if (!run(SVNCommands::changes(localRootPath, item), output).succeeded())
                return false;
            if (!held.isEmpty()) {
                setLastError(QLatin1String(SVNSubcommand::Update),
                             QStringLiteral("%1 holds local changes or unversioned items (%2), which depth %3 would "
                                            "drop; nothing was changed")
                                 .arg(item.isEmpty() ? QStringLiteral(".") : item, held.join(QStringLiteral(", ")),
                                      name));
                return false;
            }
        }
        const bool set = run(SVNCommands::setDepth(localRootPath, item, name));
        // An excluded folder leaves the disk: its parent is read again.
        const qsizetype slash = item.lastIndexOf(Slash);
        const QString reread = depth == Depth::Exclude ? (slash < 0 ? QString(QLatin1String("")) : item.left(slash))
                                                       : item;
        statusPass.rereadItems({reread}, SVNStatusPass::Edited);
        return set;
    });
}

bool SVNInterface::upgrade()
{
    return guarded([&] {
        if (localRootPath.isEmpty() || !isWorkingCopy(localRootPath)) {
            setLastError(QLatin1String(SVNSubcommand::Upgrade),
                         QStringLiteral("no working copy is bound (setRoots()), so there is nothing to upgrade"));
            return false;
        }
        if (!run(SVNCommands::upgrade(localRootPath)))
            return false;
        // Everything read of it before answered with the client's refusal.
        statusPass.clear();
        // A working copy bound while too old has its URL read only now.
        if (rootURL.isEmpty())
            adoptRootURL(workingCopyLayout.recordedURL(localRootPath), workingCopyLayout.repositoryRoot(localRootPath));
        return true;
    });
}
