#include "ui/FlatButtonStyle.h"

#include <QAbstractButton>
#include <QApplication>
#include <QPainter>
#include <QPointer>
#include <QStyleFactory>
#include <QStyleOption>

#include <algorithm>

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
    constexpr int kGap = 2;
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
        const QRect r = option->rect.adjusted(0, 0, -1, -1);
        painter->save();
        painter->setPen(option->palette.color(QPalette::Shadow));
        painter->setBrush(option->palette.brush(sunken ? QPalette::Mid : QPalette::Button));
        painter->drawRect(r);
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
