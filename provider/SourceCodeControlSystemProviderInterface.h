#pragma once

#include <QString>
#include <QStringList>

/** The keys of the host options that setOption() takes, compared exactly. */
namespace SourceCodeControlOption {
/** The svn client to run: a path, or a name looked up along PATH. */
inline constexpr char Executable[] = "Environment/Source Code Control/SVNExecutable";
/** The repository URL. */
inline constexpr char RepositoryURL[] = "Environment/Source Code Control/SVNRepositoryURL";
/** "Yes" (exactly) offers check-out (locking); any other value turns it off. */
inline constexpr char LockSupported[] = "Environment/Source Code Control/SVNLockSupported";
/**
 * "Yes" (exactly): the password reaches the client on its standard input
 * ("--password-from-stdin") instead of as a command-line argument, which any
 * local user can read while the client runs. Unset or any other value: as an
 * argument.
 */
inline constexpr char PasswordFromStdin[] = "Environment/Source Code Control/SVNPasswordFromStdin";
/**
 * Whole seconds a client run may take; unset or 0: no limit. A run still
 * going then is ended (with whatever it started) and its operation fails.
 */
inline constexpr char Timeout[] = "Environment/Source Code Control/SVNTimeout";
} // namespace SourceCodeControlOption

/**
 * The source-code-control provider as the host sees it.
 *
 * The host obtains one provider from AllocateSourceCodeControlSystemInterface()
 * and calls it only through this class, so the order and the signatures of the
 * 24 operations below form a binary interface: never reorder, insert or change
 * them. There is deliberately no virtual destructor (it would add a slot); the
 * host hands the object back to ReleaseSourceCodeControlSystemInterface(),
 * which destroys it.
 *
 * Path parts: every operation taking a `const QStringList&` of path parts
 * takes ONE path split into its components. For working-copy operations they
 * are relative to the local root (the last one is the file's name); for
 * repository browsing they are relative to the repository URL.
 *
 * Every operation except getLastError() returns true on success. Failures of
 * the svn client are described by getLastError(). Nothing is thrown.
 */
class SourceCodeControlSystemProviderInterface
{
public:
    /** Sets one host option; false (and nothing changed) for an unknown key. */
    virtual bool setOption(const QString& key, const QString& value) = 0;
    /** Appends the one repository URL this provider knows; always true. */
    virtual bool getRepositoryList(QStringList& list) = 0;
    /** Stores the credentials and URL, then checks them with "svn info". */
    virtual bool login(const QString& userName, const QString& password,
                       const QString& repositoryURL) = 0;
    /** Empties the status cache; the credentials stay. Always true. */
    virtual bool logout() = 0;
    /** Binds an existing working copy as the local root. */
    virtual bool setRoots(const QStringList& localRoots) = 0;
    /** Binds the local root to a repository location, checking it out if needed. */
    virtual bool setRoots(const QStringList& localRoots,
                          const QStringList& repositoryRoots) = 0;
    /** Copies the two root lists out (replacing the lists). Always true. */
    virtual bool getRoots(QStringList& localRoots, QStringList& repositoryRoots) = 0;
    /** Whether the host should offer check-out (locking). */
    virtual bool checkOutSupported() = 0;
    /** Empties the status cache. Always true. */
    virtual bool refresh() = 0;
    /** The control state of one file; see SVNInterface::status. */
    virtual bool status(const QStringList& pathParts, bool& controlled, bool& checkedOut,
                        bool& modified, bool& outOfDate, QString& statusText,
                        QString& revisionText, QString& lastChangedText) = 0;
    /** Adds and commits one file, bringing its directories under control first. */
    virtual bool addFile(const QStringList& pathParts, const QString& comment) = 0;
    /** Re-reads one file's status after it was written. Always true. */
    virtual bool saved(const QStringList& pathParts) = 0;
    /** Brings one file up to date, optionally discarding the local copy first. */
    virtual bool getFile(const QStringList& pathParts, bool keepLocal) = 0;
    /** Writes one revision of a file to another place. */
    virtual bool getTo(const QStringList& pathParts, const QString& revision,
                       const QString& destination) = 0;
    /** Locks a file for editing and makes it writable. */
    virtual bool checkout(const QStringList& pathParts, const QString& comment,
                          bool replaceLocal) = 0;
    /** Releases a lock, optionally discarding the local changes. */
    virtual bool undoCheckout(const QStringList& pathParts, bool discardChanges) = 0;
    /** Commits one file (or directory) with a log message. */
    virtual bool checkin(const QStringList& pathParts, const QString& comment) = 0;
    /** Merging is not supported: always false. */
    virtual bool merged(const QStringList& pathParts, const QString& text) = 0;
    /** Leaves its argument alone; always true. */
    virtual bool getRoot(QString& root) = 0;
    /** Nothing is cached, so nothing to do; always true. */
    virtual bool refreshDirectoriesList(const QStringList& pathParts) = 0;
    /** Appends the subdirectory names of a repository directory. */
    virtual bool getDirectoriesList(const QStringList& pathParts, QStringList& names) = 0;
    /** Appends the file names of a repository directory. */
    virtual bool getFilesList(const QStringList& pathParts, QStringList& names) = 0;
    /** Creates a directory in the repository with an immediate commit. */
    virtual bool createDirectory(const QStringList& parentParts, const QString& name) = 0;
    /** Sets `command` to the svn subcommand of the last failed run and returns its error text. */
    virtual QString getLastError(QString& command) = 0;

protected:
    // Not virtual on purpose (see above); protected so nobody deletes through it.
    ~SourceCodeControlSystemProviderInterface() = default;
};

extern "C" {
/** Creates an independent provider. The caller owns it until it hands it back. */
SourceCodeControlSystemProviderInterface* AllocateSourceCodeControlSystemInterface();
/** Destroys a provider made by AllocateSourceCodeControlSystemInterface(); null is ignored. */
void ReleaseSourceCodeControlSystemInterface(SourceCodeControlSystemProviderInterface* provider);
}

/** Function types for hosts that look the entry points up with dlsym(). */
using AllocateSourceCodeControlSystemInterfaceFn = SourceCodeControlSystemProviderInterface* (*)();
using ReleaseSourceCodeControlSystemInterfaceFn = void (*)(SourceCodeControlSystemProviderInterface*);
