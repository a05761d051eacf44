#include "FakeSvn.h"

#include "EightBit.h"
#include "FileBytes.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <algorithm>

FakeSvn::FakeSvn()
{
    if (!QFile::link(TEST_CHILD_PATH, executable()))
        ADD_FAILURE() << "cannot link the stand-in client into " << m_dir.path().toStdString();
}

QString FakeSvn::executable() const
{
    return m_dir.path() + "/svn";
}

FakeSvn& FakeSvn::respond(const QByteArray& out, const QByteArray& err, int code, int sleepMs)
{
    m_scripted = std::max(m_scripted, callCount());
    writeResponse(QString::number(m_scripted++), out, err, code, sleepMs);
    return *this;
}

FakeSvn& FakeSvn::respondAlways(const QByteArray& out, const QByteArray& err, int code, int sleepMs)
{
    writeResponse("default", out, err, code, sleepMs);
    return *this;
}

void FakeSvn::writeResponse(const QString& name, const QByteArray& out, const QByteArray& err, int code, int sleepMs)
{
    QString path = m_dir.path() + QStringLiteral("/responses/") + name;
    QDir().mkpath(path);
    writeBytes(path + "/out", out);
    writeBytes(path + "/err", err);
    writeBytes(path + "/code", QByteArray::number(code));
    writeBytes(path + "/sleep_ms", QByteArray::number(sleepMs));
}

std::vector<FakeSvn::Call> FakeSvn::calls() const
{
    // Each record: the argument count, the working directory, the arguments.
    std::vector<Call> result;
    QFile file(m_dir.path() + "/calls");
    QList<QByteArray> fields = file.open(QIODevice::ReadOnly) ? file.readAll().split('\0') : QList<QByteArray>();
    for (qsizetype at = 0; at + 1 < fields.size();) {
        const int count = fields[at].toInt();
        Call call{fromEightBit(fields[at + 1]), {}};
        for (qsizetype i = at + 2; i < at + 2 + count && i < fields.size(); ++i)
            call.arguments << fromEightBit(fields[i]);
        result.push_back(call);
        at += 2 + count;
    }
    return result;
}

int FakeSvn::callCount() const
{
    QFile file(m_dir.path() + "/count");
    return file.open(QIODevice::ReadOnly) ? file.readAll().toInt() : 0;
}

QByteArray FakeSvn::standardInput(int i) const
{
    QFile file(m_dir.path() + QStringLiteral("/stdin-") + QString::number(i));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray FakeSvn::message(int i) const
{
    QFile file(m_dir.path() + QStringLiteral("/message-") + QString::number(i));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray FakeSvn::environment(int i, const QByteArray& name) const
{
    QFile file(m_dir.path() + QStringLiteral("/environment-") + QString::number(i));
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    for (const QByteArray& entry : file.readAll().split('\0'))
        if (entry.startsWith(name + '='))
            return entry.mid(name.size() + 1);
    return QByteArray();
}

QStringList FakeSvn::auth(const QString& user, const QString& pass)
{
    return {"--no-auth-cache", "--non-interactive",
            "--username", user, "--password", pass};
}
