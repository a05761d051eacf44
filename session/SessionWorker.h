#pragma once

#include "SessionPlugin.h"
#include "SessionTypes.h"

#include <QFutureInterface>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

namespace SvnScc {

class SessionWatch;

/** What a session and its worker share across their threads. */
struct SessionShared
{
    /** The plug-in; its cancel() is safe from any thread and outlives the session while a canceller is kept. */
    const std::shared_ptr<SessionPlugin> plugin = std::make_shared<SessionPlugin>();
    /** The session is being destroyed: queued calls are refused, the running one stops at its next step. */
    std::atomic<bool> closing{false};
    /** A cancel() came while the running call ran; cleared when the next call starts. */
    std::atomic<bool> cancelled{false};
    /** Calls queued or running. */
    std::atomic<int> pending{0};
};

/**
 * A session's worker: lives in the session's thread of its own, owns the
 * provider and makes every call into it, one at a time, in the order
 * post() queued them. It keeps what the session reported of each path,
 * tells differences with statusChanged(), and watches what it reported
 * (SessionWatch), queuing a re-read of what changed on disk.
 *
 * Every function but post(), closing() and logged() runs in the worker's
 * thread. Paths are as Session takes them (relative to the local root or
 * absolute below it); a path elsewhere is refused, running nothing.
 */
class SessionWorker : public QObject
{
    Q_OBJECT

public:
    SessionWorker(std::shared_ptr<SessionShared> shared, const QString& pluginPath);
    ~SessionWorker() override;

    /** Thread-safe: queues @p call behind every call queued before it. */
    void post(std::function<void()> call);
    /** Whether the session is being destroyed: a queued call then gives closedOutcome(). */
    bool closing() const { return m_shared->closing; }
    /** What a call refused because the session is being destroyed gives. */
    static Outcome closedOutcome();

    /** One line of the command log, logged in this thread (from SessionLog). */
    void logged(const QString& line);
    /** Hands the provider back and stops watching; the last call. */
    void shutdown();

    Result<QString> open(const QString& localRoot, const SessionSettings& settings, const QString& repositoryPath);
    Outcome login(const QString& user, const QString& password);
    Outcome logout();
    Outcome refresh();
    /** Gives one Status per path into @p results and finishes it, then watches what it read. */
    void status(const QStringList& paths, QFutureInterface<Status> results);
    /** The walk of Session::statusTree() into @p results, which it finishes. */
    void statusTree(const QString& folder, QFutureInterface<Status> results);
    Outcome saved(const QStringList& paths);

    Outcome addFile(const QString& path, const QString& comment);
    Outcome getFile(const QString& path, bool keepLocal);
    Outcome getTo(const QString& path, const QString& revision, const QString& destination);
    Outcome checkout(const QString& path, const QString& comment, bool replaceLocal);
    Outcome undoCheckout(const QString& path, bool discardChanges);
    Outcome checkin(const QString& path, const QString& comment);
    Result<QStringList> listDirectories(const QString& repositoryPath);
    Result<QStringList> listFiles(const QString& repositoryPath);
    Outcome createDirectory(const QString& repositoryParent, const QString& name);

    Outcome add(const QStringList& paths);
    Result<QString> commit(const QStringList& paths, const QString& message);
    Outcome revert(const QStringList& paths, bool recursive);
    Outcome remove(const QStringList& paths, bool keepLocal);
    Outcome move(const QString& from, const QString& to);
    Result<QStringList> update(const QStringList& paths, const QString& revision);
    Outcome resolve(const QString& path, Resolution choice);
    Result<QList<LogEntry>> log(const QString& path, int limit);
    Result<QList<AnnotatedLine>> annotate(const QString& path, const QString& revision);
    Result<QByteArray> diff(const QString& path, const QString& from, const QString& to);
    Result<QList<Change>> changes(const QString& folder);
    Outcome cleanup(const QString& folder);

signals:
    void statusChanged(const SvnScc::Status& status);
    void progressed(const QString& item, int itemsSoFar);
    void commandLogged(const QString& line);
    void offlineChanged(bool offline);
    /** A call was queued or ended: SessionShared::pending changed. */
    void callsChanged();

private:
    static void reportProgress(void* context, const QString& item, int itemsSoFar);

    Result<QString> bind(const QString& localRoot, const SessionSettings& settings, const QString& repositoryPath);
    bool stopped() const { return m_shared->closing || m_shared->cancelled; }
    std::optional<QString> relative(const QString& path) const;
    QString absolute(const QString& path) const;
    Outcome prepare(const QStringList& paths, QStringList& relativePaths, const char* command) const;
    Outcome outcomeOf(bool ok) const;
    Status readStatus(const QString& path);
    bool walk(const QString& folder, const std::function<void(const Status&)>& give);
    void publish(const Status& status, bool tellNew);
    void remember(const QList<Status>& statuses);
    void afterChange(const QStringList& named);
    void reread(QStringList paths, bool database);
    void rereadChangedByOthers();
    void readAgain(const QString& path);
    void setOffline(bool offline);

    const std::shared_ptr<SessionShared> m_shared;
    const QString m_pluginPath;
    SourceCodeControlSystemProviderInterface2* m_provider = nullptr;
    QString m_localRoot;
    SessionSettings m_settings;
    QHash<QString, Status> m_known; // every path reported, as last reported
    QSet<QString> m_foldersRead;    // the folders of those paths
    SessionWatch* m_watch = nullptr;
    bool m_offline = false;
};

} // namespace SvnScc
