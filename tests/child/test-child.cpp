// The child process of the tests, in two roles.
//
// Run under the name "svn" (a symbolic link in a scratch directory D) it is the
// stand-in svn client: it records the call in D (call number n from D/count;
// argument count, working directory and arguments appended to D/calls, each
// ended by a NUL; D/environment-n; D/stdin-n; D/message-n, the file that
// "--file" names) and answers from D/responses/n/
// or D/responses/default/ ("sleep_ms", "out", "err", "code").
//
// Under any other name each argument is one step, carried out in order:
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
//   signal-mask              print the SigBlk line of /proc/self/status (the blocked signals) and a line feed
//   grandchild:MS            start a child that sleeps MS milliseconds holding output and error open
//   grandchild-writes:MS:F   start a child that closes output and error and, for MS milliseconds,
//                            appends a line to file F every 200 milliseconds
//   session                  print whether it leads its session, the tty_nr of /proc/self/stat, and
//                            "ENXIO" when /dev/tty cannot be opened for want of a terminal, else "tty"
//   end                      exit with status 0 at once, ignoring any later arguments

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

extern char** environ;

namespace {

void writeAll(int fd, const std::string& data)
{
    for (size_t done = 0; done < data.size();) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno != EINTR)
            return;
        done += n > 0 ? size_t(n) : 0;
    }
}

bool readFile(const std::string& path, std::string& data)
{
    std::ifstream in(path, std::ios::binary);
    data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return bool(in);
}

void writeFile(const std::string& path, const std::string& data, int flags = O_TRUNC)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | flags, 0600);
    writeAll(fd, data);
    ::close(fd);
}

std::string readInput()
{
    std::string input;
    char buffer[4096];
    for (ssize_t got; (got = ::read(0, buffer, sizeof buffer)) > 0;)
        input.append(buffer, size_t(got));
    return input;
}

int fakeSvn(const std::string& dir, int argc, char** argv)
{
    const int lock = ::open((dir + "/lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock < 0 || ::flock(lock, LOCK_EX) != 0)
        return 98;
    std::string text;
    const std::string n = std::to_string(readFile(dir + "/count", text) ? std::atol(text.c_str()) : 0);

    // The record first, then the count: a test that acts once the count
    // reaches a call (and stops the run) finds that call recorded.
    char cwd[PATH_MAX];
    std::string record = std::to_string(argc) + '\0' + (::getcwd(cwd, sizeof cwd) ? cwd : "?") + '\0';
    for (int i = 0; i < argc; ++i)
        record += std::string(argv[i]) + '\0';
    writeFile(dir + "/calls", record, O_APPEND);
    writeFile(dir + "/count", std::to_string(std::atol(n.c_str()) + 1));
    std::string environment;
    for (char** entry = environ; *entry; ++entry)
        environment += std::string(*entry) + '\0';
    writeFile(dir + "/environment-" + n, environment);
    bool fromStdin = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--password-from-stdin")) {
            writeFile(dir + "/stdin-" + n, readInput());
            fromStdin = true;
        }
        if (!std::strcmp(argv[i], "--file") && i + 1 < argc && readFile(argv[i + 1], text))
            writeFile(dir + "/message-" + n, text);
    }
    // Without the option, what a pipe holds at once (a secret sent all the
    // same) is noted too, with one read that cannot block.
    struct stat input;
    pollfd ready{0, POLLIN, 0};
    char held[4096];
    ssize_t got = 0;
    if (!fromStdin && ::fstat(0, &input) == 0 && S_ISFIFO(input.st_mode) && ::poll(&ready, 1, 0) == 1
        && (got = ::read(0, held, sizeof held)) > 0)
        writeFile(dir + "/stdin-" + n, std::string(held, size_t(got)));
    ::close(lock);

    std::string response = dir + "/responses/" + n;
    if (::access(response.c_str(), F_OK) != 0)
        response = dir + "/responses/default";
    if (readFile(response + "/sleep_ms", text))
        ::usleep(useconds_t(std::atol(text.c_str())) * 1000);
    if (readFile(response + "/out", text))
        writeAll(1, text);
    if (readFile(response + "/err", text))
        writeAll(2, text);
    return readFile(response + "/code", text) ? std::atoi(text.c_str()) : 0;
}

std::string fromHex(const char* hex)
{
    std::string bytes;
    for (size_t i = 0; hex[i] && hex[i + 1]; i += 2)
        bytes.push_back(char(std::stoi(std::string(hex + i, 2), nullptr, 16)));
    return bytes;
}

void flood(int fd, long long total)
{
    std::string block;
    char line[64];
    for (long long lineNumber = 0; total > 0; block.clear()) {
        while (block.size() < 65536 && total > 0) {
            std::snprintf(line, sizeof line, "%062lld\n", lineNumber++);
            const size_t take = total < 63 ? size_t(total) : 63;
            block.append(line, take);
            total -= take;
        }
        writeAll(fd, block);
    }
}

// Pipes inherited beyond standard input, output and error: a descriptor that
// leaked into this child from another thread's run shows up here.
int countInheritedPipes()
{
    int count = 0;
    DIR* dir = ::opendir("/proc/self/fd");
    while (dirent* entry = dir ? ::readdir(dir) : nullptr) {
        const int fd = std::atoi(entry->d_name);
        char target[256] = {};
        if (fd > 2 && fd != ::dirfd(dir)
            && ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), target, sizeof target - 1) > 0)
            count += !std::strncmp(target, "pipe:", 5);
    }
    if (dir)
        ::closedir(dir);
    return count;
}

bool is(const char* step, const char* name, const char** value = nullptr)
{
    const size_t length = std::strlen(name);
    if (value)
        *value = step + length;
    return value ? !std::strncmp(step, name, length) : !std::strcmp(step, name);
}

} // namespace

int main(int argc, char** argv)
{
    const std::string self = argv[0];
    const size_t slash = self.rfind('/');
    if (slash != std::string::npos && self.substr(slash + 1) == "svn")
        return fakeSvn(self.substr(0, slash), argc, argv);

    for (int i = 1; i < argc; ++i) {
        const char* step = argv[i];
        const char* value = nullptr;
        if (is(step, "out:", &value)) {
            writeAll(1, fromHex(value));
        } else if (is(step, "err:", &value)) {
            writeAll(2, fromHex(value));
        } else if (is(step, "flood-out:", &value)) {
            flood(1, std::atoll(value));
        } else if (is(step, "flood-err:", &value)) {
            flood(2, std::atoll(value));
        } else if (is(step, "pwd")) {
            char cwd[PATH_MAX];
            if (::getcwd(cwd, sizeof cwd))
                writeAll(1, std::string(cwd) + '\n');
        } else if (is(step, "args")) {
            for (++i; i < argc; ++i)
                writeAll(1, std::string(argv[i]) + '\n');
        } else if (is(step, "close-out")) {
            ::close(1);
        } else if (is(step, "sleep:", &value)) {
            ::usleep(useconds_t(std::atol(value)) * 1000);
        } else if (is(step, "kill")) {
            ::kill(::getpid(), SIGKILL);
        } else if (is(step, "pipes")) {
            writeAll(1, std::to_string(countInheritedPipes()) + '\n');
        } else if (is(step, "stdin")) {
            writeAll(1, readInput());
        } else if (is(step, "ignore-term")) {
            ::signal(SIGTERM, SIG_IGN);
        } else if (is(step, "signal-mask")) {
            std::ifstream status("/proc/self/status");
            for (std::string line; std::getline(status, line);)
                if (!line.compare(0, 7, "SigBlk:"))
                    writeAll(1, line + '\n');
        } else if (is(step, "grandchild:", &value)) {
            if (::fork() == 0) {
                ::usleep(useconds_t(std::atol(value)) * 1000);
                ::_exit(0);
            }
        } else if (is(step, "grandchild-writes:", &value)) {
            char* file = nullptr;
            const long ms = std::strtol(value, &file, 10);
            if (::fork() == 0) {
                ::close(1);
                ::close(2);
                for (long waited = 0; waited < ms; waited += 200) {
                    writeFile(file + 1, "x\n", O_APPEND);
                    ::usleep(200000);
                }
                ::_exit(0);
            }
        } else if (is(step, "session")) {
            std::string stat;
            readFile("/proc/self/stat", stat);
            int terminal = -1;
            std::sscanf(stat.c_str() + stat.rfind(')') + 1, " %*c %*d %*d %*d %d", &terminal);
            const int tty = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
            const bool noTerminal = tty < 0 && errno == ENXIO;
            if (tty >= 0)
                ::close(tty);
            writeAll(1, std::to_string(::getsid(0) == ::getpid()) + ' ' + std::to_string(terminal) + ' '
                            + (noTerminal ? "ENXIO" : "tty") + '\n');
        } else if (is(step, "end")) {
            return 0;
        } else if (is(step, "exit:", &value)) {
            ::_exit(std::atoi(value));
        } else {
            return 100;
        }
    }
    return 0;
}
