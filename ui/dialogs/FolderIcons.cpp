#include "ui/dialogs/FolderIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace glintmark::ui {

namespace FolderIcons {
namespace {

const QColor kOutline(128, 96, 24);
const QColor kBack(222, 176, 64);
const QColor kFront(250, 214, 110);

// The back of the folder with its tab, on a 16 x 16 grid.
QPainterPath backShape()
{
    QPainterPath back;
    back.moveTo(1.5, 13.5);
    back.lineTo(1.5, 2.5);
    back.lineTo(6.0, 2.5);
    back.lineTo(7.5, 4.0);
    back.lineTo(13.5, 4.0);
    back.lineTo(13.5, 13.5);
    back.closeSubpath();
    return back;
}

QPixmap draw(int size, bool open)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 16.0, size / 16.0);
    painter.setPen(QPen(kOutline, 1.0));
    painter.setBrush(kBack);
    painter.drawPath(backShape());
    if (open) {
        // A sheet inside, and the front flap falling forward to the right.
        painter.setBrush(Qt::white);
        painter.drawRect(QRectF(3.5, 5.0, 8.5, 5.0));
        const QPolygonF flap{{4.0, 7.5}, {15.5, 7.5}, {13.0, 13.5}, {1.5, 13.5}};
        painter.setBrush(kFront);
        painter.drawPolygon(flap);
    } else {
        painter.setBrush(kFront);
        painter.drawRect(QRectF(1.5, 5.5, 12.0, 8.0));
    }
    return pixmap;
}

QIcon make(bool open)
{
    QIcon icon;
    for (const int size : {16, 20, 24, 32, 40, 48})
        icon.addPixmap(draw(size, open));
    return icon;
}

} // namespace

QIcon open()
{
    return make(true);
}

QIcon closed()
{
    return make(false);
}

} // namespace FolderIcons

} // namespace glintmark::ui
