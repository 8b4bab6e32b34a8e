#include "ui/textures/ZoomCanvas.h"

#include <QPaintEvent>
#include <QPainter>

#include <cmath>

namespace glintmark::ui {

ZoomCanvas::ZoomCanvas(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("canvas"));
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void ZoomCanvas::setImage(const QImage& image)
{
    m_image = image;
    resize(zoomedSize());
    updateGeometry();
    update();
}

void ZoomCanvas::setZoom(double zoom)
{
    if (!(zoom > 0.0))
        return;
    m_zoom = zoom;
    resize(zoomedSize());
    updateGeometry();
    update();
}

QSize ZoomCanvas::zoomedSize() const
{
    if (m_image.isNull())
        return {0, 0};
    return {std::max(1, static_cast<int>(std::lround(m_image.width() * m_zoom))),
            std::max(1, static_cast<int>(std::lround(m_image.height() * m_zoom)))};
}

void ZoomCanvas::paintEvent(QPaintEvent* event)
{
    if (m_image.isNull())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, m_zoom < 1.0);
    // The picture pixels under the part to paint, a pixel more on each side so that partly
    // covered ones are drawn whole; the painter clips to the exposed part.
    const QRect exposed = event->rect();
    const int left = std::max(0, static_cast<int>(std::floor(exposed.left() / m_zoom)) - 1);
    const int top = std::max(0, static_cast<int>(std::floor(exposed.top() / m_zoom)) - 1);
    const int right =
        std::min(m_image.width(), static_cast<int>(std::ceil((exposed.right() + 1) / m_zoom)) + 1);
    const int bottom = std::min(m_image.height(),
                                static_cast<int>(std::ceil((exposed.bottom() + 1) / m_zoom)) + 1);
    if (right <= left || bottom <= top)
        return;
    const QRectF target(left * m_zoom, top * m_zoom, (right - left) * m_zoom,
                        (bottom - top) * m_zoom);
    painter.drawImage(target, m_image, QRectF(left, top, right - left, bottom - top));
}

} // namespace glintmark::ui
