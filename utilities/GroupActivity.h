#pragma once

// The movement that QTx::spawnProcess's silence limit watches, kept apart
// from the spawning code because it reads Linux's /proc.

#include <QtGlobal>

#include <sys/types.h>

#include <unordered_map>

/**
 * Whether the processes of one process group are moving data, as the kernel
 * counts it: the bytes they read and wrote (rchar and wchar of
 * /proc/PID/io: files, pipes and sockets alike, whoever of the group did it,
 * also a process that was started later), and the send queues of the TCP
 * sockets they hold (/proc/net/tcp and tcp6), which shrink while bytes
 * already handed to the kernel still leave over a slow link. Without /proc
 * nothing is ever seen moving.
 */
class GroupActivity
{
public:
    explicit GroupActivity(pid_t group) : m_group(group) {}

    /**
     * Reads the counters of every process now in the group and the send
     * queues of their sockets. True when the byte counters differ from the
     * last call's (a process that started or ended counts too) or a socket's
     * send queue is shorter than it was; the first call compares with
     * nothing read, so any byte counted makes it true.
     */
    bool moved();

private:
    pid_t m_group;
    quint64 m_bytes = 0;
    // Socket inode -> bytes sent but not yet acknowledged, at the last call.
    std::unordered_map<quint64, quint64> m_sendQueues;
};
