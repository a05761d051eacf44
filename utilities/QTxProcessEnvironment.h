#pragma once

#include <svnscc/svnscc_utilities_export.h>

#include <QByteArray>

#include <vector>

namespace QTx {

/**
 * The environment of a child process, prepared in full before the child
 * starts, so that starting it needs no allocation.
 */
class SVNSCC_UTILITIES_EXPORT ProcessEnvironment
{
public:
    /** An empty environment. */
    ProcessEnvironment() = default;

    /** A copy of the calling process's environment as it is now. */
    static ProcessEnvironment inherited();

    /** Sets `name` to `value`, replacing any earlier value. */
    void set(const QByteArray& name, const QByteArray& value);
    /** Removes `name`; no effect when it is not set. */
    void unset(const QByteArray& name);
    /** The value of `name`; null when it is not set. */
    QByteArray value(const QByteArray& name) const;

    /**
     * The "NAME=value" strings ending in a null pointer, as execve() takes
     * them. Valid until this object is changed or destroyed.
     */
    char* const* envp();

private:
    std::vector<QByteArray> m_entries;
    std::vector<char*> m_pointers;
};

} // namespace QTx
