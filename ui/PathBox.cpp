#include "ui/PathBox.h"

#include <QLineEdit>

#include <cmath>

namespace glintmark::ui {

namespace PathBox {
namespace {

double channel(double value)
{
    return value <= 0.04045 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
}

double luminance(const QColor& colour)
{
    return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) +
           0.0722 * channel(colour.blueF());
}

QColor mixed(const QColor& from, const QColor& to, double share)
{
    return QColor::fromRgbF(float(from.redF() + (to.redF() - from.redF()) * share),
                            float(from.greenF() + (to.greenF() - from.greenF()) * share),
                            float(from.blueF() + (to.blueF() - from.blueF()) * share));
}

} // namespace

double contrastRatio(const QColor& a, const QColor& b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QPalette readablePalette(const QPalette& palette)
{
    const QColor background = palette.color(QPalette::Disabled, QPalette::Base);
    const QColor greyed = palette.color(QPalette::Disabled, QPalette::Text);
    const QColor normal = palette.color(QPalette::Active, QPalette::Text);
    // Move only as far toward the normal text as legibility needs, so the box still looks
    // disabled; a theme whose normal text does not read either gets black or white.
    constexpr int kSteps = 32;
    QColor text = greyed;
    for (int step = 1; step <= kSteps && contrastRatio(text, background) < kReadableContrast;
         ++step)
        text = mixed(greyed, normal, double(step) / kSteps);
    if (contrastRatio(text, background) < kReadableContrast)
        text = luminance(background) > 0.18 ? QColor(Qt::black) : QColor(Qt::white);
    QPalette readable = palette;
    readable.setColor(QPalette::Disabled, QPalette::Text, text);
    return readable;
}

void prepare(QLineEdit* box, const QPalette& palette)
{
    box->setPalette(readablePalette(palette));
    QObject::connect(box, &QLineEdit::textChanged, box,
                     [box](const QString& text) { box->setToolTip(text); });
}

} // namespace PathBox

} // namespace glintmark::ui
