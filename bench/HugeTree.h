#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

/**
 * The working copy of the 250,000-file figures (6a and 10a at that size,
 * 11a to 11e): 5,000 folders "d0000" to "d4999" of 50 files "file00.cpp"
 * to "file49.cpp", one revision of a file:// repository, checked out
 * recursively. Made once per benchmark run, on first use, and shared by
 * every figure that needs it: the repository is loaded from a dump made in
 * memory (no staged tree, no import), and the 50 texts repeat in every
 * folder, so the checkout keeps 50 pristine texts, not 250,000. Throws
 * std::runtime_error when a step fails.
 */
struct HugeTree
{
    static constexpr int Folders = 5000;
    static constexpr int FilesPerFolder = 50;

    QTemporaryDir scratch;
    QTemporaryDir repositoryScratch;
    QString repository;
    QString url; ///< file:// URL of the checked-out folder
    QString workingCopy;
    QStringList folders; ///< relative, sorted ("d0000")
    QStringList files;   ///< relative, sorted ("d0000/file00.cpp")
    double loadSeconds = 0;
    double checkoutSeconds = 0;

    HugeTree();

    /** The one tree of a run, made on first use (prints how long that took to standard error). */
    static HugeTree& shared();

    /** The text file `index` (0 to 49) of every folder holds, as checked out. */
    static QByteArray text(int index);
};
