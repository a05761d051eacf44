#include "QTxBoldMenuItem.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>

namespace {

const int textFlags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextDontClip | Qt::TextShowMnemonic;

QFont boldCopy(QFont font)
{
    font.setWeight(QFont::Bold);
    return font;
}

} // namespace

namespace QTx {

BoldMenuItem::BoldMenuItem(const QString& itemText)
    : text(itemText), font(boldCopy(QApplication::font()))
{
}

BoldMenuItem::BoldMenuItem(const QString& itemText, const QFont& itemFont)
    : text(itemText), font(boldCopy(itemFont))
{
}

void BoldMenuItem::paint(QPainter* painter, const QPalette& palette, bool active, bool enabled,
                         int x, int y, int w, int h)
{
    Q_UNUSED(palette);
    Q_UNUSED(active);
    Q_UNUSED(enabled);
    painter->setFont(font);
    painter->drawText(x, y, w, h, textFlags, text);
}

QSize BoldMenuItem::sizeHint()
{
    return QFontMetrics(font).size(textFlags, text);
}

} // namespace QTx
