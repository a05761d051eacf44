#pragma once

#include <QString>
#include <QStringList>

#include <array>

/** What the provider does about a run that failed with a given error. */
enum class SVNRetryAction
{
    /** Run once more, at once, with "--force-log" after the arguments (once only). */
    RepeatWithForceLog,
    /** Wait, in pauses that double from 50 ms, and run again while the budget lasts. */
    WaitAndRepeat,
};

/** One row of the retry table. */
struct SVNRetryRule
{
    /** The error code the failed run's error lines hold, with its colon: "E155004:". */
    const char* error;
    SVNRetryAction action;
    /** The longest this row may wait in all, in milliseconds, over one run's attempts. */
    int budgetMs;
    /** Why the client fails so and why repeating helps, for a reader and for the log. */
    const char* reason;
};

/**
 * The retry table: a failed run is repeated only when its error lines match
 * a row, tried in this order; any other failure, and every time limit,
 * start failure or stop, ends the run at once.
 */
inline constexpr std::array<SVNRetryRule, 3> s_svnRetryRules{{
    {"E205005:", SVNRetryAction::RepeatWithForceLog, 0,
     "the log or lock message names an existing file; the client took it for a mistyped -F"},
    {"E155004:", SVNRetryAction::WaitAndRepeat, 10000,
     "another client holds the working copy's lock for the length of its command"},
    {"E155037:", SVNRetryAction::WaitAndRepeat, 3000,
     "another client is still running the work it queued (an interrupted one reports the same "
     "until a clean-up, so this wait is short)"},
}};

/**
 * The retry state of one run: which rows have been used and how long each
 * has waited. Ask next() after each failed attempt.
 */
class SVNRetries
{
public:
    /** What to do after a failed attempt. */
    struct Step
    {
        /** The row that applies; null: the run has failed for good. */
        const SVNRetryRule* rule = nullptr;
        /** How long to wait before the next attempt. */
        int pauseMs = 0;
    };

    /** The step after an attempt whose error lines, joined, are `message`. */
    Step next(const QString& message);

    /** Arguments the rows added, to go after the command's own. */
    const QStringList& extraArguments() const { return m_extraArguments; }

private:
    std::array<int, s_svnRetryRules.size()> m_waitedMs{};
    std::array<int, s_svnRetryRules.size()> m_nextPauseMs{};
    QStringList m_extraArguments;
};
