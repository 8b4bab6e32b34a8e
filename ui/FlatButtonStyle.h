#pragma once

#include <QProxyStyle>

namespace glintmark::ui {

// Draws push buttons the classic flat way: the button face inside a one-pixel dark border,
// pressed buttons a shade darker, the focused one with a dotted rectangle around its caption,
// inside the face and clear of the caption's strokes. Everything else is left to the
// application style.
class FlatButtonStyle : public QProxyStyle
{
    Q_OBJECT
public:
    // The one shared instance, owned by the application object.
    static FlatButtonStyle* instance();

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;

private:
    FlatButtonStyle();
    // The focus mark's rectangle: around the caption, inside the face.
    QRect focusRect(const QStyleOption* option, const QWidget* widget) const;
};

} // namespace glintmark::ui
