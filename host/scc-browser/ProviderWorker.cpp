#include "ProviderWorker.h"

#include "ProviderSetUp.h"

#include <QCollator>
#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace {

QStringList sortedNames(QStringList names)
{
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(true);
    std::sort(names.begin(), names.end(), collator);
    return names;
}

// Appends the folder's subfolders (each followed by its own contents), then
// its files. Symbolic links to folders are listed as files and not followed,
// so a link cannot lead the scan in a circle.
void scanFolder(const QString& rootPath, const QStringList& parts, QList<LocalEntry>& entries)
{
    QDir folder(parts.isEmpty() ? rootPath : rootPath + QLatin1Char('/') + joinPathParts(parts));
    const QStringList names =
        sortedNames(folder.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System));
    QStringList files;
    for (const QString& name : names) {
        const QFileInfo info(folder.filePath(name));
        if (info.isDir() && !info.isSymLink()) {
            if (name == QLatin1String(".svn"))
                continue;
            entries << LocalEntry{parts + QStringList{name}, true};
            scanFolder(rootPath, parts + QStringList{name}, entries);
        } else {
            files << name;
        }
    }
    for (const QString& name : files)
        entries << LocalEntry{parts + QStringList{name}, false};
}

} // namespace

ProviderWorker::ProviderWorker(QObject* parent)
    : QObject(parent)
{
    qRegisterMetaType<LocalEntry>();
    qRegisterMetaType<QList<LocalEntry>>();
    qRegisterMetaType<FileStatus>();
}

ProviderWorker::~ProviderWorker() = default;

void ProviderWorker::runRequest(const QString& description,
                                const std::function<void(ProviderWorker&)>& request)
{
    emit requestStarted(description);
    if (!m_stopping)
        request(*this);
    emit requestFinished(description);
}

void ProviderWorker::cancelStatusPass()
{
    m_cancel = true;
}

void ProviderWorker::cancelProviderCall()
{
    m_library.cancelOperation();
}

void ProviderWorker::stop()
{
    m_stopping = true;
    m_cancel = true;
}

void ProviderWorker::open(const HostOptions& options)
{
    const QStringList noRoot;
    auto fail = [&](const QString& what, const QString& command, const QString& message) {
        emit failed(what, command, message);
        emit opened(false, false, noRoot);
    };
    if (!m_library.load(options.plugin))
        return fail(QStringLiteral("load the plug-in %1").arg(options.plugin), QString(),
                    m_library.errorString());
    m_provider = m_library.allocate();
    if (!m_provider)
        return fail(QStringLiteral("make a provider"), QString(),
                    QStringLiteral("%1 gave no provider").arg(options.plugin));

    m_localRoot = options.localRoot;
    // The window shows the whole tree: one client run answers every file of it.
    m_provider->setOption(QLatin1String(SourceCodeControlOption::StatusScope), QStringLiteral("WorkingCopy"));
    const ProviderSetUp setUp = setUpProvider(*m_provider, options);
    if (setUp.failedStep == ProviderSetUp::Login)
        return fail(QStringLiteral("log in as %1").arg(options.userName), setUp.command, setUp.message);
    if (setUp.failedStep == ProviderSetUp::Binding)
        return fail(QStringLiteral("bind %1").arg(options.localRoot), setUp.command, setUp.message);
    if (setUp.failedStep == ProviderSetUp::NotAWorkingCopy)
        return fail(QStringLiteral("open %1").arg(options.localRoot), QString(), setUp.message);
    QStringList boundLocal, repositoryRoot;
    m_provider->getRoots(boundLocal, repositoryRoot);
    emit opened(true, m_provider->checkOutSupported(), repositoryRoot);
}

void ProviderWorker::readLocalTree()
{
    if (!haveProvider(QStringLiteral("read the working copy")))
        return;
    QList<LocalEntry> entries;
    scanFolder(m_localRoot, QStringList(), entries);
    emit localTreeRead(entries);
    QList<QStringList> files;
    for (const LocalEntry& entry : entries)
        if (!entry.folder)
            files << entry.parts;
    readStatuses(files);
}

void ProviderWorker::readStatuses(const QList<QStringList>& files)
{
    if (!haveProvider(QStringLiteral("read the status")))
        return;
    // A cancel meant for an earlier pass must not stop this one.
    m_cancel = false;
    emit statusPassStarted(int(files.size()));
    for (const QStringList& parts : files) {
        if (m_cancel) {
            m_cancel = false;
            emit statusPassFinished(true);
            return;
        }
        emitStatus(parts);
    }
    emit statusPassFinished(false);
}

void ProviderWorker::refresh()
{
    if (!haveProvider(QStringLiteral("refresh")))
        return;
    m_provider->refresh();
    readLocalTree();
}

void ProviderWorker::listRepository(const QStringList& parts)
{
    QStringList directories, files;
    const QString what = QStringLiteral("list %1 in the repository")
                             .arg(parts.isEmpty() ? QStringLiteral("/") : joinPathParts(parts));
    if (!haveProvider(what)) {
        emit repositoryListed(parts, false, directories, files);
        return;
    }
    if (!m_provider->getDirectoriesList(parts, directories) || !m_provider->getFilesList(parts, files)) {
        reportFailure(what);
        emit repositoryListed(parts, false, QStringList(), QStringList());
        return;
    }
    emit repositoryListed(parts, true, sortedNames(directories), sortedNames(files));
}

void ProviderWorker::addFile(const QStringList& parts, const QString& comment)
{
    const QString operation = QStringLiteral("add");
    if (haveProvider(operation))
        finishOperation(operation, parts, m_provider->addFile(parts, comment));
}

void ProviderWorker::getLatest(const QStringList& parts, bool keepLocal)
{
    const QString operation = QStringLiteral("get latest");
    if (haveProvider(operation))
        finishOperation(operation, parts, m_provider->getFile(parts, keepLocal));
}

void ProviderWorker::checkOut(const QStringList& parts, const QString& comment)
{
    const QString operation = QStringLiteral("check out");
    if (haveProvider(operation))
        finishOperation(operation, parts, m_provider->checkout(parts, comment, false));
}

void ProviderWorker::undoCheckOut(const QStringList& parts, bool discardChanges)
{
    const QString operation = QStringLiteral("undo check-out");
    if (haveProvider(operation))
        finishOperation(operation, parts, m_provider->undoCheckout(parts, discardChanges));
}

void ProviderWorker::checkIn(const QStringList& parts, const QString& comment)
{
    const QString operation = QStringLiteral("check in");
    if (haveProvider(operation))
        finishOperation(operation, parts, m_provider->checkin(parts, comment));
}

void ProviderWorker::getRevision(const QStringList& parts, const QString& revision,
                                 const QString& destination)
{
    const QString operation = QStringLiteral("get revision");
    if (!haveProvider(operation))
        return;
    const bool ok = m_provider->getTo(parts, revision, destination);
    if (ok)
        emit note(QStringLiteral("wrote %1 at revision %2 to %3").arg(joinPathParts(parts), revision, destination));
    finishOperation(operation, parts, ok, false);
}

void ProviderWorker::shutdown()
{
    m_library.unload();
    m_provider = nullptr;
}

bool ProviderWorker::haveProvider(const QString& what)
{
    if (m_provider)
        return true;
    emit failed(what, QString(), QStringLiteral("no provider: the plug-in was not opened"));
    return false;
}

void ProviderWorker::reportFailure(const QString& what)
{
    QString command;
    const QString message = m_provider->getLastError(command);
    emit failed(what, command, message);
}

void ProviderWorker::finishOperation(const QString& operation, const QStringList& parts, bool ok,
                                     bool rereadStatus)
{
    if (!ok)
        reportFailure(QStringLiteral("%1 %2").arg(operation, joinPathParts(parts)));
    emit operationFinished(operation, parts, ok);
    if (rereadStatus)
        emitStatus(parts);
}

void ProviderWorker::emitStatus(const QStringList& parts)
{
    FileStatus status;
    const bool known = queryStatus(*m_provider, parts, status);
    QString command, message;
    if (!known)
        message = m_provider->getLastError(command);
    emit statusRead(parts, known, status, command, message);
}
