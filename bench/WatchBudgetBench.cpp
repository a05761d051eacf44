// Figure 11c: the 250,000-file working copy watched with a watch budget
// smaller than its folders. The session reads its property `watching`
// (Full, Partial, None) through Qt's meta-object, so this file asks nothing
// of the session's C++ declarations.
//
// The budget is lowered without root and for this run alone: the
// measurement runs in a child process of this program in a user namespace
// of its own ("unshare --user --map-root-user"), where the namespace's root
// may lower /proc/sys/user/max_inotify_watches; the kernel holds the
// child's watches to that limit (and to every limit above it), and the
// machine's own limit is never touched.

#include "BenchChildren.h"
#include "BenchFiles.h"
#include "BenchSummary.h"
#include "HugeTree.h"
#include "SessionSides.h"
#include "StatusPassSetup.h"

#include "QTxProcess.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QSet>
#include <QTimer>
#include <QVariant>

#include <benchmark/benchmark.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <stdexcept>
#include <string>

namespace {

using namespace SessionSides;

const char Mode[] = "--watch-budget";
/** Watches the child may hold: fewer than the tree's 5,001 folders. */
constexpr int Budget = 1000;
/** How long an edit in an unwatched folder may take to be told. */
constexpr int EditWaitMs = 6000;

/** The inode numbers this process watches (the "ino:" fields of /proc/self/fdinfo). */
QSet<qulonglong> watchedInodes()
{
    QSet<qulonglong> inodes;
    const QStringList descriptors = QDir(QStringLiteral("/proc/self/fdinfo")).entryList(QDir::Files);
    for (const QString& descriptor : descriptors) {
        QFile file(QStringLiteral("/proc/self/fdinfo/") + descriptor);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& line : file.readAll().split('\n')) {
            const qsizetype at = line.startsWith("inotify wd:") ? line.indexOf(" ino:") : -1;
            if (at >= 0)
                inodes.insert(line.mid(at + 5, line.indexOf(' ', at + 5) - at - 5).toULongLong(nullptr, 16));
        }
    }
    return inodes;
}

/** The session's property `watching` by its name ("(none)" when the session has no such property). */
QString watching(const SvnScc::Session& session)
{
    const QVariant value = session.property("watching");
    if (!value.isValid())
        return QStringLiteral("(none)");
    const QString name = value.toString();
    return name.isEmpty() ? QString::number(value.toInt()) : name;
}

/**
 * The child: lowers the namespace's watch limit, opens a session on the
 * working copy argv[2] (URL argv[3]), passes over the whole tree, waits for
 * the watch to settle and `watching` to say Partial, then edits a file in
 * the last folder it does not watch and waits for its statusChanged; the
 * file's text is put back. Prints one line of key=value fields.
 */
int budgetChild(int argc, char** argv)
{
    if (argc != 4)
        return 2;
    {
        QFile limit(QStringLiteral("/proc/sys/user/max_inotify_watches"));
        if (!limit.open(QIODevice::WriteOnly) || limit.write(QByteArray::number(Budget)) <= 0) {
            std::printf("error=cannot-lower-the-limit\n");
            return 1;
        }
    }
    QCoreApplication application(argc, argv);
    const QString workingCopy = QString::fromLocal8Bit(argv[2]);
    const QString url = QString::fromLocal8Bit(argv[3]);
    try {
        SvnScc::Session session(QStringLiteral(PLUGIN_PATH));
        open(session, workingCopy, settings(url));
        const int before = inotifyWatches();
        QFuture<SvnScc::Status> pass = session.statusTree();
        pass.waitForFinished();
        pass = QFuture<SvnScc::Status>();
        handedToTheWatch(session);
        const Settled settled = settleWatches(before, 60000);
        QElapsedTimer waited;
        waited.start();
        while (watching(session) != QLatin1String("Partial") && waited.elapsed() < 3000) {
            QEventLoop loop;
            QTimer::singleShot(50, &loop, &QEventLoop::quit);
            loop.exec();
        }
        const QSet<qulonglong> inodes = watchedInodes();
        QString folder;
        for (int i = HugeTree::Folders - 1; i >= 0 && folder.isEmpty(); --i) {
            const QString name = QStringLiteral("d%1").arg(i, 4, 10, QLatin1Char('0'));
            struct stat info;
            if (::stat(QFile::encodeName(workingCopy + QLatin1Char('/') + name).constData(), &info) == 0
                && !inodes.contains(qulonglong(info.st_ino)))
                folder = name;
        }
        double toldMs = -1;
        if (!folder.isEmpty()) {
            const QString path = folder + QStringLiteral("/file17.cpp");
            QEventLoop loop;
            QElapsedTimer timer;
            QObject::connect(&session, &SvnScc::Session::statusChanged, &loop, [&](const SvnScc::Status& status) {
                if (status.path == path && status.columns.startsWith(QLatin1Char('M')) && toldMs < 0) {
                    toldMs = double(timer.nsecsElapsed()) / 1e6;
                    loop.quit();
                }
            });
            QTimer::singleShot(EditWaitMs, &loop, &QEventLoop::quit);
            timer.start();
            BenchFiles::writeFile(workingCopy + QLatin1Char('/') + path, HugeTree::text(17) + "// edited\n");
            loop.exec();
            BenchFiles::writeFile(workingCopy + QLatin1Char('/') + path, HugeTree::text(17));
        }
        std::printf("watching=%s watches=%d folder=%s told_ms=%.1f\n", qPrintable(watching(session)),
                    settled.watches, folder.isEmpty() ? "(none)" : qPrintable(folder), toldMs);
    } catch (const std::exception& e) {
        std::printf("error=%s\n", QString::fromLocal8Bit(e.what()).replace(QLatin1Char(' '), QLatin1Char('_'))
                                      .toLocal8Bit().constData());
        return 1;
    }
    return 0;
}

[[maybe_unused]] const int childMode = BenchChildren::add(Mode, budgetChild);

// 11c. The child above, run once in a user namespace of its own.
void BM_WatchBudget(benchmark::State& state)
{
    StatusPassSetup::guarded(state, [&] {
        const HugeTree& tree = HugeTree::shared();
        std::map<QString, QString> fields;
        for (auto _ : state) {
            QStringList output, errors;
            const int exit = QTx::spawnProcess({QStringLiteral("unshare"), QStringLiteral("--user"),
                                                QStringLiteral("--map-root-user"),
                                                QCoreApplication::applicationFilePath(), QString::fromLatin1(Mode),
                                                tree.workingCopy, tree.url},
                                               true, QString(), true, &output, &errors);
            for (const QString& line : output)
                for (const QString& field : line.split(QLatin1Char(' '), Qt::SkipEmptyParts))
                    fields[field.section(QLatin1Char('='), 0, 0)] = field.section(QLatin1Char('='), 1);
            if (exit != 0)
                throw std::runtime_error("the child in its own user namespace failed: " +
                                         (output + errors).join(QLatin1Char(' ')).toStdString());
        }
        const bool partial = fields[QStringLiteral("watching")] == QLatin1String("Partial");
        const double toldMs = fields[QStringLiteral("told_ms")].toDouble();
        const std::string budget = "budget " + std::to_string(Budget) + " watches < " +
                                   std::to_string(tree.folders.size() + 1) + " folders";
        BenchSummary::record("11c. 250,000 files, " + budget + ": watching is Partial", partial ? 1 : 0, "yes=1",
                             ">= 1",
                             "watching = " + fields[QStringLiteral("watching")].toStdString() + ", " +
                                 fields[QStringLiteral("watches")].toStdString() + " watches held");
        BenchSummary::record("11c. 250,000 files, " + budget + ": an edit in an unwatched folder told",
                             toldMs < 0 ? double(EditWaitMs) : toldMs, "ms", "<= 3000",
                             "in " + fields[QStringLiteral("folder")].toStdString() +
                                 (toldMs < 0 ? ": not told within " + std::to_string(EditWaitMs / 1000) + " s"
                                             : std::string()));
    });
}
BENCHMARK(BM_WatchBudget)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
