#include "SVNRetryPolicy.h"

#include "SVNClient.h"

#include <algorithm>

namespace {

const int s_firstPauseMs = 50;

bool matches(const SVNRetryRule& rule, const SVNRunResult& attempt, bool stoppedWhileWriting)
{
    if (!rule.code)
        return stoppedWhileWriting;
    return !stoppedWhileWriting && attempt.hasCode(rule.code) && (!rule.alone || attempt.codes.size() == 1);
}

} // namespace

SVNRetries::Step SVNRetries::next(const SVNRunResult& attempt, bool stoppedWhileWriting)
{
    for (size_t i = 0; i < s_svnRetryRules.size(); ++i) {
        const SVNRetryRule& rule = s_svnRetryRules[i];
        if (!matches(rule, attempt, stoppedWhileWriting))
            continue;
        switch (rule.action) {
        case SVNRetryAction::WaitAndRepeat: {
            if (m_waitedMs[i] >= rule.budgetMs)
                return Step(); // waited long enough
            const int pause = qMin(m_nextPauseMs[i] ? m_nextPauseMs[i] : s_firstPauseMs,
                                   rule.budgetMs - m_waitedMs[i]);
            m_waitedMs[i] += pause;
            m_nextPauseMs[i] = 2 * (m_nextPauseMs[i] ? m_nextPauseMs[i] : s_firstPauseMs);
            return Step{&rule, pause};
        }
        case SVNRetryAction::AcceptAsDone:
        case SVNRetryAction::CleanUp:
            return Step{&rule, 0};
        }
    }
    return Step();
}

bool SVNRetries::waitsFor(const SVNRunResult& attempt)
{
    return std::any_of(s_svnRetryRules.cbegin(), s_svnRetryRules.cend(), [&attempt](const SVNRetryRule& rule) {
        return rule.action == SVNRetryAction::WaitAndRepeat && matches(rule, attempt, false);
    });
}
