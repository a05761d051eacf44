// The status pass over 2,000 folders of 10 files over file:// (no relay):
// the first full pass against one bare client run, and the memory the
// cache holds per file (figure 6f).

#include "StatusPassSetup.h"

#include "BenchSummary.h"

#include <malloc.h>
#include <unistd.h>

#include <cstdio>

namespace {

using namespace StatusPassSetup;

// 6f. 2,000 folders of 10 files over file:// (no relay): the first full pass
// with the whole-tree scope against one bare "status -u -v" at the root.
// Alternating order.
void BM_LargeTreeFirstPass(benchmark::State& state)
{
    guarded(state, [&] {
        LargeTree& tree = shared<LargeTree>();
        std::vector<double> providerMs, bareMs;
        wholeTreePasses(state, tree.url, tree.workingCopy, tree.files, providerMs, bareMs);
        recordRatio(state, "6f. 20,000 files, file://: first pass WorkingCopy / bare status -u -v", providerMs,
                    bareMs, "<= 1.05", "pass", "bare run");
    });
}
BENCHMARK(BM_LargeTreeFirstPass)->Iterations(7)->UseManualTime()->Unit(benchmark::kMillisecond);

/** This process's resident memory in bytes. */
double residentBytes()
{
    long pages = 0, resident = 0;
    if (std::FILE* file = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(file, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(file);
    }
    return double(resident) * double(::sysconf(_SC_PAGESIZE));
}

// 6f. The same tree: resident memory per cached file after the first pass
// of a fresh provider (growth from just before the pass to just after it,
// freed heap handed back to the system first so that it cannot hide the
// growth). The detail gives the same once the pass's freed memory (the
// client's output, the parse) is handed back too: what the cache holds.
void BM_LargeTreeCacheMemory(benchmark::State& state)
{
    guarded(state, [&] {
        LargeTree& tree = shared<LargeTree>();
        std::vector<double> perFile, heldPerFile;
        for (auto _ : state) {
            auto svn = boundProvider(Scope::WorkingCopy, tree.url, tree.workingCopy);
            ::malloc_trim(0);
            const double before = residentBytes();
            timedPass(*svn, tree.files);
            const double after = residentBytes();
            ::malloc_trim(0);
            const double held = residentBytes();
            perFile.push_back((after - before) / double(tree.files.all.size()));
            heldPerFile.push_back((held - before) / double(tree.files.all.size()));
        }
        state.counters["bytes_per_file"] = BenchSummary::median(perFile);
        BenchSummary::record("6f. 20,000 files: resident memory per cached file", BenchSummary::median(perFile),
                             "bytes", "<= 300",
                             "RSS growth over the pass / " + std::to_string(tree.files.all.size()) +
                                 " files (median of " + std::to_string(perFile.size()) + "); " +
                                 fixed(BenchSummary::median(heldPerFile)) + " bytes once freed memory is trimmed");
    });
}
BENCHMARK(BM_LargeTreeCacheMemory)->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace
