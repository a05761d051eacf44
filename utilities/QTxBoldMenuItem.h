#pragma once

#include <svnscc/svnscc_utilities_export.h>

#include "QCustomMenuItem.h"

#include <QFont>
#include <QString>

namespace QTx {

/**
 * A menu entry whose text is drawn in bold. An ampersand in the text is not
 * drawn; it underlines the character after it ("&&" draws one ampersand).
 * A font handed over through setFont is ignored: the entry keeps the font it
 * was made with.
 */
class SVNSCC_UTILITIES_EXPORT BoldMenuItem : public QCustomMenuItem
{
public:
    /** The entry with the application font made bold. */
    explicit BoldMenuItem(const QString& text);
    /** The entry with a copy of @p font made bold (other attributes, such as
     *  italic, kept). */
    BoldMenuItem(const QString& text, const QFont& font);

    /**
     * Sets the painter's font to the entry's font and draws the text left
     * aligned and vertically centred in (x, y, w, h), not clipped. The palette
     * and the active and enabled flags are not used: the text takes the
     * painter's current pen.
     */
    void paint(QPainter* painter, const QPalette& palette, bool active, bool enabled,
               int x, int y, int w, int h) override;
    /** The size of the whole text in the entry's font, with the same flags. */
    QSize sizeHint() override;

private:
    QString text;
    QFont font;
};

} // namespace QTx
