#pragma once

#include <QImage>
#include <QWidget>

namespace glintmark::ui {

// A picture drawn at a zoom: enlarged by whole pixels (nearest neighbour) so that a texture's
// pixels stay sharp, reduced smoothly. Only the part on screen is drawn, so memory stays that of
// the picture whatever the zoom.
class ZoomCanvas : public QWidget
{
    Q_OBJECT

public:
    explicit ZoomCanvas(QWidget* parent = nullptr);

    // Shows `image` (null: nothing) at the zoom set.
    void setImage(const QImage& image);
    const QImage& image() const { return m_image; }
    // The zoom, 1.0 being a screen pixel per picture pixel.
    void setZoom(double zoom);
    double zoom() const { return m_zoom; }
    // The size the picture takes at the zoom set.
    QSize zoomedSize() const;

    QSize sizeHint() const override { return zoomedSize(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_image;
    double m_zoom = 1.0;
};

} // namespace glintmark::ui
