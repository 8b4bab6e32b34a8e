#include "ui/dialogs/ProgramIcon.h"

#include <QImage>
#include <QImageReader>
#include <QSet>

namespace glintmark::ui {

namespace {

const QString kIconFile = QStringLiteral(":/glintmark.ico");

qsizetype colourCount(const QImage& image)
{
    QSet<QRgb> colours;
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x)
            colours.insert(line[x]);
    }
    return colours.size();
}

} // namespace

QIcon programIcon()
{
    return QIcon(kIconFile);
}

QPixmap programIconImage(int side)
{
    QImageReader reader(kIconFile);
    QImage best;
    qsizetype bestColours = -1;
    QImage nearest;
    for (int i = 0; i < qMax(1, reader.imageCount()); ++i) {
        if (i > 0 && !reader.jumpToImage(i))
            break;
        const QImage image = reader.read();
        if (image.isNull())
            continue;
        if (image.width() == side && image.height() == side) {
            const qsizetype colours = colourCount(image);
            if (colours > bestColours) {
                best = image;
                bestColours = colours;
            }
        } else if (nearest.isNull() || qAbs(image.width() - side) < qAbs(nearest.width() - side)) {
            nearest = image;
        }
    }
    if (best.isNull() && !nearest.isNull())
        best = nearest.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return QPixmap::fromImage(best);
}

} // namespace glintmark::ui
