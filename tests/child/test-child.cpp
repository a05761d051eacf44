// A child process for the process-spawning tests. Each argument is one step,
// carried out in order:
//   out:HEX / err:HEX        write the bytes to standard output / error
//   flood-out:N / flood-err:N  write N bytes of numbered 63-byte lines ("%062d\n")
//   pwd                      print the working directory and a line feed
//   args                     print every argument after this one, one per line
//   close-out                close standard output
//   sleep:MS                 sleep MS milliseconds
//   kill                     send itself SIGKILL
//   exit:N                   exit with status N at once
//   pipes                    print how many pipes it holds above descriptor 2, and a line feed
//   stdin                    copy standard input to standard output until its end
//   ignore-term              ignore SIGTERM from now on
//   grandchild:MS            start a child that sleeps MS milliseconds holding output and error open
//   end                      exit with status 0 at once, ignoring any later arguments
// After the last step it exits with status 0.

#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void writeAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        data += n;
        size -= size_t(n);
    }
}

void writeHex(int fd, const char* hex)
{
    std::string bytes;
    for (size_t i = 0; hex[i] && hex[i + 1]; i += 2) {
        char pair[3] = {hex[i], hex[i + 1], 0};
        bytes.push_back(char(std::strtol(pair, nullptr, 16)));
    }
    writeAll(fd, bytes.data(), bytes.size());
}

void flood(int fd, long long total)
{
    std::string block;
    char line[64];
    long long lineNumber = 0;
    while (total > 0) {
        block.clear();
        while (block.size() < 65536 && total > 0) {
            std::snprintf(line, sizeof line, "%062lld\n", lineNumber++);
            size_t take = total < 63 ? size_t(total) : 63;
            block.append(line, take);
            total -= take;
        }
        writeAll(fd, block.data(), block.size());
    }
}

// Pipes inherited beyond standard input, output and error: a descriptor that
// leaked into this child from another thread's run shows up here.
int countInheritedPipes()
{
    int count = 0;
    DIR* dir = ::opendir("/proc/self/fd");
    if (!dir)
        return -1;
    while (dirent* entry = ::readdir(dir)) {
        int fd = std::atoi(entry->d_name);
        if (fd <= 2 || fd == ::dirfd(dir))
            continue;
        char path[64];
        char target[256];
        std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
        ssize_t n = ::readlink(path, target, sizeof target - 1);
        if (n > 0 && !std::strncmp(target, "pipe:", 5))
            ++count;
    }
    ::closedir(dir);
    return count;
}

} // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const char* step = argv[i];
        if (!std::strncmp(step, "out:", 4)) {
            writeHex(1, step + 4);
        } else if (!std::strncmp(step, "err:", 4)) {
            writeHex(2, step + 4);
        } else if (!std::strncmp(step, "flood-out:", 10)) {
            flood(1, std::atoll(step + 10));
        } else if (!std::strncmp(step, "flood-err:", 10)) {
            flood(2, std::atoll(step + 10));
        } else if (!std::strcmp(step, "pwd")) {
            char cwd[PATH_MAX];
            if (::getcwd(cwd, sizeof cwd)) {
                writeAll(1, cwd, std::strlen(cwd));
                writeAll(1, "\n", 1);
            }
        } else if (!std::strcmp(step, "args")) {
            for (++i; i < argc; ++i) {
                writeAll(1, argv[i], std::strlen(argv[i]));
                writeAll(1, "\n", 1);
            }
        } else if (!std::strcmp(step, "close-out")) {
            ::close(1);
        } else if (!std::strncmp(step, "sleep:", 6)) {
            ::usleep(useconds_t(std::atol(step + 6)) * 1000);
        } else if (!std::strcmp(step, "kill")) {
            ::kill(::getpid(), SIGKILL);
        } else if (!std::strcmp(step, "pipes")) {
            char line[32];
            std::snprintf(line, sizeof line, "%d\n", countInheritedPipes());
            writeAll(1, line, std::strlen(line));
        } else if (!std::strcmp(step, "stdin")) {
            char buffer[4096];
            ssize_t n;
            while ((n = ::read(0, buffer, sizeof buffer)) > 0)
                writeAll(1, buffer, size_t(n));
        } else if (!std::strcmp(step, "ignore-term")) {
            ::signal(SIGTERM, SIG_IGN);
        } else if (!std::strncmp(step, "grandchild:", 11)) {
            if (::fork() == 0) {
                ::usleep(useconds_t(std::atol(step + 11)) * 1000);
                ::_exit(0);
            }
        } else if (!std::strcmp(step, "end")) {
            return 0;
        } else if (!std::strncmp(step, "exit:", 5)) {
            ::_exit(std::atoi(step + 5));
        } else {
            return 100;
        }
    }
    return 0;
}
