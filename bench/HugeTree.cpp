#include "HugeTree.h"

#include "BenchFiles.h"

#include <QElapsedTimer>

#include <cstdio>
#include <stdexcept>

namespace {

using BenchFiles::runOrThrow;

const char SvnClient[] = "/usr/bin/svn";

QByteArray properties(const std::initializer_list<std::pair<const char*, const char*>>& pairs)
{
    QByteArray block;
    for (const auto& [key, value] : pairs)
        block += "K " + QByteArray::number(qsizetype(qstrlen(key))) + '\n' + key + "\nV " +
                 QByteArray::number(qsizetype(qstrlen(value))) + '\n' + value + '\n';
    return block + "PROPS-END\n";
}

void addFolder(QByteArray& dump, const QByteArray& path)
{
    dump += "Node-path: " + path +
            "\nNode-kind: dir\nNode-action: add\nProp-content-length: 10\nContent-length: 10\n\nPROPS-END\n\n\n";
}

/**
 * A dump (format 2) of one revision that adds "project" and the whole tree
 * below it: what svnadmin load turns into the repository without a client,
 * a staged tree or an import's working files.
 */
QByteArray treeDump()
{
    QByteArray dump;
    dump.reserve(40 << 20);
    const QByteArray revision =
        properties({{"svn:log", "import"}, {"svn:author", "bench"}, {"svn:date", "2026-01-01T00:00:00.000000Z"}});
    const QByteArray length = QByteArray::number(revision.size());
    dump += "SVN-fs-dump-format-version: 2\n\nRevision-number: 1\nProp-content-length: " + length +
            "\nContent-length: " + length + "\n\n" + revision + '\n';
    addFolder(dump, "project");
    for (int folder = 0; folder < HugeTree::Folders; ++folder) {
        const QByteArray folderPath = "project/d" + QByteArray::number(folder).rightJustified(4, '0');
        addFolder(dump, folderPath);
        for (int file = 0; file < HugeTree::FilesPerFolder; ++file) {
            const QByteArray text = HugeTree::text(file);
            dump += "Node-path: " + folderPath + "/file" + QByteArray::number(file).rightJustified(2, '0') +
                    ".cpp\nNode-kind: file\nNode-action: add\nProp-content-length: 10\nText-content-length: " +
                    QByteArray::number(text.size()) + "\nContent-length: " + QByteArray::number(10 + text.size()) +
                    "\n\nPROPS-END\n" + text + "\n\n";
        }
    }
    return dump;
}

} // namespace

QByteArray HugeTree::text(int index)
{
    return "int f" + QByteArray::number(index).rightJustified(2, '0') + ";\n";
}

HugeTree::HugeTree() : repositoryScratch(BenchFiles::fastScratchTemplate())
{
    if (!scratch.isValid() || !repositoryScratch.isValid())
        throw std::runtime_error("no scratch folder");
    repository = repositoryScratch.path() + QStringLiteral("/repo");
    const QString dumpFile = repositoryScratch.path() + QStringLiteral("/tree.dump");
    QElapsedTimer timer;
    timer.start();
    BenchFiles::writeFile(dumpFile, treeDump());
    runOrThrow({QStringLiteral("svnadmin"), QStringLiteral("create"), repository});
    runOrThrow({QStringLiteral("svnadmin"), QStringLiteral("load"), QStringLiteral("--quiet"),
                QStringLiteral("--memory-cache-size"), QStringLiteral("256"), QStringLiteral("--file"), dumpFile,
                repository});
    QFile::remove(dumpFile);
    loadSeconds = double(timer.nsecsElapsed()) / 1e9;
    url = QStringLiteral("file://") + repository + QStringLiteral("/project");
    workingCopy = scratch.path() + QStringLiteral("/wc");
    timer.restart();
    // The working copy's database held exclusively for the checkout alone:
    // one lock for the whole run instead of one per write.
    runOrThrow({QString::fromLatin1(SvnClient), QStringLiteral("checkout"), QStringLiteral("--quiet"),
                QStringLiteral("--config-option"), QStringLiteral("config:working-copy:exclusive-locking=true"), url,
                workingCopy});
    checkoutSeconds = double(timer.nsecsElapsed()) / 1e9;
    for (int folder = 0; folder < Folders; ++folder) {
        const QString name = QStringLiteral("d%1").arg(folder, 4, 10, QLatin1Char('0'));
        folders << name;
        for (int file = 0; file < FilesPerFolder; ++file)
            files << name + QStringLiteral("/file%1.cpp").arg(file, 2, 10, QLatin1Char('0'));
    }
    if (!QFileInfo::exists(workingCopy + QLatin1Char('/') + files.last()))
        throw std::runtime_error("the 250,000-file working copy lacks " + files.last().toStdString());
}

HugeTree& HugeTree::shared()
{
    static HugeTree tree;
    static const bool told = [] {
        std::fprintf(stderr, "250,000-file working copy made: svnadmin load %.1f s, checkout %.1f s\n",
                     tree.loadSeconds, tree.checkoutSeconds);
        return true;
    }();
    (void)told;
    return tree;
}
