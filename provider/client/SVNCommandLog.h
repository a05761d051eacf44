#pragma once

#include <QLoggingCategory>
#include <QString>

/** The command log's logging category: every client run and every decision taken about one (debug level, off by default). */
Q_DECLARE_LOGGING_CATEGORY(lcClient)

/**
 * Where the command log of one provider goes: the logging category
 * "svnscc.client" at debug level, when enabled, and the host's handler,
 * when one is set. Lines are made only when somebody reads them
 * (enabled()), so a provider nobody listens to pays nothing.
 */
class SVNCommandLog
{
public:
    using Handler = void (*)(void* context, const QString& line);

    /** Null stops the calls. */
    void setHandler(Handler handler, void* context)
    {
        m_handler = handler;
        m_context = context;
    }
    /** Whether a line written now reaches anybody. */
    bool enabled() const { return m_handler || lcClient().isDebugEnabled(); }
    /** Writes one line to the category and to the handler. */
    void write(const QString& line) const
    {
        if (lcClient().isDebugEnabled())
            qCDebug(lcClient).noquote() << line;
        if (m_handler)
            m_handler(m_context, line);
    }

private:
    Handler m_handler = nullptr;
    void* m_context = nullptr;
};
