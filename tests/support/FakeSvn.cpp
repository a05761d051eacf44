#include "FakeSvn.h"

#include "EightBit.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

void writeBytes(const QString& path, const QByteArray& data)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size())
        ADD_FAILURE() << "cannot write " << path.toStdString();
}

} // namespace

FakeSvn::FakeSvn()
{
    if (!QFile::link(QStringLiteral(FAKE_SVN_PATH), executable()))
        ADD_FAILURE() << "cannot link the stand-in client into " << directory().toStdString();
}

QString FakeSvn::executable() const
{
    return m_dir.path() + QStringLiteral("/svn");
}

QString FakeSvn::directory() const
{
    return m_dir.path();
}

FakeSvn& FakeSvn::respond(const QByteArray& out, const QByteArray& err, int code, int sleepMs)
{
    m_scripted = std::max(m_scripted, callCount());
    writeResponse(QString::number(m_scripted++), out, err, code, sleepMs);
    return *this;
}

FakeSvn& FakeSvn::respondAlways(const QByteArray& out, const QByteArray& err, int code, int sleepMs)
{
    writeResponse(QStringLiteral("default"), out, err, code, sleepMs);
    return *this;
}

void FakeSvn::writeResponse(const QString& name, const QByteArray& out, const QByteArray& err,
                            int code, int sleepMs)
{
    QString path = m_dir.path() + QStringLiteral("/responses/") + name;
    QDir().mkpath(path);
    QFile::remove(path + "/out");
    QFile::remove(path + "/err");
    writeBytes(path + "/out", out);
    writeBytes(path + "/err", err);
    writeBytes(path + "/code", QByteArray::number(code));
    writeBytes(path + "/sleep_ms", QByteArray::number(sleepMs));
}

std::vector<FakeSvn::Call> FakeSvn::calls() const
{
    std::vector<Call> result;
    QFile file(m_dir.path() + QStringLiteral("/calls"));
    if (!file.open(QIODevice::ReadOnly))
        return result;
    const QByteArray data = file.readAll();
    qsizetype pos = 0;
    auto field = [&](QByteArray& value) {
        qsizetype end = data.indexOf('\0', pos);
        if (end < 0)
            return false;
        value = data.mid(pos, end - pos);
        pos = end + 1;
        return true;
    };
    QByteArray value;
    while (pos < data.size() && field(value)) {
        int count = value.toInt();
        Call call;
        if (!field(value))
            break;
        call.workingDirectory = fromEightBit(value);
        for (int i = 0; i < count && field(value); ++i)
            call.arguments << fromEightBit(value);
        result.push_back(call);
    }
    return result;
}

int FakeSvn::callCount() const
{
    QFile file(m_dir.path() + QStringLiteral("/count"));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    return file.readAll().toInt();
}

QStringList FakeSvn::args(int i) const
{
    std::vector<Call> all = calls();
    if (i < 0 || size_t(i) >= all.size())
        return {QStringLiteral("<no call %1>").arg(i)};
    return all[size_t(i)].arguments.mid(1);
}

QByteArray FakeSvn::standardInput(int i) const
{
    QFile file(m_dir.path() + QStringLiteral("/stdin-") + QString::number(i));
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
    return {QStringLiteral("--no-auth-cache"), QStringLiteral("--non-interactive"),
            QStringLiteral("--username"), user, QStringLiteral("--password"), pass};
}
