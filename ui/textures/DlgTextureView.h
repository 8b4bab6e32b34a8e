#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
class QScrollArea;

namespace glintmark::ui {

class ZoomCanvas;

// A texture at full size in a window of its own, with zoom: in and out by steps, at its actual
// size, or fitted into the window. Enlarged pixels stay sharp.
class DlgTextureView : public QDialog
{
    Q_OBJECT

public:
    explicit DlgTextureView(QWidget* parent = nullptr);

    // Shows that the texture named `title` is being decoded, in place of the last one.
    void showDecoding(const QString& title);
    // Shows the decoded texture at its actual size, or fitted when larger than the window.
    void showImage(const QImage& image);
    // Shows why the texture cannot be shown.
    void showError(const QString& error);

    // The zoom, 1.0 being a screen pixel per texture pixel.
    double zoom() const;
    // The picture shown; null while decoding or after an error.
    const QImage& image() const;

    // The next step in or out; the zoom unchanged at the last step.
    void zoomIn();
    void zoomOut();
    // A screen pixel per texture pixel.
    void actualSize();
    // The whole texture in the window, enlarged or reduced.
    void fitToWindow();

protected:
    // Ctrl with the wheel zooms; the wheel alone scrolls.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setZoom(double zoom);

    QScrollArea* m_scroll = nullptr;
    ZoomCanvas* m_canvas = nullptr;
    QLabel* m_lblZoom = nullptr;
    QLabel* m_lblStatus = nullptr;
    QPushButton* m_cmdZoomOut = nullptr;
    QPushButton* m_cmdZoomIn = nullptr;
    QPushButton* m_cmdActual = nullptr;
    QPushButton* m_cmdFit = nullptr;
};

} // namespace glintmark::ui
