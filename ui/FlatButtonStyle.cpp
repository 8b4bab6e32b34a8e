#include "ui/FlatButtonStyle.h"

#include <QApplication>
#include <QPainter>
#include <QPointer>
#include <QStyleFactory>
#include <QStyleOption>

FlatButtonStyle::FlatButtonStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion")))
{
}

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
        painter->restore();
        return;
    }
    case PE_FrameDefaultButton:
        return;
    default:
        QProxyStyle::drawPrimitive(element, option, painter, widget);
    }
}
