#include "ui/FlatButtonStyle.h"

#include <QAbstractButton>
#include <QApplication>
#include <QPainter>
#include <QPointer>
#include <QStyleFactory>
#include <QStyleOption>
#include <QtMath>

#include <algorithm>
#include <cmath>

namespace glintmark::ui {

FlatButtonStyle::FlatButtonStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

FlatButtonStyle* FlatButtonStyle::instance()
{
    static QPointer<FlatButtonStyle> style;
    if (!style) {
        style = new FlatButtonStyle();
        style->setParent(qApp);
    }
    return style;
}

namespace {

// A border of whole device pixels (one, or as many as the scale factor has whole pixels) just
// inside the rectangle. A one-pixel line on a logical edge can fall off the painted area when
// the scale factor puts that edge between two device pixels.
void drawBorder(QPainter* painter, const QRect& rect, const QColor& colour)
{
    const QTransform toDevice = painter->deviceTransform();
    if (!toDevice.isInvertible() || toDevice.isRotating())
        return;
    const QRectF area = toDevice.mapRect(QRectF(rect));
    const QRect pixels(QPoint(qCeil(area.left()), qCeil(area.top())),
                       QPoint(qFloor(area.right()) - 1, qFloor(area.bottom()) - 1));
    const int width = std::max(1, int(std::abs(toDevice.m11())));
    painter->save();
    painter->setWorldTransform(toDevice.inverted() * painter->worldTransform());
    painter->setRenderHint(QPainter::Antialiasing, false);
    painter->fillRect(QRect(pixels.left(), pixels.top(), pixels.width(), width), colour);
    painter->fillRect(QRect(pixels.left(), pixels.bottom() - width + 1, pixels.width(), width),
                      colour);
    painter->fillRect(QRect(pixels.left(), pixels.top(), width, pixels.height()), colour);
    painter->fillRect(QRect(pixels.right() - width + 1, pixels.top(), width, pixels.height()),
                      colour);
    painter->restore();
}

} // namespace

QRect FlatButtonStyle::focusRect(const QStyleOption* option, const QWidget* widget) const
{
    const QRect face = option->rect.adjusted(2, 2, -3, -3);
    const auto* button = qstyleoption_cast<const QStyleOptionButton*>(option);
    if (!button || button->text.isEmpty())
        return face;
    // Where the caption's ink lies: centred on the button like the label, then its glyphs'
    // own bounds around the baseline (for "..." that is only the dots).
    QString caption = button->text;
    caption.replace(QLatin1String("&&"), QString(QChar(0x1)));
    const bool underlined = caption.contains(QLatin1Char('&'));
    caption.remove(QLatin1Char('&')).replace(QChar(0x1), QLatin1Char('&'));
    const QFontMetrics& metrics = option->fontMetrics;
    const QRect contents = subElementRect(SE_PushButtonContents, option, widget);
    const QRect line = metrics.boundingRect(contents, Qt::AlignCenter, caption);
    const int baseline = line.top() + metrics.ascent();
    QRect ink = metrics.tightBoundingRect(caption).translated(line.left(), baseline);
    // The access key's underline hangs below the letters.
    if (underlined)
        ink.setBottom(
            std::max(ink.bottom(), baseline + metrics.underlinePos() + metrics.lineWidth()));
    constexpr int kGap = 3;
    const QRect around = ink.adjusted(-kGap - 1, -kGap - 1, kGap, kGap);
    return around.intersected(face);
}

void FlatButtonStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                                    QPainter* painter, const QWidget* widget) const
{
    switch (element) {
    case PE_PanelButtonCommand:
    case PE_PanelButtonBevel: {
        const bool sunken = option->state & (State_Sunken | State_On);
        painter->save();
        painter->fillRect(option->rect,
                          option->palette.brush(sunken ? QPalette::Mid : QPalette::Button));
        drawBorder(painter, option->rect, option->palette.color(QPalette::Shadow));
        // The button with the keyboard focus shows a dotted rectangle on its face, around the
        // caption and clear of it.
        if (option->state & State_HasFocus) {
            painter->setPen(QPen(option->palette.color(QPalette::WindowText), 1, Qt::DotLine));
            painter->setBrush(Qt::NoBrush);
            painter->drawRect(focusRect(option, widget));
        }
        painter->restore();
        return;
    }
    case PE_FrameDefaultButton:
        return;
    case PE_FrameFocusRect:
        // Flat buttons draw their own focus mark with the panel.
        if (qobject_cast<const QAbstractButton*>(widget))
            return;
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    default:
        QProxyStyle::drawPrimitive(element, option, painter, widget);
    }
}

} // namespace glintmark::ui
