#pragma once

#include <svnscc/svnscc_utilities_export.h>

#include <QFont>
#include <QPalette>
#include <QSize>

class QPainter;

/**
 * The base of a menu entry that draws and measures itself. The toolkit no
 * longer provides one; this is the least the host's menus need: the menu asks
 * fullSpan and isSeparator to lay the entry out, hands it the menu font
 * through setFont, and calls sizeHint and paint.
 */
class SVNSCC_UTILITIES_EXPORT QCustomMenuItem
{
public:
    QCustomMenuItem() = default;
    virtual ~QCustomMenuItem() = default;

    /** Whether the entry takes the whole width of the menu; false here. */
    virtual bool fullSpan() const { return false; }
    /** Whether the entry is a separator; false here. */
    virtual bool isSeparator() const { return false; }
    /** The menu's font for the entry; ignored here. */
    virtual void setFont(const QFont& font) { Q_UNUSED(font); }
    /**
     * Draws the entry into the rectangle (@p x, @p y, @p w, @p h).
     * @param painter the menu's painter, set up for the menu
     * @param palette the menu's colours
     * @param active  the entry is highlighted
     * @param enabled the entry can be chosen
     * @param x       left edge of the entry's rectangle
     * @param y       top edge of the entry's rectangle
     * @param w       width of the entry's rectangle
     * @param h       height of the entry's rectangle
     */
    virtual void paint(QPainter* painter, const QPalette& palette, bool active, bool enabled,
                       int x, int y, int w, int h) = 0;
    /** The size the entry needs. */
    virtual QSize sizeHint() = 0;

    QCustomMenuItem(const QCustomMenuItem&) = delete;
    QCustomMenuItem& operator=(const QCustomMenuItem&) = delete;
};
