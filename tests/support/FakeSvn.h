#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <vector>

/**
 * A scratch directory holding the stand-in svn client (as "svn"), its script
 * of answers and its record of calls. Give executable() to the provider as
 * its SVNExecutable option.
 */
class FakeSvn
{
public:
    struct Call
    {
        QString workingDirectory;
        QStringList arguments; ///< the whole vector, the executable first
    };

    FakeSvn();

    QString executable() const;

    /**
     * Scripts the answer of the next call that has not happened yet (calls
     * are answered in order; an unscripted call prints nothing and exits 0).
     */
    FakeSvn& respond(const QByteArray& out, const QByteArray& err = {}, int code = 0, int sleepMs = 0);
    /** The answer of every call that has no scripted answer of its own. */
    FakeSvn& respondAlways(const QByteArray& out, const QByteArray& err = {}, int code = 0, int sleepMs = 0);

    std::vector<Call> calls() const;
    int callCount() const;
    /** What call i read on its standard input (it reads only with "--password-from-stdin"). */
    QByteArray standardInput(int i) const;
    /** The bytes of the message file ("--file") call i was given; null when it had none. */
    QByteArray message(int i) const;
    /** The value of environment variable `name` in call i; null when it was not set. */
    QByteArray environment(int i, const QByteArray& name) const;

    /** The credential options every command except "add" carries, for a provider logged in as user/pass. */
    static QStringList auth(const QString& user = QString(), const QString& pass = QString());

private:
    void writeResponse(const QString& name, const QByteArray& out, const QByteArray& err, int code, int sleepMs);

    QTemporaryDir m_dir;
    int m_scripted = 0;
};
