#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>

/**
 * The growth of this process's resident memory over a stretch of work:
 * the peak is reset (Linux's /proc/self/clear_refs) when the object is made,
 * and mebibytes() gives how far the peak then rose above the resident size
 * at that moment.
 */
class PeakMemory
{
public:
    PeakMemory()
    {
        if (std::FILE* file = std::fopen("/proc/self/clear_refs", "w")) {
            std::fputs("5", file);
            std::fclose(file);
        }
        m_startKiB = field("VmRSS:");
    }

    double mebibytes() const { return double(field("VmHWM:") - m_startKiB) / 1024.0; }

private:
    static long long field(const char* name)
    {
        long long value = 0;
        if (std::FILE* file = std::fopen("/proc/self/status", "r")) {
            char line[256];
            while (std::fgets(line, sizeof line, file))
                if (std::strncmp(line, name, std::strlen(name)) == 0)
                    value = std::atoll(line + std::strlen(name));
            std::fclose(file);
        }
        return value;
    }

    long long m_startKiB;
};
