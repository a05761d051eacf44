// The benchmarks' child process.
//   svnscc_bench_child              exit at once with status 0
//   svnscc_bench_child flood N      write N bytes of numbered 63-byte lines
//                                   ("%062d\n") to standard output, then exit

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv)
{
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
