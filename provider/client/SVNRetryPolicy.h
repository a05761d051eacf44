#pragma once

#include <QString>
#include <QStringList>

#include <array>

struct SVNRunResult;

/** What the provider does about a run that did not succeed. */
enum class SVNRetryAction
{
    /** Wait, in pauses that double from 50 ms, and run again while the budget lasts. */
    WaitAndRepeat,
    /** Count the run as done: what it was asked to do happened; its message stays the last error. */
    AcceptAsDone,
    /** Run "svn cleanup" on the working copy the run changed, then fail (the run is not repeated). */
    CleanUp,
};

/** One row of the retry table. */
struct SVNRetryRule
{
    /**
     * An error code the run reported ("E155004", read from its "svn: E155004:"
     * line); null: the row of a run that was stopped (time limit or cancel)
     * while it changed a working copy.
     */
    const char* code;
    /** True: `code` must be the run's only code; another one beside it tells of a different failure. */
    bool alone;
    SVNRetryAction action;
    /** The longest this row may wait in all, in milliseconds, over one run's attempts. */
    int budgetMs;
    /** Why the client fails so (as measured with svn 1.14.2) and why the action helps, for a reader and for the log. */
    const char* reason;
};

/**
 * The retry table: a run that did not succeed is handled by the first row
 * that matches it; any other failure, every start failure and every stopped
 * run that only read ends the run at once, as it is.
 */
inline constexpr std::array<SVNRetryRule, 6> s_svnRetryRules{{
    {"E155004", true, SVNRetryAction::WaitAndRepeat, 10000,
     "another client holds the working copy's lock for the length of its command: every line E155004 "
     "(\"Working copy '/w' locked.\", \"'/w' is already locked.\"); a read-only working copy gives E155004 "
     "beside E200031 (\"attempt to write a readonly database\"), for which no wait helps"},
    {"E200033", false, SVNRetryAction::WaitAndRepeat, 10000,
     "another client is writing the working copy's database at this moment (SQLite's busy answer, "
     "\"database is locked\", under an E155004 that names no holder)"},
    {"E155037", false, SVNRetryAction::WaitAndRepeat, 3000,
     "another client is still running the work it queued (an interrupted one reports the same "
     "until a clean-up, so this wait is short)"},
    {"E165008", false, SVNRetryAction::AcceptAsDone, 0,
     "locking succeeded; only the repository's post-lock hook failed (\"E165008: Locking succeeded, but "
     "post-lock hook failed\", then E165001 with the hook's output)"},
    {"E165009", false, SVNRetryAction::AcceptAsDone, 0,
     "unlocking succeeded; only the repository's post-unlock hook failed (\"E165009: Unlock succeeded, but "
     "post-unlock hook failed\", then E165001 with the hook's output)"},
    {nullptr, false, SVNRetryAction::CleanUp, 0,
     "a client stopped while it changed the working copy leaves it locked until a clean-up"},
}};

/**
 * Error codes that say the repository could not be reached or refused us, not
 * that the working copy failed. A status run that fails so (or is ended by
 * the time limit) is answered from the working copy alone, and the provider
 * asks that repository no more until refresh, logout or login.
 */
inline constexpr std::array<const char*, 17> s_svnUnreachableErrors{{
    "E170013", // unable to connect to a repository at URL
    "E000111", // connection refused
    "E000110", // connection timed out
    "E000113", // no route to host
    "E000101", // network is unreachable
    "E000104", // connection reset by peer
    "E670002", // the host name does not resolve
    "E670008", // the host name does not resolve (no address)
    "E210002", // the network connection closed unexpectedly (svn://)
    "E170001", // authentication or authorization refused (svn://)
    "E215004", // no more credentials: authentication refused (http)
    "E175013", // access forbidden (http)
    "E175012", // the connection timed out (http)
    "E175002", // the connection failed (http)
    "E230001", // the server's certificate is not trusted
    "E120108", // the server closed the connection (http)
    "E120171", // the connection could not be run (http)
}};

/**
 * The retry state of one run: how long each row has waited. Ask next()
 * after each attempt that did not succeed.
 */
class SVNRetries
{
public:
    /** What to do after an attempt. */
    struct Step
    {
        /** The row that applies; null: the run has failed for good. */
        const SVNRetryRule* rule = nullptr;
        /** How long to wait before the next attempt (WaitAndRepeat). */
        int pauseMs = 0;
    };

    /**
     * The step after an attempt that did not succeed; `stoppedWhileWriting`:
     * it was stopped while it changed a working copy.
     */
    Step next(const SVNRunResult& attempt, bool stoppedWhileWriting = false);

    /**
     * Whether a row waits for this failure: another client's work on the
     * working copy, which passes (after the wait it may still be there).
     */
    static bool waitsFor(const SVNRunResult& attempt);

private:
    std::array<int, s_svnRetryRules.size()> m_waitedMs{};
    std::array<int, s_svnRetryRules.size()> m_nextPauseMs{};
};
