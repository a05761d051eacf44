#include "CommandLogFeed.h"

#include "ClientLog.h"

#include <QtGlobal>

#include <atomic>

namespace {

std::atomic<CommandLogFeed*> s_feed{nullptr};
std::atomic<bool> s_echo{false};
std::atomic<QtMessageHandler> s_previousHandler{nullptr};

// Runs in the thread that logs. The feed is never deleted, so a message
// logged as late as the process's exit still finds it.
void feedCommandLog(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (isClientLog(context)) {
        if (CommandLogFeed* feed = s_feed.load())
            emit feed->lineLogged(message);
        if (!s_echo)
            return;
    }
    if (const QtMessageHandler previous = s_previousHandler.load())
        previous(type, context, message);
}

} // namespace

CommandLogFeed* CommandLogFeed::instance()
{
    static CommandLogFeed* const feed = [] {
        auto* made = new CommandLogFeed;
        s_feed = made;
        s_previousHandler = qInstallMessageHandler(feedCommandLog);
        enableClientLog();
        return made;
    }();
    return feed;
}

void CommandLogFeed::setEcho(bool echo)
{
    s_echo = echo;
}
