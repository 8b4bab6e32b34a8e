#include "ui/FlatButtonStyle.h"

#include <QAbstractButton>
#include <QApplication>
#include <QPainter>
#include <QPointer>
#include <QStyleFactory>
#include <QStyleOption>

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
        // The button with the keyboard focus shows a dotted rectangle inside its border.
        if (option->state & State_HasFocus) {
            painter->setPen(QPen(option->palette.color(QPalette::WindowText), 1, Qt::DotLine));
            painter->setBrush(Qt::NoBrush);
            painter->drawRect(r.adjusted(3, 3, -3, -3));
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
