#include "SessionWorker.h"

#include "FolderListings.h"
#include "PathPartsAhead.h"
#include "Session.h"
#include "SessionWatch.h"
#include "WorkingCopyDigest.h"

#include <svnscc/StatusColumns.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFuture>
#include <QFileInfo>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace SvnScc {

namespace {

const QString s_cancelled = QStringLiteral("cancelled");
// Up to this many paths changed at once are read one client run each; more
// are read by one run of the folder that holds them all.
const int s_fewPaths = 8;

// Results of a pass go out in batches: often enough that a view fills while
// the pass runs, seldom enough that the receiving thread is not flooded.
// What went out stays readable here for the bookkeeping after the pass,
// sharing each batch with the future's results rather than copying them.
class ResultBatch
{
public:
    explicit ResultBatch(QFutureInterface<Status>& results) : m_results(results) { m_sinceFlush.start(); }

    /** Every result flushed so far, batch by batch; read once no BatchKeeper runs. */
    const QList<QList<Status>>& given() const { return m_given; }

    void add(Status&& status)
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_pending.append(std::move(status));
        if (m_pending.size() >= 256 || m_sinceFlush.elapsed() >= 10)
            flushPending();
    }

    void flush()
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        flushPending();
    }

    /** Flushes what has waited 10 ms or more since the last flush. */
    void flushWaiting()
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_pending.isEmpty() && m_sinceFlush.elapsed() >= 10)
            flushPending();
    }

private:
    void flushPending()
    {
        if (!m_pending.isEmpty()) {
            m_results.reportResults(m_pending);
            m_count += int(m_pending.size());
            m_results.setProgressValue(m_count);
            // QFuture::takeResult() moves the first result out in place, even
            // from a batch it shares: the first batch is kept as a copy.
            m_given.append(m_given.isEmpty() ? QList<Status>(m_pending.cbegin(), m_pending.cend()) : m_pending);
            m_pending.clear();
        }
        m_sinceFlush.restart();
    }

    std::mutex m_mutex;
    QFutureInterface<Status>& m_results;
    QList<Status> m_pending;
    QList<QList<Status>> m_given;
    QElapsedTimer m_sinceFlush;
    int m_count = 0;
};

// Keeps a batch's results going out while the thread that adds them waits
// for the client's next line: what has waited 10 ms goes out even when the
// client pauses (a server between two folders).
class BatchKeeper
{
public:
    explicit BatchKeeper(ResultBatch& batch)
        : m_thread([this, &batch] {
              std::unique_lock<std::mutex> lock(m_mutex);
              while (!m_wake.wait_for(lock, std::chrono::milliseconds(10), [this] { return m_stop; }))
                  batch.flushWaiting();
          })
    {
    }
    BatchKeeper(const BatchKeeper&) = delete;
    BatchKeeper& operator=(const BatchKeeper&) = delete;

    ~BatchKeeper()
    {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_one();
        m_thread.join();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    std::thread m_thread;
};

// Hands each item a version-4 plug-in lists to a function, as it comes.
class ListedItems final : public SourceCodeControl::StatusReceiver
{
public:
    explicit ListedItems(std::function<void(const SourceCodeControl::StatusEntry&)> each) : m_each(std::move(each)) {}

    void receive(const SourceCodeControl::StatusEntry& entry) override { m_each(entry); }

private:
    std::function<void(const SourceCodeControl::StatusEntry&)> m_each;
};

QString parentOf(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : path.left(slash);
}

QString joined(const QString& folder, const QString& name)
{
    return folder.isEmpty() ? name : folder + QLatin1Char('/') + name;
}

// The base interface names one path by its parts; the local root is ".".
QStringList partsOf(const QString& path)
{
    return path.isEmpty() ? QStringList{QStringLiteral(".")} : path.split(QLatin1Char('/'));
}

QStringList repositoryParts(const QString& path)
{
    return path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
}

// Versioned: the client lists it, and not as unversioned or ignored. Only
// such items are watched and read again when they change on disk.
bool isVersioned(const Status& status)
{
    return status.known && SourceCodeControl::StatusColumns::isVersioned(status.columns);
}

Status failedStatus(const QString& path, const QString& command, const QString& error)
{
    Status status;
    status.path = path;
    status.command = command;
    status.error = error;
    return status;
}

template <typename T>
Result<T> withValue(const Outcome& outcome, T value = T())
{
    Result<T> result;
    static_cast<Outcome&>(result) = outcome;
    if (outcome.ok)
        result.value = std::move(value);
    return result;
}

// A relative path with nothing to clean: no empty, "." or ".." component.
bool isPlainRelative(const QString& path)
{
    qsizetype start = 0;
    for (qsizetype i = 0; i <= path.size(); ++i) {
        if (i < path.size() && path.at(i) != QLatin1Char('/'))
            continue;
        const qsizetype length = i - start;
        if (length == 0)
            return false;
        if (path.at(start) == QLatin1Char('.')
            && (length == 1 || (length == 2 && path.at(start + 1) == QLatin1Char('.'))))
            return false;
        start = i + 1;
    }
    return true;
}

} // namespace

void SessionShared::tell(SessionEvent event)
{
    bool first = false;
    {
        const std::lock_guard<std::mutex> lock(m_eventsMutex);
        first = m_events.empty();
        m_events.push_back(std::move(event));
    }
    if (first && wake)
        wake();
}

std::deque<SessionEvent> SessionShared::takeEvents()
{
    const std::lock_guard<std::mutex> lock(m_eventsMutex);
    return std::exchange(m_events, {});
}

SessionWorker::SessionWorker(std::shared_ptr<SessionShared> shared, const QString& pluginPath)
    : m_shared(std::move(shared)), m_pluginPath(pluginPath)
{
    m_thread = std::thread([this] { run(); });
}

SessionWorker::~SessionWorker()
{
    post([this] { shutdown(); });
    std::unique_lock<std::mutex> lock(m_queueMutex);
    m_ending = true;
    m_queueChanged.notify_all();
    do {
        m_shared->plugin->cancel();
        m_shared->wakeQuestions();
    } while (!m_queueChanged.wait_for(lock, std::chrono::milliseconds(50), [this] { return m_finished; }));
    lock.unlock();
    m_thread.join();
}

void SessionShared::cancelCall(quint64 call)
{
    const std::lock_guard<std::mutex> lock(m_runningMutex);
    if (call == 0 || call != m_running)
        return;
    cancelRunning();
}

void SessionShared::cancelRunning()
{
    cancelled = true;
    plugin->cancel();
    wakeQuestions();
}

bool SessionShared::endQuestion(SessionQuestion& question, const std::function<void(SessionQuestion&)>& fill)
{
    {
        const std::lock_guard<std::mutex> lock(m_questionMutex);
        if (question.ended)
            return false;
        fill(question);
        question.ended = true;
    }
    m_questionChanged.notify_all();
    return true;
}

bool SessionShared::questionEnded(const SessionQuestion& question)
{
    const std::lock_guard<std::mutex> lock(m_questionMutex);
    return question.ended;
}

void SessionShared::wakeQuestions()
{
    // Taken and let go, so that a worker between its check and its wait
    // cannot miss the flag set before.
    { const std::lock_guard<std::mutex> lock(m_questionMutex); }
    m_questionChanged.notify_all();
}

bool SessionShared::ask(const std::shared_ptr<SessionQuestion>& question)
{
    if (closing || cancelled)
        return false;
    SessionEvent asked;
    asked.kind = SessionEvent::Kind::Asked;
    asked.question = question;
    tell(std::move(asked));
    std::unique_lock<std::mutex> lock(m_questionMutex);
    m_questionChanged.wait(lock, [&] { return question->ended || cancelled || closing; });
    if (question->ended)
        return question->given;
    question->ended = true;
    lock.unlock();
    SessionEvent withdrawn;
    withdrawn.kind = SessionEvent::Kind::Withdrawn;
    withdrawn.question = question;
    tell(std::move(withdrawn));
    return false;
}

void SessionShared::setRunning(quint64 call)
{
    const std::lock_guard<std::mutex> lock(m_runningMutex);
    m_running = call;
}

void SessionWorker::post(quint64 call, std::function<void()> run, std::function<bool()> cancelled)
{
    {
        const std::lock_guard<std::mutex> lock(m_queueMutex);
        if (m_ending)
            return; // only the watch posts so late: nothing waits for it
        m_queue.push_back(Queued{call, std::move(run), std::move(cancelled)});
        ++m_shared->pending;
    }
    m_queueChanged.notify_all();
    m_shared->tell(SessionEvent{SessionEvent::Kind::Calls, {}, {}, 0, false, {}});
}

void SessionWorker::run()
{
    std::unique_lock<std::mutex> lock(m_queueMutex);
    for (;;) {
        m_queueChanged.wait(lock, [this] { return m_ending || !m_queue.empty(); });
        if (m_queue.empty())
            break;
        Queued call = std::move(m_queue.front());
        m_queue.pop_front();
        lock.unlock();
        m_shared->cancelled = false;
        // Running from here: a cancel of its future stops it. One that came
        // before drops it (checked after, so that none falls in between).
        m_shared->setRunning(call.call);
        if (!call.cancelled || !call.cancelled())
            call.run();
        // The watch's own reads have no future to finish.
        takeOffline();
        m_shared->setRunning(0);
        call = Queued();
        --m_shared->pending;
        m_shared->tell(SessionEvent{SessionEvent::Kind::Calls, {}, {}, 0, false, {}});
        lock.lock();
    }
    m_finished = true;
    m_queueChanged.notify_all();
}

Outcome SessionWorker::closedOutcome()
{
    return Outcome{false, QString(), QStringLiteral("the session was closed")};
}

/** The provider's questions, put to the session's host one at a time while the worker waits. */
class SessionWorker::Prompts final : public SourceCodeControl::SourceCodeControlSystemPromptHandler
{
public:
    explicit Prompts(SessionShared& shared) : m_shared(shared) {}

    SourceCodeControl::Credentials credentials(const SourceCodeControl::CredentialsRequest& request) override
    {
        const auto question = std::make_shared<SessionQuestion>();
        question->kind = SessionQuestion::Kind::Credentials;
        question->credentialsRequest = request;
        if (!m_shared.ask(question))
            return SourceCodeControl::Credentials();
        SourceCodeControl::Credentials given = question->credentials;
        given.given = true;
        return given;
    }

    SourceCodeControl::Trust trustServer(const SourceCodeControl::ServerCertificate& certificate) override
    {
        const auto question = std::make_shared<SessionQuestion>();
        question->kind = SessionQuestion::Kind::Certificate;
        question->certificate = certificate;
        return m_shared.ask(question) ? question->trust : SourceCodeControl::Trust::Reject;
    }

    bool answerSsh(const SourceCodeControl::SshQuestion& asked, QString& answer) override
    {
        const auto question = std::make_shared<SessionQuestion>();
        question->kind = SessionQuestion::Kind::Ssh;
        question->sshQuestion = asked;
        if (!m_shared.ask(question))
            return false;
        answer = question->text;
        return true;
    }

private:
    SessionShared& m_shared;
};

void SessionWorker::logLine(void* context, const QString& line)
{
    static_cast<SessionWorker*>(context)->m_shared->tell(SessionEvent{SessionEvent::Kind::Logged, {}, line, 0, false, {}});
}

void SessionWorker::shutdown()
{
    m_watch.reset();
    if (m_provider)
        m_provider->setProgressHandler(nullptr, nullptr);
    if (m_provider3) {
        m_provider3->setCommandLogHandler(nullptr, nullptr);
        m_provider3->setPromptHandler(nullptr);
    }
    m_shared->plugin->release();
    m_provider = nullptr;
    m_provider3 = nullptr;
    m_provider4 = nullptr;
}

Result<QString> SessionWorker::open(const QString& localRoot, const SessionSettings& settings,
                                    const QString& repositoryPath)
{
    if (m_provider)
        return withValue<QString>(Outcome{false, QString(), QStringLiteral("the session is open already")});
    PluginLoader& plugin = *m_shared->plugin;
    if (!plugin.isLoaded() && !plugin.load(m_pluginPath))
        return withValue<QString>(Outcome{false, QString(), plugin.errorString()});
    m_provider = plugin.allocate(2) ? plugin.provider2() : nullptr;
    if (!m_provider)
        return withValue<QString>(Outcome{false, QString(), plugin.errorString()});
    // Version 3 hands the command log and the server's questions to the
    // session directly; an older plug-in has neither.
    m_provider3 = plugin.provider3();
    m_provider4 = plugin.provider4();
    if (m_provider3) {
        if (!m_prompts)
            m_prompts = std::make_unique<Prompts>(*m_shared);
        m_provider3->setCommandLogHandler(&SessionWorker::logLine, this);
        m_provider3->setPromptHandler(m_prompts.get());
    }
    const Result<QString> bound = bind(localRoot, settings, repositoryPath);
    if (bound.ok)
        tellBranch();
    if (!bound.ok) {
        // Not open: a later open() starts again with a fresh provider.
        plugin.release();
        m_provider = nullptr;
        m_provider3 = nullptr;
        m_provider4 = nullptr;
    }
    return bound;
}

Result<QString> SessionWorker::bind(const QString& localRoot, const SessionSettings& settings,
                                    const QString& repositoryPath)
{
    m_localRoot = localRoot;
    // Resolved once: a path given through a link to the working copy, or
    // its real path when the root is a link, is the same path.
    m_canonicalRoot = QFileInfo(localRoot).canonicalFilePath();
    m_settings = settings;

    using namespace SourceCodeControlOption;
    const auto yesNo = [](bool value) { return value ? QStringLiteral("Yes") : QStringLiteral("No"); };
    m_provider->setOption(QLatin1String(Executable), settings.executable);
    if (!settings.repositoryUrl.isEmpty())
        m_provider->setOption(QLatin1String(RepositoryURL), settings.repositoryUrl);
    m_provider->setOption(QLatin1String(LockSupported), yesNo(settings.locking));
    m_provider->setOption(QLatin1String(PasswordFromStdin), yesNo(settings.passwordOnStdin));
    m_provider->setOption(QLatin1String(Timeout), QString::number(std::max(settings.timeLimitSeconds, 0)));
    m_provider->setOption(QLatin1String(StatusScope),
                          settings.statusScope == SessionSettings::StatusScope::WorkingCopy ? QStringLiteral("WorkingCopy")
                                                                                            : QStringLiteral("PerFolder"));
    m_provider->setProgressHandler(&SessionWorker::reportProgress, this);

    if (!settings.user.isEmpty()) {
        if (stopped())
            return withValue<QString>(Outcome{false, QString(), s_cancelled});
        if (!m_provider->login(settings.user, settings.password, settings.repositoryUrl))
            return withValue<QString>(outcomeOf(false));
    }
    if (stopped())
        return withValue<QString>(Outcome{false, QString(), s_cancelled});
    const QStringList localParts = localRoot.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    const bool bound = repositoryPath.isNull() ? m_provider->setRoots(localParts)
                                               : m_provider->setRoots(localParts, repositoryParts(repositoryPath));
    if (!bound)
        return withValue<QString>(outcomeOf(false));
    QStringList boundLocal, repositoryRoot;
    m_provider->getRoots(boundLocal, repositoryRoot);
    for (QDir folder(localRoot);;) {
        if (QFileInfo::exists(folder.filePath(QStringLiteral(".svn/wc.db")))) {
            m_database = QFileInfo(folder.filePath(QStringLiteral(".svn/wc.db"))).canonicalFilePath();
            m_databaseNoted = FileStamp::of(m_database);
            m_digest = std::make_unique<WorkingCopyDigest>(m_canonicalRoot.isEmpty() ? localRoot : m_canonicalRoot,
                                                           m_database);
            break;
        }
        if (!folder.cdUp())
            break;
    }
    m_watch = std::make_unique<SessionWatch>(
        localRoot, m_database, settings.pollIntervalMs,
        [this](const QStringList& paths, bool database) {
            // Handed over, then read by the next call that runs: the one
            // posted here, or a status call queued before it, which must
            // not answer from what these paths were.
            {
                const std::lock_guard<std::mutex> lock(m_handedMutex);
                m_handed.unite(QSet<QString>(paths.cbegin(), paths.cend()));
                m_handedDatabase = m_handedDatabase || database;
            }
            post([this] { catchUp(); });
        },
        [this](const SessionWatch::Coverage& coverage) { coverageChanged(coverage); });
    // What the databases record now: what differs from it later is read again.
    if (m_digest) {
        WorkingCopyDigest::Changes none;
        if (m_digest->read(none))
            for (const QString& database : m_digest->databases())
                m_watch->watchDatabase(database);
    }
    return withValue<QString>(Outcome{true, QString(), QString()}, repositoryRoot.join(QLatin1Char('/')));
}

Outcome SessionWorker::login(const QString& user, const QString& password)
{
    QStringList none;
    if (const Outcome refusal = prepare({}, none, "info"); !refusal.ok)
        return refusal;
    return outcomeOf(m_provider->login(user, password, m_settings.repositoryUrl));
}

Outcome SessionWorker::forgetCredentials(const QString& realm)
{
    QStringList none;
    if (const Outcome refusal = prepare({}, none, "forgetCredentials"); !refusal.ok)
        return refusal;
    if (!m_provider3)
        return Outcome{false, QStringLiteral("forgetCredentials"),
                       QStringLiteral("the plug-in has no version-3 interface: it keeps no credentials of its own")};
    return outcomeOf(m_provider3->forgetCredentials(realm));
}

Outcome SessionWorker::logout()
{
    QStringList none;
    if (const Outcome refusal = prepare({}, none, "info"); !refusal.ok)
        return refusal;
    return outcomeOf(m_provider->logout());
}

Outcome SessionWorker::refresh()
{
    QStringList none;
    if (const Outcome refusal = prepare({}, none, "status"); !refusal.ok)
        return refusal;
    m_provider->refresh();
    QStringList paths = m_known.keys();
    std::sort(paths.begin(), paths.end());
    QStringList versioned;
    for (const QString& path : paths) {
        if (stopped())
            return Outcome{false, QStringLiteral("status"), s_cancelled};
        note(path);
        const Status status = readStatus(path);
        publish(status, false);
        if (isVersioned(status))
            versioned << path;
    }
    watchVersioned(versioned);
    return Outcome{true, QString(), QString()};
}

void SessionWorker::status(const QStringList& paths, QFutureInterface<Status> results)
{
    catchUp(paths);
    results.setProgressRange(0, int(paths.size()));
    ResultBatch batch(results);
    // A long list's plain relative paths (what relative() takes as they are)
    // are split on a second thread, during the client's run for the first.
    std::optional<PathPartsAhead> ahead;
    if (paths.size() >= PathPartsAhead::Worthwhile)
        ahead.emplace(paths, [](const QString& path) {
            return !path.isEmpty() && path.at(0) != QLatin1Char('/') && isPlainRelative(path) ? partsOf(path)
                                                                                              : QStringList();
        });
    for (qsizetype i = 0; i < paths.size(); ++i) {
        const QString& path = paths.at(i);
        // What a cancel leaves unread is said so, and runs nothing.
        batch.add(!stopped() ? readStatus(path, ahead ? ahead->take(i) : QStringList())
                             : failedStatus(relative(path).value_or(path), QStringLiteral("status"),
                                            closing() ? closedOutcome().error : s_cancelled));
    }
    batch.flush();
    finish(results, batch.given());
    remember(batch.given());
}

void SessionWorker::statusTree(const QString& folder, TreeOrder order, QFutureInterface<Status> results)
{
    catchUp({}, true);
    ResultBatch batch(results);
    // What the walk saw of each item's kind ('d', 'f'; 0 not seen), so that
    // the watch needs no look at each.
    QByteArray kinds;
    const auto give = [&](Status status, char kind) {
        batch.add(std::move(status));
        kinds.append(kind);
    };
    // The walk reads each item it finds and enters the versioned folders.
    const auto read = [&](const QString& path, char kind) {
        Status status = readStatus(path);
        const bool versioned = isVersioned(status);
        give(std::move(status), kind);
        return versioned;
    };
    const std::optional<QString> top = relative(folder);
    // The disk is read while the client's run for the first answer takes place.
    std::optional<FolderListings> listings;
    if (top && m_provider)
        listings.emplace(m_localRoot, *top);
    if (order == TreeOrder::AsListed && top && top->isEmpty() && m_provider4) {
        bool listed = false;
        {
            const BatchKeeper keeper(batch);
            listed = giveAsListed(*listings, kinds, give, read);
        }
        if (listed) {
            batch.flush();
            finish(results, batch.given());
            remember(batch.given(), kinds);
            return;
        }
    }
    const Status topStatus = readStatus(folder);
    const bool versioned = isVersioned(topStatus);
    give(topStatus, 0);
    if (top && m_provider && (top->isEmpty() || versioned) && walk(*top, *listings, read)) {
        // What the client lists and the disk does not hold: missing, deleted.
        // None when the databases record no path the walk did not give;
        // else the databases name them; the client's local status only when
        // they cannot be read.
        batch.flush();
        QStringList recorded;
        if (top->isEmpty() && givesEveryRecorded(batch.given())) {
        } else if (m_digest && m_digest->recordedBelow(*top, recorded)) {
            std::sort(recorded.begin(), recorded.end());
        } else {
            QList<Change> changes;
            if (m_provider->changes(*top, changes))
                for (const Change& change : std::as_const(changes))
                    recorded << change.path;
        }
        if (!recorded.isEmpty()) {
            QSet<QString> unseen(recorded.cbegin(), recorded.cend());
            for (const QList<Status>& given : batch.given())
                for (qsizetype i = 0; i < given.size() && !unseen.isEmpty(); ++i)
                    unseen.remove(given.at(i).path);
            for (const QString& path : std::as_const(recorded))
                if (unseen.contains(path) && !stopped())
                    give(readStatus(path), 0);
        }
    }
    batch.flush();
    finish(results, batch.given());
    remember(batch.given(), kinds);
}

bool SessionWorker::giveAsListed(FolderListings& listings, QByteArray& kinds,
                                const std::function<void(Status, char kind)>& give,
                                const std::function<bool(const QString&, char kind)>& read)
{
    // Where each listed item went, so that the walk after the run gives
    // only what the client did not list, and notes the kind of what it did.
    struct Listed
    {
        qsizetype index;
        bool versioned;
    };
    QHash<QString, Listed> listed;
    ListedItems receiver([&](const SourceCodeControl::StatusEntry& entry) {
        // An external folder's line ("X") is its parent's view: the walk
        // reads it as the plug-in answers it, from the external's own run.
        if (entry.columns.startsWith(QLatin1Char('X')))
            return;
        Status status;
        status.path = entry.path == QLatin1String(".") ? QString() : entry.path;
        status.known = true;
        status.controlled = entry.controlled;
        status.checkedOut = entry.checkedOut;
        status.modified = entry.modified;
        status.outOfDate = entry.outOfDate;
        status.columns = entry.columns;
        status.revision = entry.revision;
        status.lastChangedRevision = entry.lastChangedRevision;
        listed.insert(status.path, Listed{kinds.size(), isVersioned(status)});
        give(std::move(status), 0);
    });
    bool ran = false;
    const bool ok = m_provider4->listStatus(receiver, ran);
    if (!ran)
        return false;
    if (ok) {
        walk(QString(), listings, [&](const QString& path, char kind) {
            const auto found = listed.constFind(path);
            if (found == listed.cend())
                return read(path, kind);
            kinds[found->index] = kind;
            return found->versioned;
        });
    } else if (!stopped()) {
        // The run failed: the local root's result says why.
        Status failed = failedStatus(QString(), QString(), QString());
        failed.error = m_provider->getLastError(failed.command);
        give(std::move(failed), 0);
    }
    return true;
}

bool SessionWorker::givesEveryRecorded(const QList<QList<Status>>& given) const
{
    if (!m_digest || !m_digest->complete() || m_digest->stale())
        return false;
    qsizetype found = 0;
    for (const QList<Status>& batch : given)
        for (const Status& status : batch)
            found += m_digest->records(WorkingCopyDigest::hashOf(status.path));
    return found == m_digest->recorded();
}

bool SessionWorker::walk(const QString& folder, FolderListings& listings,
                         const std::function<bool(const QString&, char kind)>& visit)
{
    const FolderListings::Listing listing = listings.take(folder);
    // A folder that is not versioned (build output, say) is not entered.
    for (const QString& name : std::as_const(listing.folders)) {
        if (stopped())
            return false;
        const QString path = joined(folder, name);
        if (visit(path, 'd') && !walk(path, listings, visit))
            return false;
    }
    for (const QString& name : std::as_const(listing.files)) {
        if (stopped())
            return false;
        visit(joined(folder, name), 'f');
    }
    return true;
}

Outcome SessionWorker::saved(const QStringList& paths)
{
    QStringList relativePaths;
    if (const Outcome refusal = prepare(paths, relativePaths, "status"); !refusal.ok)
        return refusal;
    if (stopped())
        return Outcome{false, QStringLiteral("status"), s_cancelled};
    readAgain(relativePaths);
    return Outcome{true, QString(), QString()};
}

Outcome SessionWorker::addFile(const QString& path, const QString& comment)
{
    QStringList paths;
    if (const Outcome refusal = prepare({path}, paths, "add"); !refusal.ok)
        return refusal;
    const Outcome outcome = outcomeOf(m_provider->addFile(partsOf(paths.first()), comment));
    afterChange(paths);
    return outcome;
}

Outcome SessionWorker::getFile(const QString& path, bool keepLocal)
{
    QStringList paths;
    if (const Outcome refusal = prepare({path}, paths, "update"); !refusal.ok)
        return refusal;
    const Outcome outcome = outcomeOf(m_provider->getFile(partsOf(paths.first()), keepLocal));
    afterChange(paths);
    return outcome;
}

Outcome SessionWorker::getTo(const QString& path, const QString& revision, const QString& destination)
{
    QStringList paths;
    if (const Outcome refusal = prepare({path}, paths, "cat"); !refusal.ok)
        return refusal;
    return outcomeOf(m_provider->getTo(partsOf(paths.first()), revision, destination));
}

Outcome SessionWorker::checkout(const QString& path, const QString& comment, bool replaceLocal)
{
    QStringList paths;
    if (const Outcome refusal = prepare({path}, paths, "lock"); !refusal.ok)
        return refusal;
    if (!m_settings.locking)
        return Outcome{false, QStringLiteral("lock"), QStringLiteral("locking is not offered (SessionSettings::locking)")};
    const Outcome outcome = outcomeOf(m_provider->checkout(partsOf(paths.first()), comment, replaceLocal));
    afterChange(paths);
    return outcome;
}

Outcome SessionWorker::undoCheckout(const QString& path, bool discardChanges)
{
    QStringList paths;
    if (const Outcome refusal = prepare({path}, paths, "unlock"); !refusal.ok)
        return refusal;
    if (!m_settings.locking)
        return Outcome{false, QStringLiteral("unlock"), QStringLiteral("locking is not offered (SessionSettings::locking)")};
    const Outcome outcome = outcomeOf(m_provider->undoCheckout(partsOf(paths.first()), discardChanges));
    afterChange(paths);
    return outcome;
}

Outcome SessionWorker::checkin(const QString& path, const QString& comment)
{
    QStringList paths;
    if (const Outcome refusal = prepare({path}, paths, "commit"); !refusal.ok)
        return refusal;
    const Outcome outcome = outcomeOf(m_provider->checkin(partsOf(paths.first()), comment));
    afterChange(paths);
    return outcome;
}

Result<QStringList> SessionWorker::listDirectories(const QString& repositoryPath)
{
    QStringList none, names;
    if (const Outcome refusal = prepare({}, none, "list"); !refusal.ok)
        return withValue<QStringList>(refusal);
    const Outcome outcome = outcomeOf(m_provider->getDirectoriesList(repositoryParts(repositoryPath), names));
    return withValue(outcome, names);
}

Result<QStringList> SessionWorker::listFiles(const QString& repositoryPath)
{
    QStringList none, names;
    if (const Outcome refusal = prepare({}, none, "list"); !refusal.ok)
        return withValue<QStringList>(refusal);
    const Outcome outcome = outcomeOf(m_provider->getFilesList(repositoryParts(repositoryPath), names));
    return withValue(outcome, names);
}

Outcome SessionWorker::createDirectory(const QString& repositoryParent, const QString& name)
{
    QStringList none;
    if (const Outcome refusal = prepare({}, none, "mkdir"); !refusal.ok)
        return refusal;
    return outcomeOf(m_provider->createDirectory(repositoryParts(repositoryParent), name));
}

Outcome SessionWorker::add(const QStringList& paths)
{
    QStringList relativePaths;
    if (const Outcome refusal = prepare(paths, relativePaths, "add"); !refusal.ok)
        return refusal;
    const Outcome outcome = outcomeOf(m_provider->add(relativePaths));
    afterChange(relativePaths);
    return outcome;
}

Result<QString> SessionWorker::commit(const QStringList& paths, const QString& message)
{
    QStringList relativePaths;
    if (const Outcome refusal = prepare(paths, relativePaths, "commit"); !refusal.ok)
        return withValue<QString>(refusal);
    QString revision;
    const Outcome outcome = outcomeOf(m_provider->commit(relativePaths, message, revision));
    afterChange(relativePaths);
    return withValue(outcome, revision);
}

Outcome SessionWorker::revert(const QStringList& paths, bool recursive, bool keepShelf)
{
    QStringList relativePaths;
    if (const Outcome refusal = prepare(paths, relativePaths, "revert"); !refusal.ok)
        return refusal;
    if (keepShelf)
        if (const Outcome kept = keepBeforeRevert(relativePaths); !kept.ok)
            return kept;
    const Outcome outcome = outcomeOf(m_provider->revert(relativePaths, recursive));
    afterChange(relativePaths);
    return outcome;
}

Outcome SessionWorker::remove(const QStringList& paths, bool keepLocal)
{
    QStringList relativePaths;
    if (const Outcome refusal = prepare(paths, relativePaths, "delete"); !refusal.ok)
        return refusal;
    const Outcome outcome = outcomeOf(m_provider->remove(relativePaths, keepLocal));
    afterChange(relativePaths);
    return outcome;
}

Outcome SessionWorker::move(const QString& from, const QString& to)
{
    QStringList paths;
    if (const Outcome refusal = prepare({from, to}, paths, "move"); !refusal.ok)
        return refusal;
    const Outcome outcome = outcomeOf(m_provider->move(paths.at(0), paths.at(1)));
    afterChange(paths);
    return outcome;
}

Result<QStringList> SessionWorker::update(const QStringList& paths, const QString& revision)
{
    QStringList relativePaths, conflicted;
    if (const Outcome refusal = prepare(paths, relativePaths, "update"); !refusal.ok)
        return withValue<QStringList>(refusal);
    const Outcome outcome = outcomeOf(m_provider->update(relativePaths, revision, conflicted));
    afterChange(relativePaths);
    return withValue(outcome, conflicted);
}

Outcome SessionWorker::resolve(const QString& path, Resolution choice)
{
    QStringList paths;
    if (const Outcome refusal = prepare({path}, paths, "resolve"); !refusal.ok)
        return refusal;
    const Outcome outcome = outcomeOf(m_provider->resolve(paths.first(), choice));
    afterChange(paths);
    return outcome;
}

Result<QList<LogEntry>> SessionWorker::log(const QString& path, int limit)
{
    QStringList paths;
    if (const Outcome refusal = prepare({path}, paths, "log"); !refusal.ok)
        return withValue<QList<LogEntry>>(refusal);
    QList<LogEntry> entries;
    const Outcome outcome = outcomeOf(m_provider->log(paths.first(), limit, entries));
    return withValue(outcome, entries);
}

Result<QList<AnnotatedLine>> SessionWorker::annotate(const QString& path, const QString& revision)
{
    QStringList paths;
    if (const Outcome refusal = prepare({path}, paths, "blame"); !refusal.ok)
        return withValue<QList<AnnotatedLine>>(refusal);
    QList<AnnotatedLine> lines;
    const Outcome outcome = outcomeOf(m_provider->annotate(paths.first(), revision, lines));
    return withValue(outcome, lines);
}

Result<QByteArray> SessionWorker::diff(const QString& path, const QString& from, const QString& to)
{
    QStringList paths;
    if (const Outcome refusal = prepare({path}, paths, "diff"); !refusal.ok)
        return withValue<QByteArray>(refusal);
    QByteArray unified;
    const Outcome outcome = outcomeOf(m_provider->diff(paths.first(), from, to, unified));
    return withValue(outcome, unified);
}

Result<QList<Change>> SessionWorker::changes(const QString& folder)
{
    QStringList paths;
    if (const Outcome refusal = prepare({folder}, paths, "status"); !refusal.ok)
        return withValue<QList<Change>>(refusal);
    QList<Change> changes;
    const Outcome outcome = outcomeOf(m_provider->changes(paths.first(), changes));
    return withValue(outcome, changes);
}

Outcome SessionWorker::cleanup(const QString& folder)
{
    QStringList paths;
    if (const Outcome refusal = prepare({folder}, paths, "cleanup"); !refusal.ok)
        return refusal;
    const Outcome outcome = outcomeOf(m_provider->cleanup(paths.first()));
    afterChange(paths);
    return outcome;
}

Result<QList<ItemInfo>> SessionWorker::info(const QStringList& paths)
{
    QStringList relativePaths;
    if (const Outcome refusal = prepare3(paths, relativePaths, "info"); !refusal.ok)
        return withValue<QList<ItemInfo>>(refusal);
    QList<ItemInfo> infos;
    const Outcome outcome = outcomeOf(m_provider3->info(relativePaths, infos));
    return withValue(outcome, infos);
}

Result<QString> SessionWorker::copy(const QString& fromRepositoryPath, const QString& revision,
                                    const QString& toRepositoryPath, const QString& message)
{
    QStringList none;
    if (const Outcome refusal = prepare3({}, none, "copy"); !refusal.ok)
        return withValue<QString>(refusal);
    QString newRevision;
    const Outcome outcome =
        outcomeOf(m_provider3->copy(fromRepositoryPath, revision, toRepositoryPath, message, newRevision));
    return withValue(outcome, newRevision);
}

Result<QStringList> SessionWorker::switchTo(const QString& path, const QString& repositoryPath, const QString& revision)
{
    QStringList paths, conflicted;
    if (const Outcome refusal = prepare3({path}, paths, "switch"); !refusal.ok)
        return withValue<QStringList>(refusal);
    const Outcome outcome = outcomeOf(m_provider3->switchTo(paths.first(), repositoryPath, revision, conflicted));
    afterChange(paths);
    tellBranch();
    return withValue(outcome, conflicted);
}

Result<MergeResult> SessionWorker::merge(const QString& path, const QString& sourceRepositoryPath,
                                         const QStringList& revisions, bool dryRun, bool recordOnly)
{
    QStringList paths;
    if (const Outcome refusal = prepare3({path}, paths, "merge"); !refusal.ok)
        return withValue<MergeResult>(refusal);
    MergeResult merged;
    const Outcome outcome = outcomeOf(m_provider3->merge(paths.first(), sourceRepositoryPath, revisions, dryRun,
                                                         recordOnly, merged.changes, merged.conflicted));
    // A dry run changes nothing to tell.
    if (!dryRun)
        afterChange(paths);
    return withValue(outcome, merged);
}

Result<QStringList> SessionWorker::mergeInfo(const QString& path, const QString& sourceRepositoryPath, bool merged)
{
    QStringList paths, revisions;
    if (const Outcome refusal = prepare3({path}, paths, "mergeinfo"); !refusal.ok)
        return withValue<QStringList>(refusal);
    const Outcome outcome = outcomeOf(m_provider3->mergeInfo(paths.first(), sourceRepositoryPath, merged, revisions));
    return withValue(outcome, revisions);
}

Outcome SessionWorker::lock(const QStringList& paths, const QString& comment, bool steal)
{
    QStringList relativePaths;
    if (const Outcome refusal = prepare3(paths, relativePaths, "lock"); !refusal.ok)
        return refusal;
    const Outcome outcome = outcomeOf(m_provider3->lock(relativePaths, comment, steal));
    afterChange(relativePaths);
    return outcome;
}

Outcome SessionWorker::unlock(const QStringList& paths, bool breakLock)
{
    QStringList relativePaths;
    if (const Outcome refusal = prepare3(paths, relativePaths, "unlock"); !refusal.ok)
        return refusal;
    const Outcome outcome = outcomeOf(m_provider3->unlock(relativePaths, breakLock));
    afterChange(relativePaths);
    return outcome;
}

Outcome SessionWorker::relocate(const QString& newRepositoryRoot)
{
    QStringList none;
    if (const Outcome refusal = prepare3({}, none, "relocate"); !refusal.ok)
        return refusal;
    const Outcome outcome = outcomeOf(m_provider3->relocate(newRepositoryRoot));
    tellBranch();
    return outcome;
}

Result<QList<Property>> SessionWorker::properties(const QString& path)
{
    QStringList paths;
    if (const Outcome refusal = prepare3({path}, paths, "proplist"); !refusal.ok)
        return withValue<QList<Property>>(refusal);
    QList<Property> properties;
    const Outcome outcome = outcomeOf(m_provider3->properties(paths.first(), properties));
    return withValue(outcome, properties);
}

Outcome SessionWorker::setProperty(const QStringList& paths, const QString& name, const QByteArray& value)
{
    QStringList relativePaths;
    if (const Outcome refusal = prepare3(paths, relativePaths, "propset"); !refusal.ok)
        return refusal;
    const Outcome outcome = outcomeOf(m_provider3->setProperty(relativePaths, name, value));
    afterChange(relativePaths);
    return outcome;
}

Outcome SessionWorker::deleteProperty(const QStringList& paths, const QString& name)
{
    QStringList relativePaths;
    if (const Outcome refusal = prepare3(paths, relativePaths, "propdel"); !refusal.ok)
        return refusal;
    const Outcome outcome = outcomeOf(m_provider3->deleteProperty(relativePaths, name));
    afterChange(relativePaths);
    return outcome;
}

Outcome SessionWorker::ignore(const QStringList& paths)
{
    QStringList relativePaths;
    if (const Outcome refusal = prepare3(paths, relativePaths, "propset"); !refusal.ok)
        return refusal;
    const Outcome outcome = outcomeOf(m_provider3->ignore(relativePaths));
    // The plug-in has read the items and their folders again: the folders
    // reported are told with them, with no further run.
    afterChange(relativePaths);
    return outcome;
}

Outcome SessionWorker::setChangelist(const QStringList& paths, const QString& name)
{
    QStringList relativePaths;
    if (const Outcome refusal = prepare3(paths, relativePaths, "changelist"); !refusal.ok)
        return refusal;
    const Outcome outcome = outcomeOf(m_provider3->setChangelist(relativePaths, name));
    afterChange(relativePaths);
    return outcome;
}

Result<QList<LogEntry>> SessionWorker::logRange(const QString& path, const QString& startRevision, int limit,
                                                const QString& search)
{
    QStringList paths;
    if (const Outcome refusal = prepare3({path}, paths, "log"); !refusal.ok)
        return withValue<QList<LogEntry>>(refusal);
    QList<LogEntry> entries;
    const Outcome outcome = outcomeOf(m_provider3->logRange(paths.first(), startRevision, limit, search, entries));
    return withValue(outcome, entries);
}

Result<QList<ItemChange>> SessionWorker::changedBetween(const QString& path, const QString& from, const QString& to)
{
    QStringList paths;
    if (const Outcome refusal = prepare3({path}, paths, "diff"); !refusal.ok)
        return withValue<QList<ItemChange>>(refusal);
    QList<ItemChange> changes;
    const Outcome outcome = outcomeOf(m_provider3->changedBetween(paths.first(), from, to, changes));
    return withValue(outcome, changes);
}

Outcome SessionWorker::setDepth(const QString& folder, Depth depth)
{
    QStringList paths;
    if (const Outcome refusal = prepare3({folder}, paths, "update"); !refusal.ok)
        return refusal;
    const Outcome outcome = outcomeOf(m_provider3->setDepth(paths.first(), depth));
    // The folder and all reported below it: items left or came back.
    afterChange(paths);
    return outcome;
}

Outcome SessionWorker::upgrade()
{
    QStringList none;
    if (const Outcome refusal = prepare3({}, none, "upgrade"); !refusal.ok)
        return refusal;
    const Outcome outcome = outcomeOf(m_provider3->upgrade());
    // Status questions the old format failed are answered now.
    afterChange({QString()});
    tellBranch();
    return outcome;
}

Result<QByteArray> SessionWorker::createPatch(const QStringList& paths)
{
    QStringList relativePaths;
    if (const Outcome refusal = prepare3(paths, relativePaths, "diff"); !refusal.ok)
        return withValue<QByteArray>(refusal);
    QByteArray patch;
    const Outcome outcome = outcomeOf(m_provider3->createPatch(relativePaths, patch));
    return withValue(outcome, patch);
}

Result<QList<ItemChange>> SessionWorker::applyPatch(const QByteArray& patch, int strip, bool dryRun)
{
    QStringList none;
    if (const Outcome refusal = prepare3({}, none, "patch"); !refusal.ok)
        return withValue<QList<ItemChange>>(refusal);
    QList<ItemChange> changes;
    const Outcome outcome = outcomeOf(m_provider3->applyPatch(patch, strip, dryRun, changes));
    // A patch may touch any file of the tree (and add folders): all that
    // was reported is read again. A dry run changes nothing to tell.
    if (!dryRun)
        afterChange({QString()});
    return withValue(outcome, changes);
}

void SessionWorker::reportProgress(void* context, const QString& item, int itemsSoFar)
{
    // Called in this thread, inside the operation: the session gets it queued.
    static_cast<SessionWorker*>(context)->m_shared->tell(
        SessionEvent{SessionEvent::Kind::Progress, {}, item, itemsSoFar, false, {}});
}

std::optional<QString> SessionWorker::relative(const QString& path) const
{
    if (path.isEmpty() || path == QLatin1String("."))
        return QString();
    // What a pass is usually given, taken as it is.
    if (path.at(0) != QLatin1Char('/') && isPlainRelative(path))
        return path;
    if (QDir::isAbsolutePath(path)) {
        const QString clean = QDir::cleanPath(path);
        if (const std::optional<QString> inside = belowRoot(clean))
            return inside;
        // Through a link the root was not given by: the path's folder as
        // the system resolves it (its nearest existing one), the last name
        // kept as it is, so that a versioned link is not followed.
        const qsizetype slash = clean.lastIndexOf(QLatin1Char('/'));
        QString folder = clean.left(std::max<qsizetype>(slash, 1));
        QString rest = slash > 0 ? clean.mid(slash) : QString();
        while (!QFileInfo::exists(folder) && folder.size() > 1) {
            const qsizetype up = folder.lastIndexOf(QLatin1Char('/'));
            rest.prepend(folder.mid(up));
            folder = folder.left(std::max<qsizetype>(up, 1));
        }
        const QString real = QFileInfo(folder).canonicalFilePath();
        if (real.isEmpty() || real + rest == clean)
            return std::nullopt;
        return belowRoot(QDir::cleanPath(real + rest));
    }
    const QString clean = QDir::cleanPath(path);
    if (clean == QLatin1String("."))
        return QString();
    if (clean == QLatin1String("..") || clean.startsWith(QLatin1String("../")))
        return std::nullopt;
    return clean;
}

std::optional<QString> SessionWorker::belowRoot(const QString& clean) const
{
    // The root as the host gave it, or as the system resolves it.
    for (const QString* root : {&m_localRoot, &m_canonicalRoot}) {
        if (root->isEmpty())
            continue;
        if (clean == *root)
            return QString();
        if (clean.startsWith(*root + QLatin1Char('/')))
            return clean.mid(root->size() + 1);
    }
    return std::nullopt;
}

QString SessionWorker::absolute(const QString& path) const
{
    return path.isEmpty() ? m_localRoot : m_localRoot + QLatin1Char('/') + path;
}

Outcome SessionWorker::prepare(const QStringList& paths, QStringList& relativePaths, const char* command) const
{
    if (!m_provider)
        return Outcome{false, QString(), QStringLiteral("the session is not open")};
    if (stopped())
        return Outcome{false, QString(), closing() ? closedOutcome().error : s_cancelled};
    for (const QString& path : paths) {
        const std::optional<QString> inside = relative(path);
        if (!inside)
            return Outcome{false, QLatin1String(command),
                           QStringLiteral("%1 is not below the local root %2").arg(path, m_localRoot)};
        relativePaths << *inside;
    }
    return Outcome{true, QString(), QString()};
}

Outcome SessionWorker::prepare3(const QStringList& paths, QStringList& relativePaths, const char* command) const
{
    const Outcome prepared = prepare(paths, relativePaths, command);
    if (prepared.ok && !m_provider3)
        return Outcome{false, QLatin1String(command),
                       QStringLiteral("%1 needs version 3 of the provider interface, which %2 does not offer")
                           .arg(QLatin1String(command), m_pluginPath)};
    return prepared;
}

void SessionWorker::tellBranch()
{
    // The working copy's own record, read without a client run; the
    // provider's roots when it cannot be read.
    QString branch;
    if (!m_digest || !m_digest->rootRepositoryPath(branch)) {
        QStringList local, repository;
        m_provider->getRoots(local, repository);
        branch = repository.join(QLatin1Char('/'));
    }
    m_shared->tell(SessionEvent{SessionEvent::Kind::Branch, {}, branch, 0, false, {}});
}

Outcome SessionWorker::outcomeOf(bool ok) const
{
    Outcome outcome;
    outcome.ok = ok;
    if (!ok)
        outcome.error = m_provider->getLastError(outcome.command);
    return outcome;
}

Status SessionWorker::readStatus(const QString& path, const QStringList& parts)
{
    const std::optional<QString> inside = relative(path);
    if (!inside)
        return failedStatus(path, QString(), QStringLiteral("%1 is not below the local root %2").arg(path, m_localRoot));
    if (!m_provider)
        return failedStatus(*inside, QString(), QStringLiteral("the session is not open"));
    Status status;
    status.path = *inside;
    status.known = m_provider->status(parts.isEmpty() ? partsOf(status.path) : parts, status.controlled,
                                      status.checkedOut, status.modified, status.outOfDate, status.columns,
                                      status.revision, status.lastChangedRevision);
    if (!status.known) {
        status = failedStatus(*inside, QString(), QString());
        status.error = m_provider->getLastError(status.command);
    }
    return status;
}

Status SessionWorker::reported(const QString& path, const Reported& known) const
{
    if (known.flags & Reported::Unusual)
        return m_unusual.value(path);
    Status status;
    status.path = path;
    status.known = known.flags & Reported::Known;
    status.controlled = known.flags & Reported::Controlled;
    status.checkedOut = known.flags & Reported::CheckedOut;
    status.modified = known.flags & Reported::Modified;
    status.outOfDate = known.flags & Reported::OutOfDate;
    if (known.flags & Reported::HasColumns)
        status.columns = QString::fromLatin1(known.columns, sizeof known.columns);
    if (known.revision >= 0)
        status.revision = QString::number(known.revision);
    if (known.lastChangedRevision >= 0)
        status.lastChangedRevision = QString::number(known.lastChangedRevision);
    return status;
}

void SessionWorker::keep(const Status& status)
{
    // A revision as a number when the number gives back the same text:
    // digits alone, no leading zero, short enough not to overflow.
    const auto number = [](const QString& text, qint64& value) {
        if (text.isEmpty())
            return true;
        if (text.size() > 18 || (text.size() > 1 && text.at(0) == QLatin1Char('0')))
            return false;
        value = 0;
        for (const QChar c : text) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return false;
            value = value * 10 + (c.unicode() - u'0');
        }
        return true;
    };
    Reported known;
    bool fits = status.known && status.command.isEmpty() && status.error.isEmpty()
        && (status.columns.isEmpty() || status.columns.size() == qsizetype(sizeof known.columns))
        && number(status.revision, known.revision) && number(status.lastChangedRevision, known.lastChangedRevision);
    for (qsizetype i = 0; fits && i < status.columns.size(); ++i) {
        const char16_t c = status.columns.at(i).unicode();
        fits = c > 0 && c < 0x80;
        known.columns[i] = char(c);
    }
    if (!m_unusual.isEmpty())
        m_unusual.remove(status.path);
    if (!fits) {
        known = Reported();
        known.flags = Reported::Unusual;
        m_unusual.insert(status.path, status);
    } else {
        known.flags = quint8((status.known ? Reported::Known : 0) | (status.controlled ? Reported::Controlled : 0)
                             | (status.checkedOut ? Reported::CheckedOut : 0)
                             | (status.modified ? Reported::Modified : 0)
                             | (status.outOfDate ? Reported::OutOfDate : 0)
                             | (status.columns.isEmpty() ? 0 : Reported::HasColumns));
    }
    m_known.insert(status.path, known);
}

void SessionWorker::publish(const Status& status, bool tellNew)
{
    const auto known = m_known.constFind(status.path);
    if (known == m_known.cend()) {
        keep(status);
        // A pass gives the items of a folder together: its folder is
        // inserted once.
        if (!status.path.isEmpty()) {
            const qsizetype slash = status.path.lastIndexOf(QLatin1Char('/'));
            const QStringView folder = slash < 0 ? QStringView() : QStringView(status.path).left(slash);
            if (m_foldersRead.isEmpty() || folder != m_lastFolderRead) {
                m_lastFolderRead = folder.toString();
                m_foldersRead.insert(m_lastFolderRead);
            }
        }
        if (tellNew)
            m_shared->tell(SessionEvent{SessionEvent::Kind::StatusChanged, status, {}, 0, false, {}});
        return;
    }
    if (reported(known.key(), *known) == status)
        return;
    keep(status);
    m_shared->tell(SessionEvent{SessionEvent::Kind::StatusChanged, status, {}, 0, false, {}});
}

void SessionWorker::finish(QFutureInterface<Status>& results, const QList<QList<Status>>& given)
{
    // What changed of a path reported before is told before the future
    // ends; remembering the new paths and watching them tells nothing, so
    // it comes after.
    if (!m_known.isEmpty())
        for (const QList<Status>& batch : given)
            for (const Status& status : batch)
                if (m_known.contains(status.path)
                    && (status.known || (!status.command.isEmpty() && status.error != s_cancelled)))
                    publish(status, false);
    takeOffline();
    results.reportFinished();
}

void SessionWorker::remember(const QList<QList<Status>>& given, const QByteArray& kinds)
{
    QStringList folders, files, unseen;
    qsizetype i = -1;
    for (const QList<Status>& batch : given)
        for (const Status& status : batch) {
            ++i;
            // A path never read (cancelled, refused) is not remembered.
            if (!status.known && (status.command.isEmpty() || status.error == s_cancelled))
                continue;
            publish(status, false);
            if (!isVersioned(status)) {
                note(status.path); // only its coming and going will count
                continue;
            }
            const char kind = i < kinds.size() ? kinds.at(i) : 0;
            (kind == 'd' ? folders : kind == 'f' ? files : unseen) << status.path;
        }
    watchKinds(std::move(folders), files, unseen);
}

void SessionWorker::watchVersioned(const QStringList& paths)
{
    watchKinds({}, {}, paths);
}

void SessionWorker::watchKinds(QStringList folders, const QStringList& files, const QStringList& paths)
{
    if (!m_watch || (folders.isEmpty() && files.isEmpty() && paths.isEmpty()))
        return;
    // A folder is watched, a file through its folder's watch. The stamp is
    // not noted here: the status may have come from the plug-in's cache,
    // older than what is on disk now, and a change would then go unseen.
    QStringList known = files;
    for (const QString& path : paths) {
        const FileStamp stamp = FileStamp::of(absolute(path));
        if (stamp.directory)
            folders << path;
        else if (stamp.exists)
            known << path;
    }
    // The folders that hold them; a walk gives a folder's items together.
    QSet<QString> parents;
    QString last;
    bool any = false;
    const auto holder = [&](const QString& path) {
        if (path.isEmpty())
            return;
        const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
        const QStringView parent = slash < 0 ? QStringView() : QStringView(path).left(slash);
        if (any && parent == last)
            return;
        any = true;
        last = parent.toString();
        parents.insert(last);
    };
    for (const QStringList* list : {&std::as_const(folders), &files, &paths})
        for (const QString& path : *list)
            holder(path);
    for (const QString& parent : std::as_const(parents))
        folders << parent;
    m_watch->watch(folders, known);
}

void SessionWorker::coverageChanged(const SessionWatch::Coverage& coverage)
{
    // The reason goes into the command log before the count changes, so a
    // host that sees the count finds the reason already logged.
    const bool none = coverage.unwatched > 0 && coverage.watched == 0;
    const int state = coverage.unwatched == 0 ? 0 : none ? 2 : 1;
    if (state != std::exchange(m_unwatchedState, state)) {
        if (state == 0)
            logLine(this, QStringLiteral("every folder is watched"));
        else
            logLine(this, QStringLiteral("%1 folders are not watched: %2; they are polled every %3 s")
                              .arg(coverage.unwatched)
                              .arg(coverage.reason)
                              .arg(m_settings.pollIntervalMs / 1000.0));
    }
    m_shared->tell(SessionEvent{SessionEvent::Kind::Watching, {}, {}, coverage.unwatched, none, {}});
}

void SessionWorker::catchUp(const QStringList& named, bool everything)
{
    // What the watch has seen and not yet handed over is read before an
    // answer, and what it polls of the paths asked for is looked at first.
    if (!m_watch)
        return;
    QStringList polled;
    if (!everything && !named.isEmpty() && m_watch->polls())
        for (const QString& path : named)
            if (const std::optional<QString> inside = relative(path))
                polled << *inside;
    bool database = false;
    QStringList seen = m_watch->takeSeen(database, polled, everything);
    {
        const std::lock_guard<std::mutex> lock(m_handedMutex);
        for (const QString& path : std::as_const(m_handed))
            seen << path;
        m_handed.clear();
        database = database || std::exchange(m_handedDatabase, false);
    }
    if (!seen.isEmpty() || database)
        reread(seen, database);
}

void SessionWorker::note(const QString& path)
{
    m_noted.insert(path, FileStamp::of(absolute(path)));
}

bool SessionWorker::changedSinceNoted(const QString& path)
{
    const FileStamp now = FileStamp::of(absolute(path));
    const auto noted = m_noted.find(path);
    if (noted != m_noted.end() && *noted == now)
        return false;
    m_noted.insert(path, now);
    return true;
}

void SessionWorker::afterChange(const QStringList& named)
{
    if (closing())
        return;
    const QSet<QString> namedSet(named.begin(), named.end());
    QSet<QString> targets;
    // A named path is read when it was reported, or when its folder was: the
    // plug-in has that folder cached, so the read runs nothing.
    for (const QString& path : named) {
        if (m_known.contains(path) || m_foldersRead.contains(parentOf(path)))
            targets.insert(path);
        // The folders above it that were reported: an addition schedules
        // them too, a move or removal may change what they hold.
        for (QString folder = path; !folder.isEmpty();) {
            folder = parentOf(folder);
            if (m_known.contains(folder))
                targets.insert(folder);
        }
    }
    const bool everything = namedSet.contains(QString());
    for (auto known = m_known.cbegin(); known != m_known.cend(); ++known) {
        for (QString path = known.key(); !everything; path = parentOf(path)) {
            if (namedSet.contains(path)) {
                targets.insert(known.key());
                break;
            }
            if (path.isEmpty())
                break;
        }
        if (everything)
            targets.insert(known.key());
    }
    QStringList versioned;
    for (const QString& path : std::as_const(targets)) {
        note(path);
        const Status status = readStatus(path);
        publish(status, namedSet.contains(path));
        if (isVersioned(status))
            versioned << path;
    }
    watchVersioned(versioned);
    // What the databases say changed meanwhile, by this operation or by
    // another client while it ran, beyond what was just read.
    rereadChangedByOthers(targets, true);
}

void SessionWorker::reread(QStringList paths, bool database)
{
    if (!m_provider || closing())
        return;
    std::sort(paths.begin(), paths.end());
    QStringList changed;
    for (const QString& path : std::as_const(paths)) {
        // What the session reported costs a client run when it looks otherwise
        // than when it was read (not after this session's own change); an item
        // not versioned only when it appeared or vanished. A name new in a
        // folder the session read is read and told.
        const auto known = m_known.constFind(path);
        if (known == m_known.cend()) {
            if (m_foldersRead.contains(parentOf(path)) && FileStamp::of(absolute(path)).exists)
                changed << path;
            continue;
        }
        const bool existed = m_noted.value(path).exists;
        if (changedSinceNoted(path) && (isVersioned(reported(path, *known)) || m_noted.value(path).exists != existed))
            changed << path;
    }
    readAgain(changed);
    if (database)
        rereadChangedByOthers({}, false);
}

void SessionWorker::rereadChangedByOthers(const QSet<QString>& read, bool ownChange)
{
    if (m_database.isEmpty())
        return;
    WorkingCopyDigest::Changes changes;
    if (m_digest && m_digest->stale() && m_digest->read(changes)) {
        m_databaseNoted = FileStamp::of(m_database);
        for (const QString& database : m_digest->databases())
            m_watch->watchDatabase(database);
        // The reported paths whose rows changed, and paths new to the
        // database in a folder the session read.
        QStringList differing;
        if (!changes.paths.isEmpty())
            for (auto known = m_known.cbegin(); known != m_known.cend(); ++known)
                if (!read.contains(known.key()) && changes.paths.contains(WorkingCopyDigest::hashOf(known.key())))
                    differing << known.key();
        for (const QString& path : std::as_const(changes.appeared))
            if (!path.isEmpty() && !m_known.contains(path) && !read.contains(path)
                && m_foldersRead.contains(parentOf(path)))
                differing << path;
        std::sort(differing.begin(), differing.end());
        readAgain(differing);
        return;
    }
    if (m_digest && !m_digest->stale())
        return;
    // The database cannot be read: after this session's own change its
    // stamp is taken as it is; another client's change costs one local
    // run, and each reported path it shows otherwise is read again.
    const FileStamp now = FileStamp::of(m_database);
    const bool news = now != m_databaseNoted;
    m_databaseNoted = now;
    if (ownChange || !news)
        return;
    QList<Change> listed;
    if (!m_provider->changes(QString(), listed))
        return;
    QHash<QString, QString> columns;
    for (const Change& change : std::as_const(listed))
        columns.insert(change.path, SourceCodeControl::StatusColumns::withoutServersLock(change.statusColumns));
    QStringList differing;
    for (auto known = m_known.cbegin(); known != m_known.cend(); ++known)
        if (const Status status = reported(known.key(), *known);
            status.known && columns.value(known.key()) != SourceCodeControl::StatusColumns::withoutServersLock(status.columns))
            differing << known.key();
    std::sort(differing.begin(), differing.end());
    readAgain(differing);
}

void SessionWorker::readAgain(const QStringList& paths)
{
    if (paths.isEmpty())
        return;
    if (paths.size() <= s_fewPaths) {
        for (const QString& path : paths) {
            note(path);
            m_provider->saved(partsOf(path));
        }
    } else {
        // Many at once (a formatter, another tool's checkout): one run of the
        // folder that holds them all, and each answered from what it read.
        QString common = parentOf(paths.first());
        for (const QString& path : paths) {
            while (!common.isEmpty() && path != common && !path.startsWith(common + QLatin1Char('/')))
                common = parentOf(common);
            note(path);
        }
        m_provider->saved(partsOf(common));
    }
    QStringList versioned;
    for (const QString& path : paths) {
        const Status status = readStatus(path);
        publish(status, true);
        if (isVersioned(status))
            versioned << path;
    }
    watchVersioned(versioned);
}

void SessionWorker::takeOffline()
{
    // The plug-in keeps whether a repository could not be reached.
    if (m_provider3)
        setOffline(m_provider3->isOffline());
}

void SessionWorker::setOffline(bool offline)
{
    if (offline == m_offline)
        return;
    m_offline = offline;
    m_shared->tell(SessionEvent{SessionEvent::Kind::Offline, {}, {}, 0, offline, {}});
}

} // namespace SvnScc
