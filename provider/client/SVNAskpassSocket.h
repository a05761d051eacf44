#pragma once

#include <QByteArray>
#include <QString>

/**
 * The private socket through which the askpass program of one client run
 * (ssh's questions, see SVNSshQuestions) reaches the provider: a listening
 * Unix socket in a fresh temporary folder that only the user may enter.
 * Closing it (the destructor) removes both, so an askpass program left
 * over from the run finds nobody to ask.
 */
class SVNAskpassSocket
{
public:
    /** Makes the folder and listens there; isOpen() tells whether that worked, problem() why not. */
    SVNAskpassSocket();
    ~SVNAskpassSocket();
    SVNAskpassSocket(const SVNAskpassSocket&) = delete;
    SVNAskpassSocket& operator=(const SVNAskpassSocket&) = delete;

    bool isOpen() const { return m_listener >= 0; }
    /** Why the socket could not be made; null when it was. */
    const QString& problem() const { return m_problem; }
    /** The listening socket, readable when a program connects. */
    int descriptor() const { return m_listener; }
    /** The socket's path, for the program's environment. */
    const QByteArray& path() const { return m_path; }

    /**
     * Accepts the connection waiting now and reads its prompt, which the
     * program sends at once (a few seconds at most, 16 KiB at most, as
     * UTF-8). False when there was none, it came from another user, or
     * nothing could be read: the connection is then dropped, and the
     * program finds nobody to ask.
     */
    bool takeQuestion(QString& prompt);
    /** Replies to the question taken last, `answer` or declined (null), and closes the connection. */
    void reply(const QString& answer);

    /** The askpass program beside the library this code is part of; null when it is not there. */
    static QString program();

private:
    void dropQuestion();

    int m_listener = -1;
    int m_question = -1;
    QByteArray m_folder;
    QByteArray m_path;
    QString m_problem;
};
