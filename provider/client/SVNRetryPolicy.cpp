#include "SVNRetryPolicy.h"

namespace {

const int s_firstPauseMs = 50;
const QLatin1String s_forceLog("--force-log");

bool matches(const SVNRetryRule& rule, const QString& message, bool stoppedWhileWriting)
{
    if (!rule.match)
        return stoppedWhileWriting;
    return !stoppedWhileWriting && message.contains(QLatin1String(rule.match))
        && (!rule.also || message.contains(QLatin1String(rule.also)));
}

} // namespace

SVNRetries::Step SVNRetries::next(const QString& message, bool stoppedWhileWriting)
{
    for (size_t i = 0; i < s_svnRetryRules.size(); ++i) {
        const SVNRetryRule& rule = s_svnRetryRules[i];
        if (!matches(rule, message, stoppedWhileWriting))
            continue;
        switch (rule.action) {
        case SVNRetryAction::RepeatWithForceLog:
            if (m_extraArguments.contains(s_forceLog))
                return Step(); // the client refused even that
            m_extraArguments << s_forceLog;
            return Step{&rule, 0};
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
