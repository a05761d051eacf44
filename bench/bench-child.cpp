// The benchmarks' child process.
//   svnscc_bench_child              exit at once with status 0
//   svnscc_bench_child flood N      write N bytes of numbered 63-byte lines
//                                   ("%062d\n") to standard output, then exit
//   svnscc_bench_child statuses SVN DIR...
//                                   from this small process, run SVN status
//                                   --non-recursive --show-updates --verbose
//                                   (with the benchmarks' credentials) in each
//                                   DIR in turn, output thrown away, and print
//                                   the milliseconds they took in all

#include <fcntl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

double nowMs()
{
    timespec now;
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

int statuses(int count, char** arguments)
{
    const char* svn = arguments[0];
    char* argv[] = {const_cast<char*>(svn), const_cast<char*>("status"),
                    const_cast<char*>("--non-recursive"), const_cast<char*>("--show-updates"),
                    const_cast<char*>("--verbose"), const_cast<char*>("--no-auth-cache"),
                    const_cast<char*>("--non-interactive"), const_cast<char*>("--username"),
                    const_cast<char*>("bench"), const_cast<char*>("--password"),
                    const_cast<char*>("secret"), nullptr};
    const double start = nowMs();
    for (int i = 1; i < count; ++i) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 1);
            ::dup2(null, 2);
            if (::chdir(arguments[i]) != 0)
                ::_exit(254);
            ::execv(svn, argv);
            ::_exit(255);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            return 1;
    }
    std::printf("%.3f\n", nowMs() - start);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 3 && std::strcmp(argv[1], "statuses") == 0)
        return statuses(argc - 2, argv + 2);
    if (argc < 3 || std::strcmp(argv[1], "flood") != 0)
        return 0;
    long long total = std::atoll(argv[2]);
    std::string block;
    char line[64];
    long long number = 0;
    while (total > 0) {
        block.clear();
        while (block.size() < 65536 && total > 0) {
            std::snprintf(line, sizeof line, "%062lld\n", number++);
            size_t take = total < 63 ? size_t(total) : 63;
            block.append(line, take);
            total -= take;
        }
        const char* data = block.data();
        size_t size = block.size();
        while (size > 0) {
            ssize_t n = ::write(1, data, size);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return 1;
            }
            data += n;
            size -= size_t(n);
        }
    }
    return 0;
}
