#pragma once

#include <svnscc/svnscc_utilities_export.h>

#include <QFile>
#include <QIODevice>
#include <QString>

namespace QTx {

/**
 * A QFile whose open asks the user first, in modal message boxes, before it
 * overwrites an existing file or writes into a directory that does not exist
 * yet, and makes the missing directory when the user agrees.
 *
 * The boxes have as parent the top-level widget of the main widget named
 * with QTx::setMainWidget (QTxServices.h); no parent when none is named.
 * They run a local event loop: call from the GUI thread only.
 */
class SVNSCC_UTILITIES_EXPORT QCheckedFile : public QFile
{
public:
    /** The file object for @p name, not open. */
    explicit QCheckedFile(const QString& name);
    ~QCheckedFile() override;

    using QFile::open;
    /**
     * openCheck(fileName(), mode), then, only when that passes, QFile::open.
     * @return false when openCheck refuses (the file stays closed and the
     *         disk untouched); otherwise the result of QFile::open. A
     *         directory made by openCheck stays even if QFile::open fails.
     */
    bool open(QIODevice::OpenMode mode) override;

    /**
     * Asks whether @p name may be opened with @p mode, without opening it.
     * Modes that write (WriteOnly, and Append or NewOnly, which imply it)
     * are checked; read-only modes always pass without asking.
     *
     *  1. When the file exists: "Warning" box, "The file "NAME" already
     *     exists." and on a second line "Do you want to overwrite "NAME"?";
     *     Yes, or No (the default and the Escape answer) refuses.
     *  2. When the file's directory (as written: QFileInfo::path) does not
     *     exist: "Directory does not exist" box, "The directory "DIR" does
     *     not exist.  Do you want to create it?"; Yes (the default) makes it
     *     with all missing parents, No (the Escape answer) refuses.
     *  3. When the directory cannot be made: critical "Error" box, "Cannot
     *     create directory "DIR."" with a single Ok, and refuses.
     *
     * NAME is @p name as passed, DIR the QDir path of its directory.
     * @return true when the file may be opened; false when the user refused
     *         or the directory could not be made.
     */
    static bool openCheck(const QString& name, QIODevice::OpenMode mode);
};

} // namespace QTx
