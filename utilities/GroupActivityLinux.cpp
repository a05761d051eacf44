// The group's movement from /proc. Every file is read with plain system
// calls into a stack buffer, except the socket tables, which can be long.

#include "GroupActivity.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Reads a small file whole into `buffer` and ends it with a NUL; false when it cannot be read.
bool readSmall(const char* path, char* buffer, size_t size)
{
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    size_t used = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buffer + used, size - 1 - used);
        if (n > 0 && (used += size_t(n)) < size - 1)
            continue;
        if (n < 0 && errno == EINTR)
            continue;
        break;
    }
    ::close(fd);
    buffer[used] = '\0';
    return used > 0;
}

// The process group of process `pid`: the fifth field of /proc/PID/stat
// ("pid (comm) state ppid pgrp ..."), counted from the last ")" because the
// name may hold blanks and parentheses. -1 when it cannot be read.
pid_t groupOf(int pid)
{
    char path[64], stat[1024];
    std::snprintf(path, sizeof path, "/proc/%d/stat", pid);
    if (!readSmall(path, stat, sizeof stat))
        return -1;
    const char* end = std::strrchr(stat, ')');
    int group = -1;
    return end && std::sscanf(end + 1, " %*c %*d %d", &group) == 1 ? pid_t(group) : -1;
}

// The bytes process `pid` has read and written through system calls (rchar + wchar).
quint64 bytesOf(int pid)
{
    char path[64], io[512];
    std::snprintf(path, sizeof path, "/proc/%d/io", pid);
    if (!readSmall(path, io, sizeof io))
        return 0;
    quint64 total = 0;
    for (const char* key : {"rchar: ", "wchar: "})
        if (const char* at = std::strstr(io, key))
            total += std::strtoull(at + std::strlen(key), nullptr, 10);
    return total;
}

// Appends the inodes of the sockets process `pid` holds open.
void addSockets(int pid, std::vector<quint64>& inodes)
{
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/fd", pid);
    DIR* fds = ::opendir(path);
    while (dirent* entry = fds ? ::readdir(fds) : nullptr) {
        if (entry->d_name[0] == '.')
            continue;
        char link[64], target[64];
        std::snprintf(link, sizeof link, "/proc/%d/fd/%d", pid, std::atoi(entry->d_name));
        const ssize_t length = ::readlink(link, target, sizeof target - 1);
        if (length <= 0)
            continue;
        target[length] = '\0';
        unsigned long long inode = 0;
        if (std::sscanf(target, "socket:[%llu]", &inode) == 1)
            inodes.push_back(inode);
    }
    if (fds)
        ::closedir(fds);
}

} // namespace

bool GroupActivity::moved()
{
    quint64 bytes = 0;
    std::vector<quint64> sockets;
    int member = 0;
    DIR* processes = ::opendir("/proc");
    while (dirent* entry = processes ? ::readdir(processes) : nullptr) {
        const int pid = std::atoi(entry->d_name); // 0 for what is not a process
        if (pid <= 0 || groupOf(pid) != m_group)
            continue;
        bytes += bytesOf(pid);
        addSockets(pid, sockets);
        member = pid;
    }
    if (processes)
        ::closedir(processes);
    bool moved = bytes != m_bytes;
    m_bytes = bytes;

    // The send queue ("tx_queue", bytes not yet acknowledged by the peer) of
    // each socket the group holds, from the tables of its network namespace.
    std::unordered_map<quint64, quint64> queues;
    for (const char* table : {"tcp", "tcp6"}) {
        if (sockets.empty())
            break;
        char path[64];
        std::snprintf(path, sizeof path, "/proc/%d/net/%s", member, table);
        std::FILE* file = std::fopen(path, "re");
        char* line = nullptr;
        size_t capacity = 0;
        while (file && ::getline(&line, &capacity, file) > 0) {
            unsigned long long queue = 0, inode = 0;
            if (std::sscanf(line, "%*s %*s %*s %*s %llx:%*x %*s %*s %*s %*s %llu", &queue, &inode) != 2)
                continue; // the heading
            for (quint64 socket : sockets)
                if (socket == inode)
                    queues[inode] = queue;
        }
        std::free(line);
        if (file)
            std::fclose(file);
    }
    for (const auto& [inode, queue] : queues) {
        const auto before = m_sendQueues.find(inode);
        moved = moved || (before != m_sendQueues.end() && queue < before->second);
    }
    m_sendQueues.swap(queues);
    return moved;
}
