#pragma once

#include <svnscc/svnscc_utilities_export.h>

#include <QString>

class QWidget;

/**
 * Services between the utility layer and the host application: which widget
 * is the host's main widget, widget ancestry, the mouse-wheel setting, and
 * the desktop services, which do nothing on this platform.
 */
namespace QTx {

/** Kinds of volume; on this platform only UnknownVolume is ever reported. */
enum VolumeType {
    UnknownVolume = 0,
    FixedVolume,
    RemovableVolume,
    NetworkVolume,
    OpticalVolume
};

/**
 * Names the host's main widget, the parent (through its top-level widget) of
 * the utility layer's message boxes. Null, the default, means no main widget.
 * The widget is held weakly: once it is destroyed, mainWidget() gives null.
 */
SVNSCC_UTILITIES_EXPORT void setMainWidget(QWidget* widget);
/** The widget named by setMainWidget; null when none is named or it is gone. */
SVNSCC_UTILITIES_EXPORT QWidget* mainWidget();

/**
 * @return true when @p candidate is @p widget itself or one of its parent
 *         widgets, following the whole parent chain; false for a null
 *         @p widget.
 */
SVNSCC_UTILITIES_EXPORT bool isAncestor(QWidget* widget, QWidget* candidate);

/** QApplication::wheelScrollLines(): lines scrolled per wheel step. */
SVNSCC_UTILITIES_EXPORT int wheelScrollLines();

/** Does nothing on this platform. */
SVNSCC_UTILITIES_EXPORT void soundAlert();
/** Opens nothing on this platform. @return always false. */
SVNSCC_UTILITIES_EXPORT bool openSystemBrowser(const QString& url);
/**
 * Forms the link "mailto:" + recipient + "?subject=" + subject + "&body=" +
 * body (not percent-encoded) and drops it: nothing is sent or opened on this
 * platform. @return always false.
 */
SVNSCC_UTILITIES_EXPORT bool sendMail(const QString& recipient, const QString& subject,
                                      const QString& body);
/** Does nothing on this platform. */
SVNSCC_UTILITIES_EXPORT void openInExplorer(const QString& path);
/** Sets @p name to the null string and @p type to UnknownVolume, whatever
 *  @p path is. */
SVNSCC_UTILITIES_EXPORT void getVolumeInformation(const QString& path, QString& name,
                                                  VolumeType& type);

} // namespace QTx
