#include "QTxProcessEnvironment.h"

#include <algorithm>

extern char** environ;

namespace {

bool hasName(const QByteArray& entry, const QByteArray& name)
{
    return entry.size() > name.size() && entry.startsWith(name) && entry.at(name.size()) == '=';
}

} // namespace

namespace QTx {

ProcessEnvironment ProcessEnvironment::inherited()
{
    ProcessEnvironment environment;
    for (char** entry = environ; entry && *entry; ++entry)
        environment.m_entries.emplace_back(*entry);
    return environment;
}

void ProcessEnvironment::set(const QByteArray& name, const QByteArray& value)
{
    unset(name);
    m_entries.push_back(name + '=' + value);
}

void ProcessEnvironment::unset(const QByteArray& name)
{
    m_entries.erase(std::remove_if(m_entries.begin(), m_entries.end(),
                                   [&](const QByteArray& entry) { return hasName(entry, name); }),
                    m_entries.end());
}

QByteArray ProcessEnvironment::value(const QByteArray& name) const
{
    for (const QByteArray& entry : m_entries)
        if (hasName(entry, name))
            return entry.mid(name.size() + 1);
    return QByteArray();
}

char* const* ProcessEnvironment::envp()
{
    m_pointers.clear();
    m_pointers.reserve(m_entries.size() + 1);
    for (QByteArray& entry : m_entries)
        m_pointers.push_back(entry.data());
    m_pointers.push_back(nullptr);
    return m_pointers.data();
}

} // namespace QTx
