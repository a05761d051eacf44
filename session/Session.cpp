#include "Session.h"

#include "SessionLog.h"
#include "SessionPlugin.h"
#include "SessionWorker.h"

#include <QDir>
#include <QFutureInterface>
#include <QThread>

namespace SvnScc {

class SessionPrivate
{
public:
    /**
     * Queues @p body (called with the worker, in its thread) and returns the
     * future of its result; a call that comes after the session began to
     * close gives SessionWorker::closedOutcome() instead.
     */
    template <typename R, typename Body>
    QFuture<R> submit(Body body)
    {
        QFutureInterface<R> promise;
        promise.reportStarted();
        const QFuture<R> future = promise.future();
        SessionWorker* const runner = worker;
        worker->post([runner, promise, body]() mutable {
            if (runner->closing()) {
                R closed;
                static_cast<Outcome&>(closed) = SessionWorker::closedOutcome();
                promise.reportResult(closed);
            } else {
                promise.reportResult(body(*runner));
            }
            promise.reportFinished();
        });
        return future;
    }

    /** As submit(), for a status pass that gives its results as it goes and finishes its future itself. */
    template <typename Body>
    QFuture<Status> submitPass(Body body)
    {
        QFutureInterface<Status> promise;
        promise.reportStarted();
        const QFuture<Status> future = promise.future();
        SessionWorker* const runner = worker;
        worker->post([runner, promise, body]() mutable { body(*runner, promise); });
        return future;
    }

    QString pluginPath;
    QString localRoot;
    const std::shared_ptr<SessionShared> shared = std::make_shared<SessionShared>();
    QThread thread;
    SessionWorker* worker = nullptr;
    bool offline = false;
    bool busy = false;
};

Session::Session(QObject* parent)
    : Session(installedPluginPath(), parent)
{
}

Session::Session(const QString& pluginPath, QObject* parent)
    : QObject(parent), d_ptr(std::make_unique<SessionPrivate>())
{
    Q_D(Session);
    qRegisterMetaType<SvnScc::Status>();
    SessionLog::install();
    d->pluginPath = pluginPath;
    d->worker = new SessionWorker(d->shared, pluginPath);
    d->worker->moveToThread(&d->thread);
    d->thread.setObjectName(QStringLiteral("svnscc session"));

    // The worker's signals come from its thread; the session's are emitted in its own.
    const auto queued = Qt::QueuedConnection;
    connect(d->worker, &SessionWorker::statusChanged, this, &Session::statusChanged, queued);
    connect(d->worker, &SessionWorker::progressed, this, &Session::progress, queued);
    connect(d->worker, &SessionWorker::commandLogged, this, &Session::commandLogged, queued);
    connect(d->worker, &SessionWorker::offlineChanged, this, [this](bool offline) {
        Q_D(Session);
        if (offline == d->offline)
            return;
        d->offline = offline;
        emit offlineChanged(offline);
    }, queued);
    connect(d->worker, &SessionWorker::callsChanged, this, [this] {
        Q_D(Session);
        const bool busy = d->shared->pending > 0;
        if (busy == d->busy)
            return;
        d->busy = busy;
        emit busyChanged(busy);
    }, queued);

    d->thread.start();
    SessionWorker* const worker = d->worker;
    QMetaObject::invokeMethod(worker, [worker] { SessionLog::route(worker); }, queued);
}

Session::~Session()
{
    Q_D(Session);
    d->shared->closing = true;
    d->shared->cancelled = true;
    d->shared->plugin->cancel();
    SessionWorker* const worker = d->worker;
    QMetaObject::invokeMethod(
        worker,
        [worker] {
            worker->shutdown();
            QThread::currentThread()->quit();
        },
        Qt::QueuedConnection);
    // A cancel that comes just before the running call starts its client
    // finds nothing to end: it is repeated until the worker is done.
    while (!d->thread.wait(50))
        d->shared->plugin->cancel();
    delete worker;
}

QString Session::installedPluginPath()
{
    return SessionPlugin::installedPath();
}

QString Session::pluginPath() const
{
    Q_D(const Session);
    return d->pluginPath;
}

QString Session::localRoot() const
{
    Q_D(const Session);
    return d->localRoot;
}

bool Session::isOffline() const
{
    Q_D(const Session);
    return d->offline;
}

bool Session::isBusy() const
{
    Q_D(const Session);
    return d->busy;
}

QFuture<Result<QString>> Session::open(const QString& localRoot, const SessionSettings& settings,
                                       const QString& repositoryPath)
{
    Q_D(Session);
    const QString root = QDir::cleanPath(QDir::current().absoluteFilePath(localRoot));
    if (d->localRoot.isEmpty())
        d->localRoot = root;
    return d->submit<Result<QString>>([root, settings, repositoryPath](SessionWorker& worker) {
        return worker.open(root, settings, repositoryPath);
    });
}

QFuture<Outcome> Session::login(const QString& user, const QString& password)
{
    Q_D(Session);
    return d->submit<Outcome>([user, password](SessionWorker& worker) { return worker.login(user, password); });
}

QFuture<Outcome> Session::logout()
{
    Q_D(Session);
    return d->submit<Outcome>([](SessionWorker& worker) { return worker.logout(); });
}

QFuture<Outcome> Session::refresh()
{
    Q_D(Session);
    return d->submit<Outcome>([](SessionWorker& worker) { return worker.refresh(); });
}

QFuture<Status> Session::status(const QStringList& paths)
{
    Q_D(Session);
    return d->submitPass([paths](SessionWorker& worker, QFutureInterface<Status>& results) {
        worker.status(paths, results);
    });
}

QFuture<Status> Session::statusTree(const QString& folder)
{
    Q_D(Session);
    return d->submitPass([folder](SessionWorker& worker, QFutureInterface<Status>& results) {
        worker.statusTree(folder, results);
    });
}

QFuture<Outcome> Session::saved(const QStringList& paths)
{
    Q_D(Session);
    return d->submit<Outcome>([paths](SessionWorker& worker) { return worker.saved(paths); });
}

QFuture<Outcome> Session::addFile(const QString& path, const QString& comment)
{
    Q_D(Session);
    return d->submit<Outcome>([path, comment](SessionWorker& worker) { return worker.addFile(path, comment); });
}

QFuture<Outcome> Session::getFile(const QString& path, bool keepLocal)
{
    Q_D(Session);
    return d->submit<Outcome>([path, keepLocal](SessionWorker& worker) { return worker.getFile(path, keepLocal); });
}

QFuture<Outcome> Session::getTo(const QString& path, const QString& revision, const QString& destination)
{
    Q_D(Session);
    return d->submit<Outcome>([path, revision, destination](SessionWorker& worker) {
        return worker.getTo(path, revision, destination);
    });
}

QFuture<Outcome> Session::checkout(const QString& path, const QString& comment, bool replaceLocal)
{
    Q_D(Session);
    return d->submit<Outcome>([path, comment, replaceLocal](SessionWorker& worker) {
        return worker.checkout(path, comment, replaceLocal);
    });
}

QFuture<Outcome> Session::undoCheckout(const QString& path, bool discardChanges)
{
    Q_D(Session);
    return d->submit<Outcome>([path, discardChanges](SessionWorker& worker) {
        return worker.undoCheckout(path, discardChanges);
    });
}

QFuture<Outcome> Session::checkin(const QString& path, const QString& comment)
{
    Q_D(Session);
    return d->submit<Outcome>([path, comment](SessionWorker& worker) { return worker.checkin(path, comment); });
}

QFuture<Result<QStringList>> Session::listDirectories(const QString& repositoryPath)
{
    Q_D(Session);
    return d->submit<Result<QStringList>>([repositoryPath](SessionWorker& worker) {
        return worker.listDirectories(repositoryPath);
    });
}

QFuture<Result<QStringList>> Session::listFiles(const QString& repositoryPath)
{
    Q_D(Session);
    return d->submit<Result<QStringList>>([repositoryPath](SessionWorker& worker) {
        return worker.listFiles(repositoryPath);
    });
}

QFuture<Outcome> Session::createDirectory(const QString& repositoryParent, const QString& name)
{
    Q_D(Session);
    return d->submit<Outcome>([repositoryParent, name](SessionWorker& worker) {
        return worker.createDirectory(repositoryParent, name);
    });
}

QFuture<Outcome> Session::add(const QStringList& paths)
{
    Q_D(Session);
    return d->submit<Outcome>([paths](SessionWorker& worker) { return worker.add(paths); });
}

QFuture<Result<QString>> Session::commit(const QStringList& paths, const QString& message)
{
    Q_D(Session);
    return d->submit<Result<QString>>([paths, message](SessionWorker& worker) { return worker.commit(paths, message); });
}

QFuture<Outcome> Session::revert(const QStringList& paths, bool recursive)
{
    Q_D(Session);
    return d->submit<Outcome>([paths, recursive](SessionWorker& worker) { return worker.revert(paths, recursive); });
}

QFuture<Outcome> Session::remove(const QStringList& paths, bool keepLocal)
{
    Q_D(Session);
    return d->submit<Outcome>([paths, keepLocal](SessionWorker& worker) { return worker.remove(paths, keepLocal); });
}

QFuture<Outcome> Session::move(const QString& from, const QString& to)
{
    Q_D(Session);
    return d->submit<Outcome>([from, to](SessionWorker& worker) { return worker.move(from, to); });
}

QFuture<Result<QStringList>> Session::update(const QStringList& paths, const QString& revision)
{
    Q_D(Session);
    return d->submit<Result<QStringList>>([paths, revision](SessionWorker& worker) {
        return worker.update(paths, revision);
    });
}

QFuture<Outcome> Session::resolve(const QString& path, Resolution choice)
{
    Q_D(Session);
    return d->submit<Outcome>([path, choice](SessionWorker& worker) { return worker.resolve(path, choice); });
}

QFuture<Result<QList<LogEntry>>> Session::log(const QString& path, int limit)
{
    Q_D(Session);
    return d->submit<Result<QList<LogEntry>>>([path, limit](SessionWorker& worker) { return worker.log(path, limit); });
}

QFuture<Result<QList<AnnotatedLine>>> Session::annotate(const QString& path, const QString& revision)
{
    Q_D(Session);
    return d->submit<Result<QList<AnnotatedLine>>>([path, revision](SessionWorker& worker) {
        return worker.annotate(path, revision);
    });
}

QFuture<Result<QByteArray>> Session::diff(const QString& path, const QString& from, const QString& to)
{
    Q_D(Session);
    return d->submit<Result<QByteArray>>([path, from, to](SessionWorker& worker) { return worker.diff(path, from, to); });
}

QFuture<Result<QList<Change>>> Session::changes(const QString& folder)
{
    Q_D(Session);
    return d->submit<Result<QList<Change>>>([folder](SessionWorker& worker) { return worker.changes(folder); });
}

QFuture<Outcome> Session::cleanup(const QString& folder)
{
    Q_D(Session);
    return d->submit<Outcome>([folder](SessionWorker& worker) { return worker.cleanup(folder); });
}

std::function<void()> Session::canceller() const
{
    Q_D(const Session);
    return [shared = d->shared] {
        shared->cancelled = true;
        shared->plugin->cancel();
    };
}

void Session::cancel()
{
    Q_D(Session);
    d->shared->cancelled = true;
    d->shared->plugin->cancel();
}

} // namespace SvnScc
