// Stand-in svn client for the provider's tests.
//
// It lives as a symbolic link named "svn" in a scratch directory D (the
// directory part of argv[0]; FAKE_SVN_DIR when argv[0] has no "/"). Each
// invocation, under an flock on D/lock:
//   - takes the next call number n from D/count;
//   - appends to D/calls one record: the argument count, the working
//     directory and every argument (argv[0] included), each terminated by a
//     NUL byte, so empty arguments and arguments holding spaces or line feeds
//     stay unambiguous;
//   - writes its environment to D/environment-n, one NUL-terminated
//     "NAME=value" after the other;
//   - with "--password-from-stdin" among its arguments, copies its standard
//     input to D/stdin-n;
// then answers from D/responses/n/ (or D/responses/default/ when that does not
// exist): waits "sleep_ms" milliseconds, writes "out" to standard output and
// "err" to standard error byte for byte, and exits with the code in "code"
// (0 when absent). No response at all: no output, exit 0.

#include <sys/file.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

extern char** environ;

namespace {

bool readFile(const std::string& path, std::string& data)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    data.clear();
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        data.append(buffer, n);
    std::fclose(f);
    return true;
}

void writeAll(int fd, const std::string& data)
{
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        done += size_t(n);
    }
}

bool isDirectory(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

int main(int argc, char** argv)
{
    std::string self = argv[0];
    std::string dir;
    size_t slash = self.rfind('/');
    if (slash != std::string::npos)
        dir = self.substr(0, slash);
    else if (const char* env = std::getenv("FAKE_SVN_DIR"))
        dir = env;
    else
        return 99;

    int lock = ::open((dir + "/lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock < 0 || ::flock(lock, LOCK_EX) != 0)
        return 98;

    std::string countText;
    long n = readFile(dir + "/count", countText) ? std::strtol(countText.c_str(), nullptr, 10) : 0;
    std::string next = std::to_string(n + 1);
    FILE* countFile = std::fopen((dir + "/count").c_str(), "wb");
    if (!countFile)
        return 97;
    std::fputs(next.c_str(), countFile);
    std::fclose(countFile);

    char cwd[PATH_MAX];
    if (!::getcwd(cwd, sizeof cwd))
        std::strcpy(cwd, "?");
    std::string record = std::to_string(argc);
    record.push_back('\0');
    record.append(cwd);
    record.push_back('\0');
    for (int i = 0; i < argc; ++i) {
        record.append(argv[i]);
        record.push_back('\0');
    }
    int calls = ::open((dir + "/calls").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (calls < 0)
        return 96;
    writeAll(calls, record);
    ::close(calls);
    std::string environment;
    for (char** entry = environ; *entry; ++entry) {
        environment.append(*entry);
        environment.push_back('\0');
    }
    int environmentFile = ::open((dir + "/environment-" + std::to_string(n)).c_str(),
                                 O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (environmentFile < 0)
        return 95;
    writeAll(environmentFile, environment);
    ::close(environmentFile);
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--password-from-stdin") != 0)
            continue;
        std::string input;
        char buffer[4096];
        ssize_t got;
        while ((got = ::read(0, buffer, sizeof buffer)) > 0)
            input.append(buffer, size_t(got));
        int inputFile = ::open((dir + "/stdin-" + std::to_string(n)).c_str(),
                               O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (inputFile < 0)
            return 94;
        writeAll(inputFile, input);
        ::close(inputFile);
    }
    ::flock(lock, LOCK_UN);
    ::close(lock);

    std::string response = dir + "/responses/" + std::to_string(n);
    if (!isDirectory(response))
        response = dir + "/responses/default";

    std::string text;
    if (readFile(response + "/sleep_ms", text))
        ::usleep(useconds_t(std::strtol(text.c_str(), nullptr, 10)) * 1000);
    if (readFile(response + "/out", text))
        writeAll(1, text);
    if (readFile(response + "/err", text))
        writeAll(2, text);
    int code = 0;
    if (readFile(response + "/code", text))
        code = int(std::strtol(text.c_str(), nullptr, 10));
    return code;
}
