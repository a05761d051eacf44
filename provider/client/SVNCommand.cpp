#include "SVNCommand.h"

namespace {

// A path or URL with an empty peg revision appended when it holds "@".
QString pegged(const QString& path)
{
    return path.contains(QLatin1Char('@')) ? path + QLatin1Char('@') : path;
}

// A folder name as a plain argument: one starting with "-" would be read as options.
QString localOperand(const QString& name)
{
    return name.startsWith(QLatin1Char('-')) ? QStringLiteral("./") + name : name;
}

// `name` inside `directory`.
QString inside(const QString& directory, const QString& name)
{
    return directory.endsWith(QLatin1Char('/')) ? directory + name : directory + QLatin1Char('/') + name;
}

// One run: the folder it changes, where a clean-up goes after a stop, is
// where it runs, unless the subcommand only reads.
SVNCommand custom(const QString& subcommand, const QStringList& arguments, const QString& workingDirectory,
                  const QString& target)
{
    return SVNCommand(subcommand, arguments, workingDirectory, target);
}

// Paths relative to the local root as targets: "" is the local root itself.
QStringList targetsOf(const QStringList& paths)
{
    QStringList targets;
    targets.reserve(paths.size());
    for (const QString& path : paths)
        targets << (path.isEmpty() ? QStringLiteral(".") : path);
    return targets;
}

// `command` with `targets` as its targets.
SVNCommand withTargets(SVNCommand command, const QStringList& paths)
{
    command.targets = targetsOf(paths);
    return command;
}

// `command` with `message` as its log message or lock comment.
SVNCommand withMessage(SVNCommand command, const QString& message)
{
    command.hasMessage = true;
    command.message = message;
    return command;
}

} // namespace

bool SVNSubcommand::onlyReads(const QString& subcommand)
{
    for (const char* reader : {Blame, Cat, Diff, Info, List, Log, Mergeinfo, Mkdir, Proplist, Status})
        if (subcommand == QLatin1String(reader))
            return true;
    return false;
}

SVNCommand::SVNCommand(const QString& name, const QStringList& options, const QString& folder, const QString& path)
    : subcommand(name), arguments(options), workingDirectory(folder), target(path),
      workingCopy(SVNSubcommand::onlyReads(name) ? QString() : folder)
{
}

bool SVNCommand::carriesCredentials() const
{
    return subcommand != QLatin1String(SVNSubcommand::Add);
}

QStringList SVNCommand::operands() const
{
    const QStringList all = target.isEmpty() ? targets : QStringList{target};
    QStringList operands;
    for (const QString& one : all) {
        if (one.startsWith(QLatin1Char('-'))) {
            operands << QStringLiteral("--");
            break;
        }
    }
    const bool peg = pegTargets && subcommand != QLatin1String(SVNSubcommand::Checkout);
    for (qsizetype i = 0; i < all.size(); ++i)
        operands << (peg && !(literalLastTarget && i + 1 == all.size()) ? pegged(all[i]) : all[i]);
    return operands;
}

namespace SVNCommands {

SVNCommand info(const QString& pathOrURL)
{
    return custom(QLatin1String(SVNSubcommand::Info), {}, QString(), pathOrURL);
}

SVNCommand checkOutRoot(const QString& url, const QString& parentDirectory, const QString& folderName)
{
    SVNCommand command = custom(QLatin1String(SVNSubcommand::Checkout),
                                {QStringLiteral("-N"), pegged(url), localOperand(folderName)}, parentDirectory,
                                QString());
    command.workingCopy = inside(parentDirectory, folderName);
    return command;
}

SVNCommand checkOutFolder(const QString& url, const QString& directory, const QString& name)
{
    SVNCommand command = custom(QLatin1String(SVNSubcommand::Checkout),
                                {QStringLiteral("--non-recursive"), pegged(url)}, directory, name);
    command.workingCopy = inside(directory, name);
    return command;
}

SVNCommand fetchFolder(const QString& directory, const QString& name, const QString& depth)
{
    return custom(QLatin1String(SVNSubcommand::Update),
                  {QStringLiteral("--force"), QStringLiteral("--set-depth"), depth}, directory, name);
}

SVNCommand updateFolder(const QString& directory, const QString& name)
{
    return custom(QLatin1String(SVNSubcommand::Update), {QStringLiteral("--non-recursive")}, directory, name);
}

SVNCommand add(const QString& directory, const QString& name)
{
    return custom(QLatin1String(SVNSubcommand::Add),
                  {QStringLiteral("--non-recursive"), QStringLiteral("--quiet")}, directory, name);
}

SVNCommand commitFolder(const QString& directory, const QString& name, const QString& message)
{
    return withMessage(custom(QLatin1String(SVNSubcommand::Commit), {QStringLiteral("--non-recursive")}, directory, name),
                       message);
}

SVNCommand commitAdded(const QString& directory, const QString& name, const QString& message)
{
    return withMessage(custom(QLatin1String(SVNSubcommand::Commit), {}, directory, name), message);
}

SVNCommand update(const QString& localRoot, const QString& path)
{
    return custom(QLatin1String(SVNSubcommand::Update), {}, localRoot, path);
}

SVNCommand cat(const QString& localRoot, const QString& path, const QString& revision)
{
    return custom(QLatin1String(SVNSubcommand::Cat), {QStringLiteral("--revision"), revision}, localRoot, path);
}

SVNCommand lock(const QString& localRoot, const QString& path, const QString& comment)
{
    return withMessage(custom(QLatin1String(SVNSubcommand::Lock), {}, localRoot, path), comment);
}

SVNCommand unlock(const QString& localRoot, const QString& path)
{
    return custom(QLatin1String(SVNSubcommand::Unlock), {}, localRoot, path);
}

SVNCommand commit(const QString& localRoot, const QString& path, const QString& comment)
{
    return withMessage(custom(QLatin1String(SVNSubcommand::Commit), {}, localRoot, path), comment);
}

SVNCommand newestChange(const QString& url)
{
    return custom(QLatin1String(SVNSubcommand::Log),
                  {QStringLiteral("--xml"), QStringLiteral("--limit"), QStringLiteral("1")}, QString(), url);
}

SVNCommand revert(const QString& localRoot, const QString& path)
{
    return custom(QLatin1String(SVNSubcommand::Revert), {}, localRoot, path);
}

SVNCommand updateTree(const QString& directory)
{
    return custom(QLatin1String(SVNSubcommand::Update), {}, directory, QString());
}

SVNCommand cleanup(const QString& directory)
{
    return custom(QLatin1String(SVNSubcommand::Cleanup), {}, directory, QString());
}

SVNCommand folderStatus(const QString& directory)
{
    return custom(QLatin1String(SVNSubcommand::Status),
                  {QStringLiteral("--non-recursive"), QStringLiteral("--show-updates"), QStringLiteral("--verbose")},
                  directory, QString());
}

SVNCommand localFolderStatus(const QString& directory)
{
    return custom(QLatin1String(SVNSubcommand::Status), {QStringLiteral("--non-recursive"), QStringLiteral("--verbose")},
                  directory, QString());
}

SVNCommand treeStatus(const QString& root)
{
    return custom(QLatin1String(SVNSubcommand::Status),
                  {QStringLiteral("--show-updates"), QStringLiteral("--verbose"), QStringLiteral("--ignore-externals")},
                  root, QString());
}

SVNCommand localTreeStatus(const QString& root)
{
    return custom(QLatin1String(SVNSubcommand::Status), {QStringLiteral("--verbose"), QStringLiteral("--ignore-externals")},
                  root, QString());
}

SVNCommand localFileStatus(const QString& directory, const QString& name)
{
    return custom(QLatin1String(SVNSubcommand::Status), {QStringLiteral("--verbose")}, directory, name);
}

SVNCommand fileStatus(const QString& directory, const QString& name)
{
    return custom(QLatin1String(SVNSubcommand::Status),
                  {QStringLiteral("--show-updates"), QStringLiteral("--verbose")}, directory, name);
}

SVNCommand list(const QString& url)
{
    return custom(QLatin1String(SVNSubcommand::List), {}, QString(), url);
}

SVNCommand mkdir(const QString& url)
{
    return withMessage(custom(QLatin1String(SVNSubcommand::Mkdir), {}, QString(), url),
                       QStringLiteral("Quillhaven Generated"));
}

SVNCommand schedule(const QString& localRoot, const QStringList& paths)
{
    return withTargets(custom(QLatin1String(SVNSubcommand::Add),
                              {QStringLiteral("--parents"), QStringLiteral("--depth"), QStringLiteral("empty")},
                              localRoot, QString()),
                       paths);
}

SVNCommand commitPaths(const QString& localRoot, const QStringList& paths, const QString& message, bool depthEmpty)
{
    QStringList arguments;
    if (depthEmpty)
        arguments << QStringLiteral("--depth") << QStringLiteral("empty");
    return withMessage(withTargets(custom(QLatin1String(SVNSubcommand::Commit), arguments, localRoot, QString()), paths),
                       message);
}

SVNCommand revertPaths(const QString& localRoot, const QStringList& paths, bool recursive)
{
    QStringList arguments;
    if (recursive)
        arguments << QStringLiteral("--depth") << QStringLiteral("infinity");
    return withTargets(custom(QLatin1String(SVNSubcommand::Revert), arguments, localRoot, QString()), paths);
}

SVNCommand deletePaths(const QString& localRoot, const QStringList& paths, bool keepLocal)
{
    QStringList arguments;
    if (keepLocal)
        arguments << QStringLiteral("--keep-local");
    return withTargets(custom(QLatin1String(SVNSubcommand::Delete), arguments, localRoot, QString()), paths);
}

SVNCommand move(const QString& localRoot, const QString& from, const QString& to)
{
    SVNCommand command = withTargets(custom(QLatin1String(SVNSubcommand::Move), {QStringLiteral("--parents")},
                                            localRoot, QString()),
                                     {from, to});
    command.literalLastTarget = true;
    return command;
}

SVNCommand updatePaths(const QString& localRoot, const QStringList& paths, const QString& revision)
{
    QStringList arguments{QStringLiteral("--accept"), QStringLiteral("postpone")};
    if (!revision.isEmpty())
        arguments << QStringLiteral("--revision") << revision;
    return withTargets(custom(QLatin1String(SVNSubcommand::Update), arguments, localRoot, QString()), paths);
}

SVNCommand resolve(const QString& localRoot, const QString& path, const QString& accept)
{
    return withTargets(custom(QLatin1String(SVNSubcommand::Resolve), {QStringLiteral("--accept"), accept}, localRoot,
                              QString()),
                       {path});
}

SVNCommand history(const QString& url, int limit)
{
    QStringList arguments{QStringLiteral("--xml"), QStringLiteral("--verbose")};
    if (limit > 0)
        arguments << QStringLiteral("--limit") << QString::number(limit);
    return custom(QLatin1String(SVNSubcommand::Log), arguments, QString(), url);
}

SVNCommand revisionNumber(const QString& localRoot, const QString& path, const QString& revision)
{
    return withTargets(custom(QLatin1String(SVNSubcommand::Info),
                              {QStringLiteral("--xml"), QStringLiteral("--revision"), revision}, localRoot, QString()),
                       {path});
}

SVNCommand blame(const QString& localRoot, const QString& path, const QString& revision)
{
    QStringList arguments{QStringLiteral("--xml")};
    if (!revision.isNull())
        arguments << QStringLiteral("--revision") << revision;
    return withTargets(custom(QLatin1String(SVNSubcommand::Blame), arguments, localRoot, QString()), {path});
}

SVNCommand diff(const QString& localRoot, const QString& path, const QString& from, const QString& to)
{
    QStringList arguments;
    if (!from.isEmpty())
        arguments << QStringLiteral("--revision") << (to.isEmpty() ? from : from + QLatin1Char(':') + to);
    SVNCommand command = withTargets(custom(QLatin1String(SVNSubcommand::Diff), arguments, localRoot, QString()), {path});
    command.pegTargets = !from.isEmpty();
    return command;
}

SVNCommand changes(const QString& localRoot, const QString& folder)
{
    return custom(QLatin1String(SVNSubcommand::Status), {}, localRoot, folder.isEmpty() ? QString() : folder);
}

SVNCommand subtreesStatus(const QString& localRoot, const QStringList& paths, bool online)
{
    QStringList arguments{QStringLiteral("--verbose"), QStringLiteral("--ignore-externals")};
    if (online)
        arguments.prepend(QStringLiteral("--show-updates"));
    return withTargets(custom(QLatin1String(SVNSubcommand::Status), arguments, localRoot, QString()), paths);
}

SVNCommand cleanupFolder(const QString& localRoot, const QString& folder)
{
    return withTargets(custom(QLatin1String(SVNSubcommand::Cleanup), {}, localRoot, QString()), {folder});
}

SVNCommand itemInfo(const QString& localRoot, const QStringList& paths)
{
    return withTargets(custom(QLatin1String(SVNSubcommand::Info), {QStringLiteral("--xml")}, localRoot, QString()),
                       paths);
}

SVNCommand urlInfo(const QString& localRoot, const QString& url)
{
    return custom(QLatin1String(SVNSubcommand::Info), {QStringLiteral("--depth"), QStringLiteral("empty")}, localRoot,
                  url);
}

SVNCommand copyURL(const QString& localRoot, const QString& from, const QString& revision, const QString& to,
                   const QString& message)
{
    QStringList arguments{QStringLiteral("--parents")};
    if (!revision.isEmpty())
        arguments << QStringLiteral("--revision") << revision;
    SVNCommand command = withMessage(custom(QLatin1String(SVNSubcommand::Copy), arguments, localRoot, QString()),
                                     message);
    command.targets = {from, to};
    command.workingCopy.clear(); // URL to URL: no working copy changes
    return command;
}

SVNCommand switchPath(const QString& localRoot, const QString& path, const QString& url, const QString& revision)
{
    QStringList arguments{QStringLiteral("--accept"), QStringLiteral("postpone")};
    if (!revision.isEmpty())
        arguments << QStringLiteral("--revision") << revision;
    SVNCommand command = withTargets(custom(QLatin1String(SVNSubcommand::Switch), arguments, localRoot, QString()),
                                     {url, path});
    command.literalLastTarget = true;
    return command;
}

SVNCommand merge(const QString& localRoot, const QString& path, const QString& url, const QString& changes,
                 bool dryRun, bool recordOnly)
{
    QStringList arguments{QStringLiteral("--accept"), QStringLiteral("postpone")};
    if (dryRun)
        arguments << QStringLiteral("--dry-run");
    if (recordOnly)
        arguments << QStringLiteral("--record-only");
    if (!changes.isEmpty())
        arguments << QStringLiteral("-c") << changes;
    SVNCommand command = withTargets(custom(QLatin1String(SVNSubcommand::Merge), arguments, localRoot, QString()),
                                     {url, path});
    command.literalLastTarget = true;
    return command;
}

SVNCommand mergeInfo(const QString& localRoot, const QString& path, const QString& url, bool merged)
{
    return withTargets(custom(QLatin1String(SVNSubcommand::Mergeinfo),
                              {QStringLiteral("--show-revs"), merged ? QStringLiteral("merged") : QStringLiteral("eligible")},
                              localRoot, QString()),
                       {url, path});
}

SVNCommand lockPaths(const QString& localRoot, const QStringList& paths, const QString& comment, bool force)
{
    QStringList arguments;
    if (force)
        arguments << QStringLiteral("--force");
    return withMessage(withTargets(custom(QLatin1String(SVNSubcommand::Lock), arguments, localRoot, QString()), paths),
                       comment);
}

SVNCommand unlockPaths(const QString& localRoot, const QStringList& paths, bool force)
{
    QStringList arguments;
    if (force)
        arguments << QStringLiteral("--force");
    return withTargets(custom(QLatin1String(SVNSubcommand::Unlock), arguments, localRoot, QString()), paths);
}

SVNCommand relocate(const QString& localRoot, const QString& from, const QString& to)
{
    SVNCommand command =
        withTargets(custom(QLatin1String(SVNSubcommand::Relocate), {}, localRoot, QString()), {from, to, QString()});
    command.pegTargets = false; // URL prefixes, never read with a peg
    return command;
}

SVNCommand propertyList(const QString& localRoot, const QString& path)
{
    return withTargets(custom(QLatin1String(SVNSubcommand::Proplist), {QStringLiteral("--verbose"), QStringLiteral("--xml")},
                              localRoot, QString()),
                       {path});
}

SVNCommand propertySet(const QString& localRoot, const QStringList& paths, const QString& name,
                       const QString& valueFile)
{
    return withTargets(custom(QLatin1String(SVNSubcommand::Propset), {name, QStringLiteral("--file"), valueFile},
                              localRoot, QString()),
                       paths);
}

SVNCommand propertyDelete(const QString& localRoot, const QStringList& paths, const QString& name)
{
    return withTargets(custom(QLatin1String(SVNSubcommand::Propdel), {name}, localRoot, QString()), paths);
}

SVNCommand changelist(const QString& localRoot, const QStringList& paths, const QString& name)
{
    return withTargets(custom(QLatin1String(SVNSubcommand::Changelist),
                              {name.isEmpty() ? QStringLiteral("--remove") : name}, localRoot, QString()),
                       paths);
}

SVNCommand historyRange(const QString& url, const QString& start, int limit, const QString& pattern)
{
    QStringList arguments{QStringLiteral("--xml"), QStringLiteral("--verbose")};
    if (!start.isEmpty())
        arguments << QStringLiteral("--revision") << start + QStringLiteral(":0");
    if (limit > 0)
        arguments << QStringLiteral("--limit") << QString::number(limit);
    if (!pattern.isEmpty())
        arguments << QStringLiteral("--search") << pattern;
    return custom(QLatin1String(SVNSubcommand::Log), arguments, QString(), url);
}

SVNCommand summary(const QString& fromURL, const QString& toURL)
{
    SVNCommand command = custom(QLatin1String(SVNSubcommand::Diff),
                                {QStringLiteral("--summarize"), QStringLiteral("--xml")}, QString(), QString());
    command.targets = {fromURL, toURL};
    command.pegTargets = false; // each carries its revision as its peg
    return command;
}

SVNCommand setDepth(const QString& localRoot, const QString& path, const QString& depth)
{
    return withTargets(custom(QLatin1String(SVNSubcommand::Update), {QStringLiteral("--set-depth"), depth}, localRoot,
                              QString()),
                       {path});
}

SVNCommand patchOf(const QString& localRoot, const QStringList& paths)
{
    SVNCommand command = withTargets(custom(QLatin1String(SVNSubcommand::Diff),
                                            {QStringLiteral("--git"), QStringLiteral("--show-copies-as-adds")},
                                            localRoot, QString()),
                                     paths);
    command.pegTargets = false;
    return command;
}

SVNCommand applyPatch(const QString& localRoot, const QString& patchFile, int strip, bool dryRun)
{
    QStringList arguments;
    if (strip > 0)
        arguments << QStringLiteral("--strip") << QString::number(strip);
    if (dryRun)
        arguments << QStringLiteral("--dry-run");
    SVNCommand command = custom(QLatin1String(SVNSubcommand::Patch), arguments, localRoot, patchFile);
    command.pegTargets = false;
    return command;
}

SVNCommand upgrade(const QString& localRoot)
{
    return custom(QLatin1String(SVNSubcommand::Upgrade), {}, localRoot, QString());
}

} // namespace SVNCommands
