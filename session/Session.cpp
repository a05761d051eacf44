#include "Session.h"

#include "SessionWorker.h"

#include <QDir>
#include <QFutureInterface>
#include <QFutureWatcher>
#include <QMetaMethod>
#include <QPointer>
#include <QPromise>
#include <QTimer>

#include <algorithm>
#include <vector>

namespace SvnScc {

class SessionPrivate
{
public:
    explicit SessionPrivate(Session& owner) : session(owner) {}

    /**
     * Queues @p body (called with the worker, in its thread) and returns the
     * future of its result; a call that comes after the session began to
     * close gives SessionWorker::closedOutcome() instead. The result is
     * given after every event the call caused was handed to this thread.
     */
    template <typename R, typename Body>
    QFuture<R> submit(Body body)
    {
        const auto promise = std::make_shared<QPromise<R>>();
        promise->start();
        const QFuture<R> future = promise->future();
        SessionWorker* const runner = worker.get();
        worker->post(watchCancel(future), [runner, promise, body]() mutable {
            if (runner->closing()) {
                R closed;
                static_cast<Outcome&>(closed) = SessionWorker::closedOutcome();
                promise->addResult(closed);
            } else {
                promise->addResult(body(*runner));
            }
            runner->takeOffline();
            promise->finish();
        }, [promise] { return promise->isCanceled(); });
        return future;
    }

    /**
     * As submit(), for a status pass that gives its results as it goes and
     * finishes its future itself, before the bookkeeping that tells nothing. The pass gives them in batches through
     * the interface the promise wraps (QPromise adds one result at a time).
     */
    template <typename Body>
    QFuture<Status> submitPass(Body body)
    {
        QFutureInterface<Status> results;
        const auto promise = std::make_shared<QPromise<Status>>(results);
        promise->start();
        const QFuture<Status> future = promise->future();
        SessionWorker* const runner = worker.get();
        worker->post(watchCancel(future), [runner, promise, results, body]() mutable {
            // The pass finishes its future once (a second finish would run a
            // continuation twice); one it left unfinished ends here.
            body(*runner, results);
            if (!results.isFinished()) {
                runner->takeOffline();
                promise->finish();
            }
        }, [promise] { return promise->isCanceled(); });
        return future;
    }

    /**
     * A number for the call of @p future, and a watch in this thread that
     * hands QFuture::cancel() of it to the worker: a queued call is then
     * dropped, the running one is cancelled as cancel() does.
     */
    template <typename R>
    quint64 watchCancel(const QFuture<R>& future)
    {
        const quint64 call = ++lastCall;
        // A watcher holds its future, and with it every result of a pass,
        // until its deletion runs in this thread's event loop: those of calls
        // finished already go now, for a host that runs none between calls.
        watchers.erase(std::remove_if(watchers.begin(), watchers.end(),
                                      [](const QPointer<QFutureWatcherBase>& watcher) {
                                          if (watcher && watcher->isStarted() && !watcher->isRunning())
                                              delete watcher.data();
                                          return !watcher;
                                      }),
                       watchers.end());
        auto* const watcher = new QFutureWatcher<R>(&session);
        watchers.emplace_back(watcher);
        QObject::connect(watcher, &QFutureWatcherBase::canceled, &session,
                         [shared = shared, call] { shared->cancelCall(call); });
        QObject::connect(watcher, &QFutureWatcherBase::finished, watcher, &QObject::deleteLater);
        watcher->setFuture(future);
        return call;
    }

    /** In the session's thread: acts on what the worker told, in order. */
    void takeEvents()
    {
        for (SessionEvent& event : shared->takeEvents()) {
            switch (event.kind) {
            case SessionEvent::Kind::StatusChanged:
                emit session.statusChanged(event.status);
                break;
            case SessionEvent::Kind::Progress:
                emit session.progress(event.text, event.number);
                break;
            case SessionEvent::Kind::Logged:
                emit session.commandLogged(event.text);
                break;
            case SessionEvent::Kind::Offline:
                if (event.flag != offline) {
                    offline = event.flag;
                    emit session.offlineChanged(offline);
                }
                break;
            case SessionEvent::Kind::Watching: {
                unwatched = event.number;
                const Session::Watching now = event.number == 0 ? Session::Watching::Full
                    : event.flag                                 ? Session::Watching::None
                                                                 : Session::Watching::Partial;
                if (now != watching) {
                    watching = now;
                    emit session.watchingChanged(watching);
                }
                break;
            }
            case SessionEvent::Kind::Branch:
                if (event.text != branch) {
                    branch = event.text;
                    emit session.branchChanged(branch);
                }
                break;
            case SessionEvent::Kind::Asked:
                put(event.question);
                break;
            case SessionEvent::Kind::Withdrawn:
                if (SessionReply* reply = event.question->reply)
                    reply->withdraw();
                break;
            case SessionEvent::Kind::Calls:
                if ((shared->pending > 0) != busy) {
                    busy = !busy;
                    emit session.busyChanged(busy);
                }
                break;
            }
        }
    }

    /**
     * Puts @p question to the receivers of its signal with a new reply; with
     * none connected it is declined at once.
     */
    void put(const std::shared_ptr<SessionQuestion>& question)
    {
        if (shared->questionEnded(*question))
            return; // withdrawn before it got here
        const QMetaMethod signal = question->kind == SessionQuestion::Kind::Credentials
            ? QMetaMethod::fromSignal(&Session::credentialsRequired)
            : question->kind == SessionQuestion::Kind::Certificate ? QMetaMethod::fromSignal(&Session::serverTrustRequired)
                                                                   : QMetaMethod::fromSignal(&Session::sshQuestionAsked);
        if (!session.isSignalConnected(signal)) {
            shared->endQuestion(*question, [](SessionQuestion&) {});
            return;
        }
        replies.erase(std::remove_if(replies.begin(), replies.end(),
                                     [](const QPointer<SessionReply>& reply) { return !reply; }),
                      replies.end());
        switch (question->kind) {
        case SessionQuestion::Kind::Credentials: {
            auto* const reply = new CredentialsReply(shared, question, &session);
            question->reply = reply;
            replies.emplace_back(reply);
            emit session.credentialsRequired(question->credentialsRequest, reply);
            break;
        }
        case SessionQuestion::Kind::Certificate: {
            auto* const reply = new CertificateReply(shared, question, &session);
            question->reply = reply;
            replies.emplace_back(reply);
            emit session.serverTrustRequired(question->certificate, reply);
            break;
        }
        case SessionQuestion::Kind::Ssh: {
            auto* const reply = new SshReply(shared, question, &session);
            question->reply = reply;
            replies.emplace_back(reply);
            emit session.sshQuestionAsked(question->sshQuestion, reply);
            break;
        }
        }
    }

    /** Ends every question still open, each reply telling its withdrawal. */
    void withdrawAll()
    {
        for (const QPointer<SessionReply>& reply : replies)
            if (reply)
                reply->withdraw();
        replies.clear();
    }

    Session& session;
    QString pluginPath;
    QString localRoot;
    quint64 lastCall = 0;
    std::vector<QPointer<QFutureWatcherBase>> watchers; // of the calls not seen to finish
    std::vector<QPointer<SessionReply>> replies;        // of the questions put to the host
    const std::shared_ptr<SessionShared> shared = std::make_shared<SessionShared>();
    std::unique_ptr<SessionWorker> worker;
    bool offline = false;
    bool busy = false;
    Session::Watching watching = Session::Watching::Full;
    int unwatched = 0;
    QString branch;
    bool shelvesBeforeRevert = true;
};

Session::Session(QObject* parent)
    : Session(installedPluginPath(), parent)
{
}

Session::Session(const QString& pluginPath, QObject* parent)
    : QObject(parent), d_ptr(std::make_unique<SessionPrivate>(*this))
{
    Q_D(Session);
    qRegisterMetaType<SvnScc::Status>();
    d->pluginPath = pluginPath;
    // The worker hands its events over under a lock and wakes this thread
    // with a posted event, which takes them. A call's future reports its
    // end through posted events too, so a watcher or continuation in this
    // thread sees every signal the call caused before it sees the end.
    // Nothing posts after the worker is gone (the destructor waits for it).
    d->shared->wake = [this] {
        QMetaObject::invokeMethod(this, [this] { d_func()->takeEvents(); }, Qt::QueuedConnection);
    };
    d->worker = std::make_unique<SessionWorker>(d->shared, pluginPath);
}

Session::~Session()
{
    Q_D(Session);
    d->shared->closing = true;
    // The plug-in learns of the cancel before a waiting question ends, so
    // that the operation ends as cancelled, not with the declined answer.
    d->shared->plugin->cancel();
    d->shared->wakeQuestions();
    d->withdrawAll();
    d->worker.reset();
}

QString Session::installedPluginPath()
{
    return PluginLoader::installedPath();
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

Session::Watching Session::watching() const
{
    Q_D(const Session);
    return d->watching;
}

int Session::unwatchedFolders() const
{
    Q_D(const Session);
    return d->unwatched;
}

QString Session::branch() const
{
    Q_D(const Session);
    return d->branch;
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

QFuture<Outcome> Session::forgetCredentials(const QString& realm)
{
    Q_D(Session);
    return d->submit<Outcome>([realm](SessionWorker& worker) { return worker.forgetCredentials(realm); });
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
    return statusTree(folder, TreeOrder::Walk);
}

QFuture<Status> Session::statusTree(const QString& folder, TreeOrder order)
{
    Q_D(Session);
    return d->submitPass([folder, order](SessionWorker& worker, QFutureInterface<Status>& results) {
        worker.statusTree(folder, order, results);
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
    return d->submit<Outcome>([paths, recursive, keep = d->shelvesBeforeRevert](SessionWorker& worker) {
        return worker.revert(paths, recursive, keep);
    });
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

QFuture<Result<QList<ItemInfo>>> Session::info(const QStringList& paths)
{
    Q_D(Session);
    return d->submit<Result<QList<ItemInfo>>>([paths](SessionWorker& worker) { return worker.info(paths); });
}

QFuture<Result<QString>> Session::copy(const QString& fromRepositoryPath, const QString& toRepositoryPath,
                                       const QString& message, const QString& revision)
{
    Q_D(Session);
    return d->submit<Result<QString>>([fromRepositoryPath, toRepositoryPath, message, revision](SessionWorker& worker) {
        return worker.copy(fromRepositoryPath, revision, toRepositoryPath, message);
    });
}

QFuture<Result<QStringList>> Session::switchTo(const QString& path, const QString& repositoryPath,
                                               const QString& revision)
{
    Q_D(Session);
    return d->submit<Result<QStringList>>([path, repositoryPath, revision](SessionWorker& worker) {
        return worker.switchTo(path, repositoryPath, revision);
    });
}

QFuture<Result<MergeResult>> Session::merge(const QString& path, const QString& sourceRepositoryPath,
                                            const QStringList& revisions, bool dryRun, bool recordOnly)
{
    Q_D(Session);
    return d->submit<Result<MergeResult>>([=](SessionWorker& worker) {
        return worker.merge(path, sourceRepositoryPath, revisions, dryRun, recordOnly);
    });
}

QFuture<Result<QStringList>> Session::mergeInfo(const QString& path, const QString& sourceRepositoryPath, bool merged)
{
    Q_D(Session);
    return d->submit<Result<QStringList>>([path, sourceRepositoryPath, merged](SessionWorker& worker) {
        return worker.mergeInfo(path, sourceRepositoryPath, merged);
    });
}

QFuture<Outcome> Session::lock(const QStringList& paths, const QString& comment, bool steal)
{
    Q_D(Session);
    return d->submit<Outcome>([paths, comment, steal](SessionWorker& worker) { return worker.lock(paths, comment, steal); });
}

QFuture<Outcome> Session::unlock(const QStringList& paths, bool breakLock)
{
    Q_D(Session);
    return d->submit<Outcome>([paths, breakLock](SessionWorker& worker) { return worker.unlock(paths, breakLock); });
}

QFuture<Outcome> Session::relocate(const QString& newRepositoryRoot)
{
    Q_D(Session);
    return d->submit<Outcome>([newRepositoryRoot](SessionWorker& worker) { return worker.relocate(newRepositoryRoot); });
}

QFuture<Result<QList<Property>>> Session::properties(const QString& path)
{
    Q_D(Session);
    return d->submit<Result<QList<Property>>>([path](SessionWorker& worker) { return worker.properties(path); });
}

QFuture<Outcome> Session::setProperty(const QStringList& paths, const QString& name, const QByteArray& value)
{
    Q_D(Session);
    return d->submit<Outcome>([paths, name, value](SessionWorker& worker) {
        return worker.setProperty(paths, name, value);
    });
}

QFuture<Outcome> Session::deleteProperty(const QStringList& paths, const QString& name)
{
    Q_D(Session);
    return d->submit<Outcome>([paths, name](SessionWorker& worker) { return worker.deleteProperty(paths, name); });
}

QFuture<Outcome> Session::ignore(const QStringList& paths)
{
    Q_D(Session);
    return d->submit<Outcome>([paths](SessionWorker& worker) { return worker.ignore(paths); });
}

QFuture<Outcome> Session::setChangelist(const QStringList& paths, const QString& name)
{
    Q_D(Session);
    return d->submit<Outcome>([paths, name](SessionWorker& worker) { return worker.setChangelist(paths, name); });
}

QFuture<Result<QList<LogEntry>>> Session::logRange(const QString& path, const QString& startRevision, int limit,
                                                   const QString& search)
{
    Q_D(Session);
    return d->submit<Result<QList<LogEntry>>>([path, startRevision, limit, search](SessionWorker& worker) {
        return worker.logRange(path, startRevision, limit, search);
    });
}

QFuture<Result<QList<ItemChange>>> Session::changedBetween(const QString& path, const QString& from, const QString& to)
{
    Q_D(Session);
    return d->submit<Result<QList<ItemChange>>>([path, from, to](SessionWorker& worker) {
        return worker.changedBetween(path, from, to);
    });
}

QFuture<Outcome> Session::setDepth(const QString& folder, Depth depth)
{
    Q_D(Session);
    return d->submit<Outcome>([folder, depth](SessionWorker& worker) { return worker.setDepth(folder, depth); });
}

QFuture<Outcome> Session::upgrade()
{
    Q_D(Session);
    return d->submit<Outcome>([](SessionWorker& worker) { return worker.upgrade(); });
}

QFuture<Result<QByteArray>> Session::createPatch(const QStringList& paths)
{
    Q_D(Session);
    return d->submit<Result<QByteArray>>([paths](SessionWorker& worker) { return worker.createPatch(paths); });
}

QFuture<Result<QList<ItemChange>>> Session::applyPatch(const QByteArray& patch, int strip, bool dryRun)
{
    Q_D(Session);
    return d->submit<Result<QList<ItemChange>>>([patch, strip, dryRun](SessionWorker& worker) {
        return worker.applyPatch(patch, strip, dryRun);
    });
}

QFuture<Outcome> Session::shelve(const QString& name, const QStringList& paths)
{
    Q_D(Session);
    return d->submit<Outcome>([name, paths](SessionWorker& worker) { return worker.shelve(name, paths); });
}

QFuture<Outcome> Session::unshelve(const QString& name)
{
    Q_D(Session);
    return d->submit<Outcome>([name](SessionWorker& worker) { return worker.unshelve(name); });
}

QFuture<Result<QList<Shelf>>> Session::shelves()
{
    Q_D(Session);
    return d->submit<Result<QList<Shelf>>>([](SessionWorker& worker) { return worker.shelves(); });
}

QFuture<Outcome> Session::dropShelf(const QString& name)
{
    Q_D(Session);
    return d->submit<Outcome>([name](SessionWorker& worker) { return worker.dropShelf(name); });
}

bool Session::shelvesBeforeRevert() const
{
    Q_D(const Session);
    return d->shelvesBeforeRevert;
}

void Session::setShelvesBeforeRevert(bool keep)
{
    Q_D(Session);
    d->shelvesBeforeRevert = keep;
}

std::function<void()> Session::canceller() const
{
    Q_D(const Session);
    return [shared = d->shared] { shared->cancelRunning(); };
}

void Session::cancel()
{
    Q_D(Session);
    d->shared->cancelRunning();
}

SessionReply::SessionReply(std::shared_ptr<SessionShared> shared, std::shared_ptr<SessionQuestion> question,
                           QObject* parent)
    : QObject(parent), m_shared(std::move(shared)), m_question(std::move(question))
{
}

SessionReply::~SessionReply()
{
    decline();
}

bool SessionReply::isPending() const
{
    return !m_shared->questionEnded(*m_question);
}

void SessionReply::decline()
{
    give([](SessionQuestion&) {});
}

void SessionReply::give(const std::function<void(SessionQuestion&)>& fill)
{
    m_told = true;
    m_shared->endQuestion(*m_question, fill);
}

void SessionReply::withdraw()
{
    // Ended here, or by the worker that stopped waiting: told once, and
    // never after the host's own answer.
    m_shared->endQuestion(*m_question, [](SessionQuestion&) {});
    if (!std::exchange(m_told, true))
        emit withdrawn();
}

void CredentialsReply::answer(const QString& user, const QString& password, bool remember)
{
    give([&](SessionQuestion& question) {
        question.given = true;
        question.credentials.given = true;
        question.credentials.user = user;
        question.credentials.password = password;
        question.credentials.remember = remember;
    });
}

void CertificateReply::answer(SourceCodeControl::Trust trust)
{
    give([trust](SessionQuestion& question) {
        question.given = true;
        question.trust = trust;
    });
}

void SshReply::answer(const QString& text)
{
    give([&](SessionQuestion& question) {
        question.given = true;
        question.text = text;
    });
}

} // namespace SvnScc
