#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <stdexcept>

/** Anonymous memory of the given size with every page written, as a large host holds it. */
class Ballast
{
public:
    explicit Ballast(size_t bytes) : m_size(bytes)
    {
        if (!bytes)
            return;
        m_data = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (m_data == MAP_FAILED)
            throw std::runtime_error("cannot map the ballast");
        const long page = ::sysconf(_SC_PAGESIZE);
        for (size_t offset = 0; offset < bytes; offset += size_t(page))
            static_cast<char*>(m_data)[offset] = char(offset >> 12);
    }
    ~Ballast()
    {
        if (m_size)
            ::munmap(m_data, m_size);
    }
    Ballast(const Ballast&) = delete;
    Ballast& operator=(const Ballast&) = delete;

private:
    void* m_data = nullptr;
    size_t m_size;
};
