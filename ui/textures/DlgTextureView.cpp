#include "ui/textures/DlgTextureView.h"

#include "ui/textures/ZoomCanvas.h"

#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <iterator>

namespace glintmark::ui {

namespace {

// The zoom's steps, as fractions of the actual size.
constexpr double kSteps[] = {0.125, 0.25, 0.5,  1.0,  2.0,  3.0, 4.0,
                             6.0,   8.0,  12.0, 16.0, 24.0, 32.0};
// How far a step must be from the zoom to count as another one.
constexpr double kSameStep = 1e-6;

} // namespace

DlgTextureView::DlgTextureView(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("DlgTextureView"));
    setWindowTitle(tr("Texture"));
    resize(640, 520);

    m_canvas = new ZoomCanvas(this);
    m_scroll = new QScrollArea(this);
    m_scroll->setObjectName(QStringLiteral("scrollView"));
    m_scroll->setWidget(m_canvas);
    m_scroll->setAlignment(Qt::AlignCenter);
    m_scroll->setBackgroundRole(QPalette::Dark);
    m_scroll->viewport()->installEventFilter(this);

    m_cmdZoomOut = new QPushButton(tr("Zoom &Out"), this);
    m_cmdZoomOut->setObjectName(QStringLiteral("CmdZoomOut"));
    m_cmdZoomIn = new QPushButton(tr("Zoom &In"), this);
    m_cmdZoomIn->setObjectName(QStringLiteral("CmdZoomIn"));
    m_cmdActual = new QPushButton(tr("&Actual Size"), this);
    m_cmdActual->setObjectName(QStringLiteral("CmdActualSize"));
    m_cmdFit = new QPushButton(tr("&Fit"), this);
    m_cmdFit->setObjectName(QStringLiteral("CmdFit"));
    m_lblZoom = new QLabel(this);
    m_lblZoom->setObjectName(QStringLiteral("lblZoom"));
    m_lblStatus = new QLabel(this);
    m_lblStatus->setObjectName(QStringLiteral("lblStatus"));
    m_lblStatus->setWordWrap(true);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_cmdZoomOut);
    buttons->addWidget(m_cmdZoomIn);
    buttons->addWidget(m_cmdActual);
    buttons->addWidget(m_cmdFit);
    buttons->addWidget(m_lblZoom);
    buttons->addWidget(m_lblStatus, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_scroll, 1);
    layout->addLayout(buttons);

    connect(m_cmdZoomOut, &QPushButton::clicked, this, &DlgTextureView::zoomOut);
    connect(m_cmdZoomIn, &QPushButton::clicked, this, &DlgTextureView::zoomIn);
    connect(m_cmdActual, &QPushButton::clicked, this, &DlgTextureView::actualSize);
    connect(m_cmdFit, &QPushButton::clicked, this, &DlgTextureView::fitToWindow);
    connect(new QShortcut(QKeySequence::ZoomIn, this), &QShortcut::activated, this,
            &DlgTextureView::zoomIn);
    connect(new QShortcut(QKeySequence::ZoomOut, this), &QShortcut::activated, this,
            &DlgTextureView::zoomOut);
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_0), this), &QShortcut::activated, this,
            &DlgTextureView::actualSize);
    showError(QString());
}

void DlgTextureView::showDecoding(const QString& title)
{
    setWindowTitle(title);
    m_canvas->setImage({});
    m_lblStatus->setText(tr("Decoding..."));
    setZoom(1.0);
}

void DlgTextureView::showImage(const QImage& image)
{
    m_canvas->setImage(image);
    m_lblStatus->setText(tr("%1 \u00d7 %2").arg(image.width()).arg(image.height()));
    const QSize room = m_scroll->viewport()->size();
    if (image.width() > room.width() || image.height() > room.height())
        fitToWindow();
    else
        setZoom(1.0);
}

void DlgTextureView::showError(const QString& error)
{
    m_canvas->setImage({});
    m_lblStatus->setText(error);
    setZoom(1.0);
}

double DlgTextureView::zoom() const
{
    return m_canvas->zoom();
}

const QImage& DlgTextureView::image() const
{
    return m_canvas->image();
}

void DlgTextureView::zoomIn()
{
    const double now = zoom();
    const auto* next = std::find_if(std::begin(kSteps), std::end(kSteps),
                                    [now](double step) { return step > now + kSameStep; });
    if (next != std::end(kSteps))
        setZoom(*next);
}

void DlgTextureView::zoomOut()
{
    const double now = zoom();
    const auto last = std::find_if(std::rbegin(kSteps), std::rend(kSteps),
                                   [now](double step) { return step < now - kSameStep; });
    if (last != std::rend(kSteps))
        setZoom(*last);
}

void DlgTextureView::actualSize()
{
    setZoom(1.0);
}

void DlgTextureView::fitToWindow()
{
    const QImage& shown = image();
    if (shown.isNull())
        return;
    const QSize room = m_scroll->viewport()->size();
    const double across = static_cast<double>(room.width()) / shown.width();
    const double down = static_cast<double>(room.height()) / shown.height();
    double fit = std::min(across, down);
    // Enlarged, by whole pixels, so that every texture pixel is as wide as the next.
    if (fit >= 1.0)
        fit = std::floor(fit);
    setZoom(std::clamp(fit, kSteps[0], kSteps[std::size(kSteps) - 1]));
}

bool DlgTextureView::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Wheel) {
        auto* wheel = static_cast<QWheelEvent*>(event);
        if (wheel->modifiers().testFlag(Qt::ControlModifier)) {
            if (wheel->angleDelta().y() > 0)
                zoomIn();
            else if (wheel->angleDelta().y() < 0)
                zoomOut();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void DlgTextureView::setZoom(double zoom)
{
    // The point of the texture in the middle of the window stays there.
    QScrollBar* across = m_scroll->horizontalScrollBar();
    QScrollBar* down = m_scroll->verticalScrollBar();
    const QSize room = m_scroll->viewport()->size();
    const QSize before = m_canvas->size();
    // (A texture smaller than the window is shown in its middle.)
    const double middleX = before.width() <= room.width()
                               ? 0.5
                               : (across->value() + room.width() / 2.0) / before.width();
    const double middleY = before.height() <= room.height()
                               ? 0.5
                               : (down->value() + room.height() / 2.0) / before.height();
    m_canvas->setZoom(zoom);
    const QSize after = m_canvas->size();
    across->setValue(static_cast<int>(std::lround(middleX * after.width() - room.width() / 2.0)));
    down->setValue(static_cast<int>(std::lround(middleY * after.height() - room.height() / 2.0)));
    const bool shown = !image().isNull();
    m_lblZoom->setText(shown ? tr("%1%").arg(std::lround(zoom * 100.0)) : QString());
    m_cmdZoomIn->setEnabled(shown && zoom < kSteps[std::size(kSteps) - 1] - kSameStep);
    m_cmdZoomOut->setEnabled(shown && zoom > kSteps[0] + kSameStep);
    m_cmdActual->setEnabled(shown);
    m_cmdFit->setEnabled(shown);
}

} // namespace glintmark::ui
