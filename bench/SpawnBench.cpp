// Process spawning: output throughput and start-up latency of
// QTx::spawnProcess against QProcess (and, for the start-up, against a bare
// posix_spawn and against spawnProcess from a small process).

#include "Ballast.h"
#include "BenchChildren.h"
#include "BenchSummary.h"
#include "PeakMemory.h"
#include "QTxProcess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <benchmark/benchmark.h>

#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace {

const QString Child = QStringLiteral(BENCH_CHILD_PATH);

/** The lines of `bytes` cut as spawnProcess cuts them: LF or CR (skipping the next byte), Latin-1. */
QStringList splitLatin1Lines(const QByteArray& bytes)
{
    QStringList lines;
    const char* data = bytes.constData();
    const qsizetype size = bytes.size();
    qsizetype start = 0;
    qsizetype i = 0;
    while (i < size) {
        if (data[i] == '\n' || data[i] == '\r') {
            lines << (i == start ? QString() : QString::fromLatin1(data + start, i - start));
            i += data[i] == '\r' ? 2 : 1;
            start = i;
        } else {
            ++i;
        }
    }
    if (start < size)
        lines << QString::fromLatin1(data + start, size - start);
    return lines;
}

/** Runs the child through QProcess, reading and splitting its standard output; the line count. */
qsizetype runQProcess(const QStringList& arguments, QStringList* lines)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(Child, arguments);
    if (!process.waitForFinished(-1))
        throw std::runtime_error("QProcess run failed");
    const QByteArray out = process.readAllStandardOutput();
    const QByteArray err = process.readAllStandardError();
    if (lines) {
        *lines = splitLatin1Lines(out);
        splitLatin1Lines(err);
        return lines->size();
    }
    return 0;
}

// 4. Capturing 64 MiB of lines written as fast as the child can.
void BM_Capture64MiB(benchmark::State& state)
{
    constexpr qint64 Bytes = 64ll << 20;
    const QStringList spawnArguments{Child, QStringLiteral("flood"), QString::number(Bytes)};
    const QStringList qprocessArguments = spawnArguments.mid(1);
    std::vector<double> spawnSeconds;
    std::vector<double> qprocessSeconds;
    int iteration = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        auto timeSpawn = [&] {
            QStringList output;
            QStringList errors;
            timer.start();
            QTx::spawnProcess(spawnArguments, true, QString(), true, &output, &errors);
            spawnSeconds.push_back(timer.nsecsElapsed() / 1e9);
            if (output.size() != (Bytes + 62) / 63)
                throw std::runtime_error("spawnProcess lost lines");
        };
        auto timeQProcess = [&] {
            QStringList output;
            timer.start();
            runQProcess(qprocessArguments, &output);
            qprocessSeconds.push_back(timer.nsecsElapsed() / 1e9);
            if (output.size() != (Bytes + 62) / 63)
                throw std::runtime_error("QProcess lost lines");
        };
        BenchSummary::inTurn(iteration, timeSpawn, timeQProcess);
        state.SetIterationTime(spawnSeconds.back());
    }
    const double spawnMBs = Bytes / 1048576.0 / BenchSummary::median(spawnSeconds);
    const double qprocessMBs = Bytes / 1048576.0 / BenchSummary::median(qprocessSeconds);
    state.counters["spawnProcess_MiB_per_s"] = spawnMBs;
    state.counters["QProcess_MiB_per_s"] = qprocessMBs;
    state.counters["ratio"] = spawnMBs / qprocessMBs;
    state.SetBytesProcessed(state.iterations() * Bytes);
    BenchSummary::record("4. 64 MiB of lines: spawnProcess/QProcess", spawnMBs / qprocessMBs, "ratio", ">= 1.0",
                         "spawnProcess " + std::to_string(int(spawnMBs)) + " MiB/s, QProcess " +
                             std::to_string(int(qprocessMBs)) + " MiB/s (medians)");
}
BENCHMARK(BM_Capture64MiB)->Iterations(8)->UseManualTime()->Unit(benchmark::kMillisecond);

// 4b. Peak memory of capturing 64 MiB of lines, each way: what the lines
// themselves take (as QStrings, twice the bytes) plus the capture's own.
void BM_Capture64MiBPeakMemory(benchmark::State& state)
{
    constexpr qint64 Bytes = 64ll << 20;
    double spawnPeak = 0, qprocessPeak = 0;
    for (auto _ : state) {
        {
            PeakMemory peak;
            QStringList output, errors;
            QTx::spawnProcess({Child, QStringLiteral("flood"), QString::number(Bytes)}, true, QString(), true,
                              &output, &errors);
            spawnPeak = peak.mebibytes();
        }
        {
            PeakMemory peak;
            QStringList output;
            runQProcess({QStringLiteral("flood"), QString::number(Bytes)}, &output);
            qprocessPeak = peak.mebibytes();
        }
    }
    state.counters["spawnProcess_peak_MiB"] = spawnPeak;
    state.counters["QProcess_peak_MiB"] = qprocessPeak;
    BenchSummary::record("4b. peak memory, 64 MiB of lines captured by spawnProcess", spawnPeak, "MiB", "",
                         "QProcess with the same lines: " + std::to_string(int(qprocessPeak)) + " MiB");
}
BENCHMARK(BM_Capture64MiBPeakMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

int posixSpawnTrivial(const QByteArray& path)
{
    char* argv[] = {const_cast<char*>(path.constData()), nullptr};
    pid_t pid;
    if (::posix_spawn(&pid, path.constData(), nullptr, nullptr, argv, environ) != 0)
        return -1;
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

/** Milliseconds of a spawnProcess start measured in a small process: this binary run with --spawn-latency. */
double smallProcessSpawnMs()
{
    QProcess helper;
    helper.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--spawn-latency")});
    if (!helper.waitForFinished(60000) || helper.exitCode() != 0)
        throw std::runtime_error("the small process did not measure");
    return helper.readAllStandardOutput().trimmed().toDouble();
}

// 5. Start-up latency of a child that exits at once, from a process holding
// N MiB of touched memory, against QProcess and posix_spawn from the same
// process, and (with 4 GiB) against spawnProcess from a small process.
void BM_SpawnLatency(benchmark::State& state)
{
    const size_t mebibytes = size_t(state.range(0));
    Ballast ballast(mebibytes << 20);
    const QStringList arguments{Child};
    const QByteArray childPath = Child.toLatin1();
    const bool againstSmall = mebibytes >= 4096;
    std::vector<double> spawnMs, qprocessMs, posixMs, smallMs;
    int iteration = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        auto timeSpawn = [&] {
            QStringList output, errors;
            timer.start();
            if (QTx::spawnProcess(arguments, true, QString(), true, &output, &errors) != 0)
                throw std::runtime_error("spawnProcess failed");
            spawnMs.push_back(timer.nsecsElapsed() / 1e6);
        };
        auto timeQProcess = [&] {
            timer.start();
            runQProcess({}, nullptr);
            qprocessMs.push_back(timer.nsecsElapsed() / 1e6);
        };
        auto timePosix = [&] {
            timer.start();
            if (posixSpawnTrivial(childPath) != 0)
                throw std::runtime_error("posix_spawn failed");
            posixMs.push_back(timer.nsecsElapsed() / 1e6);
            if (againstSmall)
                smallMs.push_back(smallProcessSpawnMs());
        };
        switch (iteration++ % 3) {
        case 0: timeSpawn(); timeQProcess(); timePosix(); break;
        case 1: timeQProcess(); timePosix(); timeSpawn(); break;
        default: timePosix(); timeSpawn(); timeQProcess(); break;
        }
        state.SetIterationTime(spawnMs.back() / 1e3);
    }
    const double spawn = BenchSummary::median(spawnMs);
    const double qprocess = BenchSummary::median(qprocessMs);
    const double posix = BenchSummary::median(posixMs);
    state.counters["spawnProcess_ms"] = spawn;
    state.counters["QProcess_ms"] = qprocess;
    state.counters["posix_spawn_ms"] = posix;
    state.counters["ratio"] = spawn / qprocess;
    const std::string held = std::to_string(mebibytes) + " MiB held";
    BenchSummary::record("5. spawn latency, " + held + ": spawnProcess/QProcess", spawn / qprocess, "ratio",
                         againstSmall ? "<= 1.25" : "",
                         "spawnProcess " + std::to_string(spawn) + " ms, QProcess " + std::to_string(qprocess) +
                             " ms, posix_spawn " + std::to_string(posix) + " ms (medians)");
    if (againstSmall) {
        const double small = BenchSummary::median(smallMs);
        state.counters["small_process_ms"] = small;
        BenchSummary::record("5. spawn latency, " + held + " / from a small process", spawn / small, "ratio",
                             "<= 1.25",
                             "spawnProcess " + std::to_string(spawn) + " ms held, " + std::to_string(small) +
                                 " ms from a small process (medians)");
    }
}
BENCHMARK(BM_SpawnLatency)->Arg(0)->Arg(1024)->Arg(2048)->Arg(4096)->Iterations(30)->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    // The small process of figure 5: the median of five starts, in milliseconds.
    if (argc == 2 && std::strcmp(argv[1], "--spawn-latency") == 0) {
        std::vector<double> ms;
        for (int i = 0; i < 5; ++i) {
            QStringList output, errors;
            QElapsedTimer timer;
            timer.start();
            if (QTx::spawnProcess({Child}, true, QString(), true, &output, &errors) != 0)
                return 1;
            ms.push_back(timer.nsecsElapsed() / 1e6);
        }
        std::printf("%.4f\n", BenchSummary::median(ms));
        return 0;
    }
    if (argc >= 2)
        if (const BenchChildren::Main child = BenchChildren::find(argv[1]))
            return child(argc, argv);
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    BenchSummary::print();
    return 0;
}
