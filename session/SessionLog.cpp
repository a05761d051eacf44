#include "SessionLog.h"

#include "SessionWorker.h"

#include <QLoggingCategory>
#include <QtGlobal>

#include <atomic>
#include <mutex>

namespace SvnScc {

namespace {

const char s_category[] = "svnscc.client";
// The plug-in's words when it goes offline for a repository.
const char s_offlineNote[] = " cannot be reached: status is read from the working copy alone";

std::atomic<QLoggingCategory::CategoryFilter> s_previousFilter{nullptr};
std::atomic<QtMessageHandler> s_previousHandler{nullptr};
// Whether the rules before the session's turn the command log on: then its
// lines go on to the previous handler, as they did without a session.
std::atomic<bool> s_hostShowsLog{false};
thread_local SessionWorker* t_worker = nullptr;

bool isCommandLog(const char* category)
{
    return category && qstrcmp(category, s_category) == 0;
}

// Qt runs the filter for each category when it is made and whenever the
// rules change.
void filterCategory(QLoggingCategory* category)
{
    if (const QLoggingCategory::CategoryFilter previous = s_previousFilter.load())
        previous(category);
    if (isCommandLog(category->categoryName())) {
        s_hostShowsLog = category->isDebugEnabled();
        category->setEnabled(QtDebugMsg, true);
    }
}

void handleMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (isCommandLog(context.category)) {
        if (SessionWorker* worker = t_worker)
            worker->logged(message);
        if (!s_hostShowsLog)
            return;
    }
    if (const QtMessageHandler previous = s_previousHandler.load())
        previous(type, context, message);
}

} // namespace

namespace SessionLog {

void install()
{
    static std::once_flag once;
    std::call_once(once, [] {
        s_previousHandler = qInstallMessageHandler(handleMessage);
        // installFilter() runs the new filter over every category before it
        // returns the previous one, so that first run cannot apply the
        // host's rules; installed once more, it runs with them.
        s_previousFilter = QLoggingCategory::installFilter(filterCategory);
        QLoggingCategory::installFilter(filterCategory);
    });
}

void route(SessionWorker* worker)
{
    t_worker = worker;
}

bool saysOffline(const QString& line)
{
    return line.contains(QLatin1String(s_offlineNote));
}

} // namespace SessionLog

} // namespace SvnScc
