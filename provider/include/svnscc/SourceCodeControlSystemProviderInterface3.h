#pragma once

/**
 * @file
 * Version 3 of the contract between an IDE and the Subversion provider
 * plug-in: the server's and ssh's questions answered through the IDE
 * (credentials, certificates, ssh's host keys and passphrases), the
 * provider's own news (offline, the command log), branches and merges,
 * properties, changelists, history paging, depth, upgrade and patches.
 *
 * A host gets a version-3 provider from the optional entry point
 * AllocateSourceCodeControlSystemInterface3() (look it up with dlsym(); a
 * plug-in without it offers version 2 at most) and hands it back to the same
 * ReleaseSourceCodeControlSystemInterface(). The object is also a
 * version-2 and a version-1 provider: their slots come first, and
 * everything said there holds here too.
 */

#include <svnscc/SourceCodeControlSystemProviderInterface2.h>

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

namespace SourceCodeControl {

/** A server asked who the user is. */
struct CredentialsRequest {
    /** The client's realm: "<svn://host:3690> 3f0c…", "<https://host:443> Company". */
    QString realm;
    /** The user name tried last (login()'s or the previous answer's); "" when none. */
    QString user;
    /** 1 for an operation's first question, 2 after the first answer was refused, and so on up to 3. */
    int attempt = 1;
};

/** The host's answer to a CredentialsRequest. */
struct Credentials {
    /** False: declined; the operation fails with the server's refusal. */
    bool given = false;
    QString user;
    QString password;
    /**
     * Let the client keep them as the user's Subversion set-up allows (a
     * keyring; plain text only where the user allowed it; else the user name
     * alone), so a new provider and the client in a terminal find them.
     * False: nothing is stored.
     */
    bool remember = false;
};

/** Why the client does not trust a server's certificate (bits of ServerCertificate::failures). */
enum CertificateFailure : unsigned {  // the client's own values, as it stores them
    NotYetValid = 1,       ///< --trust-server-cert-failures=not-yet-valid
    Expired = 2,           ///< expired
    NameMismatch = 4,      ///< cn-mismatch
    UnknownAuthority = 8,  ///< unknown-ca
    OtherFailure = 16      ///< other
};

/** A server certificate the client does not trust, as the client describes it. */
struct ServerCertificate {
    QString realm;        ///< "https://host:443"
    QString hostname;     ///< the name the certificate was issued for
    QString issuer;       ///< as the client prints it
    QString validFrom;    ///< as the client prints it
    QString validUntil;   ///< as the client prints it
    QString fingerprint;  ///< SHA-1, "AB:CD:…", as the client prints it
    unsigned failures = 0; ///< CertificateFailure bits
};

/** The host's answer to a ServerCertificate. */
enum class Trust {
    Reject, ///< the operation fails with the client's error; the next operation asks again
    Once,   ///< trusted for this provider's life, nothing stored
    Always  ///< stored as the client stores it, so new providers and the client in a terminal trust it too
};

/** A question ssh asks while a svn+ssh:// operation runs. */
struct SshQuestion {
    QString host;         ///< as the URL names it
    QString prompt;       ///< ssh's own words
    bool secret = false;  ///< a passphrase or password (show dots), not a yes/no question
};

/**
 * The host's side of every question a server or ssh asks while an
 * operation runs. Each call is made on the operation's own thread, one at a
 * time, and may take as long as the user does (the time limit on silence
 * does not run meanwhile). A call must not call into the provider.
 */
class SourceCodeControlSystemPromptHandler
{
public:
    virtual Credentials credentials(const CredentialsRequest& request) = 0;
    virtual Trust trustServer(const ServerCertificate& certificate) = 0;
    /** False: declined; else @p answer goes to ssh as typed. */
    virtual bool answerSsh(const SshQuestion& question, QString& answer) = 0;

protected:
    ~SourceCodeControlSystemPromptHandler() = default;
};

/** A conflict recorded on an item (svn info --xml, <conflict>). */
struct ConflictInfo {
    QString kind;         ///< "text", "property" or "tree"
    QString baseFile;     ///< text: the common ancestor's file, relative to the local root
    QString theirsFile;   ///< text: the incoming text's file
    QString mineFile;     ///< text: the local text's file
    QString rejectFile;   ///< property: the .prej file
    QString description;  ///< tree: the client's words
};

/** What the working copy records of one item (svn info --xml), read with no server. */
struct ItemInfo {
    QString path;            ///< relative to the local root ("" is the root)
    QString kind;            ///< "file" or "dir"
    QString url;
    QString repositoryPath;  ///< the URL relative to the repository root: "branches/b1/src/a.c"
    QString repositoryRoot;  ///< URL
    QString repositoryUuid;
    QString revision;        ///< the working revision ("" for an item scheduled for addition)
    QString lastChangedRevision;
    QString lastChangedAuthor;
    QDateTime lastChangedDate;  ///< UTC
    QString schedule;        ///< "normal", "add", "delete" or "replace"
    QString depth;           ///< folders: "infinity", "immediates", "files", "empty"
    QString changelist;      ///< "" when in none
    QString movedFrom;       ///< an item moved here: where it came from, relative to the local root
    QString movedTo;         ///< an item moved away: where it went, relative to the local root
    QString lockOwner;       ///< "" when this working copy holds no lock on it
    QString lockComment;
    QList<ConflictInfo> conflicts;  ///< empty when not in conflict
};

/** One item an operation touched or would touch, with the client's action letters. */
struct ItemChange {
    QString path;    ///< relative to the local root (to the compared path for changedBetween)
    QString action;  ///< the client's columns before the path, as printed: "U   ", " U  ", "C   ", "A   ", "D   ", "G   ", "M   "
};

/** One property of an item. */
struct Property {
    QString name;
    QByteArray value;  ///< exactly as stored
};

/** How much of a folder a working copy holds. */
enum class Depth { Empty, Files, Immediates, Infinity, Exclude };

} // namespace SourceCodeControl

/**
 * Version 3 of the provider interface. Paths follow version 2's rules.
 */
class SourceCodeControlSystemProviderInterface3 : public SourceCodeControlSystemProviderInterface2
{
public:
    // --- the server's questions, and the provider's own news

    /**
     * Who answers the questions of servers and ssh from now on; null (the
     * default) answers none: every operation then runs without asking
     * anything and fails fast with the client's error, as in version 2.
     *
     * With a handler, an operation the server refuses for want of (or for
     * wrong) credentials asks credentials() and runs again with the answer,
     * up to 3 attempts; accepted credentials are used for the rest of the
     * provider's life, as login()'s are, and the password never appears in
     * an argument vector or the command log. An operation that fails because
     * the client does not trust a server's certificate asks trustServer()
     * once per server and provider (again after a Reject). Over svn+ssh,
     * ssh's own questions go to answerSsh() while the client runs (through
     * svnscc-askpass, installed beside the plug-in); without a handler ssh
     * runs in batch mode (SVN_SSH gets "-o BatchMode=yes"), so it neither
     * asks nor tries a password. A cancel while the handler is asked ends
     * the operation as soon as it returns, its answer unused. The handler
     * must outlive the provider, or be replaced first.
     */
    virtual void setPromptHandler(SourceCodeControl::SourceCodeControlSystemPromptHandler* handler) = 0;
    /**
     * Removes the user names and passwords the client stored for exactly
     * @p realm (not the certificate trust of that server); "" removes every
     * stored user name and password. True also when nothing was stored.
     */
    virtual bool forgetCredentials(const QString& realm) = 0;
    /**
     * Whether a repository could not be reached, so status comes from the
     * working copy alone (until refresh() or an operation that reaches it).
     */
    virtual bool isOffline() = 0;
    /** A command-log handler, as setCommandLogHandler() takes it. */
    using CommandLogHandler = void (*)(void* context, const QString& line);
    /**
     * Every command-log line (each client run and each decision the
     * provider takes about one; passwords shown as "******") goes to
     * @p handler, on the operation's own thread. Null stops the calls. The
     * handler must not call into the provider.
     */
    virtual void setCommandLogHandler(CommandLogHandler handler, void* context) = 0;

    // --- branches and merges

    virtual bool info(const QStringList& paths, QList<SourceCodeControl::ItemInfo>& infos) = 0;
    virtual bool copy(const QString& fromRepositoryPath, const QString& revision, const QString& toRepositoryPath,
                      const QString& message, QString& newRevision) = 0;
    virtual bool switchTo(const QString& path, const QString& repositoryPath, const QString& revision,
                          QStringList& conflicted) = 0;
    virtual bool merge(const QString& path, const QString& sourceRepositoryPath, const QStringList& revisions,
                       bool dryRun, bool recordOnly, QList<SourceCodeControl::ItemChange>& changes,
                       QStringList& conflicted) = 0;
    virtual bool mergeInfo(const QString& path, const QString& sourceRepositoryPath, bool merged,
                           QStringList& revisions) = 0;
    virtual bool lock(const QStringList& paths, const QString& comment, bool steal) = 0;
    virtual bool unlock(const QStringList& paths, bool breakLock) = 0;
    virtual bool relocate(const QString& newRepositoryRoot) = 0;

    // --- properties, changelists, history, depth, patches

    /**
     * Every property of @p path with its value exactly as stored (binary
     * values too), read from the working copy alone, sorted by name.
     * @p properties is replaced; unchanged on failure.
     */
    virtual bool properties(const QString& path, QList<SourceCodeControl::Property>& properties) = 0;
    /**
     * Sets property @p name to @p value on each of @p paths in one run, the
     * value passed through a private file, never forced. Values of
     * properties outside "svn:" are stored byte for byte; the client
     * normalises "svn:" values (line ends to LF; they must be UTF-8), and
     * properties() then gives what it stored. A warning the client only
     * prints (a binary svn:mime-type on a text file) is no failure.
     * @return false with the client's error for a value it refuses (a bad
     *         svn:eol-style: nothing set), or when some target failed (the
     *         others may hold the value; every path is read again).
     */
    virtual bool setProperty(const QStringList& paths, const QString& name, const QByteArray& value) = 0;
    /** Deletes property @p name from each of @p paths in one run; a property that is not set is no failure. */
    virtual bool deleteProperty(const QStringList& paths, const QString& name) = 0;
    /**
     * Adds the name of each of @p paths to the svn:ignore property of its
     * folder, keeping the patterns there, each name once, the folder's other
     * properties untouched; one read and one write per folder. A name
     * holding "[", "]", "*", "?" or "\" is written escaped ("x\[1\].tmp"),
     * so that the line hides that name alone. Afterwards status() answers
     * each path as an ignored file (true, not controlled, empty columns)
     * and each folder written with its property change (" M", the local
     * root too), all read in one local status run after the writes.
     * @return false, nothing written, when a path is under version control
     *         (or is the local root).
     */
    virtual bool ignore(const QStringList& paths) = 0;
    /**
     * Puts the files @p paths into the changelist @p name in one run, or
     * takes them out of theirs for "" (info() shows it).
     * @return false, running nothing, when a path is a folder (the client
     *         would only skip it).
     */
    virtual bool setChangelist(const QStringList& paths, const QString& name) = 0;
    /**
     * Like log(), but from @p startRevision (a number, or "" or "HEAD" for
     * the newest) going back, at most @p limit entries (0: all). With
     * @p search not empty, only the revisions the client's search matches
     * (a glob over author, date, message and changed paths, ignoring case),
     * up to @p limit matches (not up to @p limit revisions searched). Paging:
     * calling again from the revision below the last entry gives the next
     * page, no entry twice and none skipped. @p entries is replaced.
     */
    virtual bool logRange(const QString& path, const QString& startRevision, int limit, const QString& search,
                          QList<SourceCodeControl::LogEntry>& entries) = 0;
    /**
     * What changed in the repository below @p path between its revisions
     * @p from and @p to ("" is HEAD), asked of the server, so the revisions
     * need not be in the working copy: each item relative to @p path ("" is
     * @p path itself), sorted by path, its action as letters with trailing
     * blanks removed: "A", "D", "M", " M" (properties only), "MM".
     * @p changes is replaced.
     */
    virtual bool changedBetween(const QString& path, const QString& from, const QString& to,
                                QList<SourceCodeControl::ItemChange>& changes) = 0;
    /**
     * Makes the folder @p path sparse or full in one run; Exclude takes it
     * out of the working copy. The status cache follows.
     * @return false, nothing changed and no lock left, when the folder
     *         holds modified or unversioned items (as a fresh local read
     *         finds them) and @p depth is not Infinity; false with the
     *         client's error otherwise (Exclude of the local root).
     */
    virtual bool setDepth(const QString& path, SourceCodeControl::Depth depth) = 0;
    /**
     * Brings the working copy of an older format to the client's format in
     * one run; a current one is no failure. setRoots() with one list binds
     * a working copy the client calls too old (E155036) so that this can
     * reach it; until then status questions fail with the client's words.
     */
    virtual bool upgrade() = 0;
    /**
     * The local changes of @p paths as a patch in git's format, as the
     * client writes it: text, added, deleted and copied files (copies as
     * additions), binary files and property changes, with the client's
     * repository-relative names. applyPatch() with strip -1 applies it.
     */
    virtual bool createPatch(const QStringList& paths, QByteArray& patch) = 0;
    /**
     * Applies @p patch (through a private file) with @p strip leading name
     * components removed (-1: worked out from the names, as for
     * createPatch()'s patches); @p dryRun changes nothing. @p changes gets
     * the client's item lines (a rejected hunk as "C", an item not patched
     * as "Skipped"). An unversioned item where the patch adds a file is
     * moved aside while it applies: what the patch made of it with the same
     * bytes is kept, anything else is put back as it was and that item is
     * refused. A folder the client deletes because the patch emptied it is
     * brought back (patches name files only).
     * @return false with the client's words when a hunk was rejected (a
     *         FILE.svnpatch.rej is left) or an item was skipped or refused.
     */
    virtual bool applyPatch(const QByteArray& patch, int strip, bool dryRun,
                            QList<SourceCodeControl::ItemChange>& changes) = 0;

protected:
    ~SourceCodeControlSystemProviderInterface3() = default;
};

extern "C" {
/** Optional: a new version-3 provider, or null. Release it with ReleaseSourceCodeControlSystemInterface(). */
SourceCodeControlSystemProviderInterface3* AllocateSourceCodeControlSystemInterface3();
}

/** The function type of AllocateSourceCodeControlSystemInterface3, for dlsym(). */
using AllocateSourceCodeControlSystemInterface3Fn = SourceCodeControlSystemProviderInterface3* (*)();
