#pragma once

#include <QColor>
#include <QPalette>

class QLineEdit;

namespace glintmark::ui {

// The main window's two path boxes are disabled, since only the choosers write them, yet their
// text must stay readable: drawn at a contrast of 4.5:1 or better, the full path in a tooltip.
namespace PathBox {

// The lowest contrast ratio at which the boxes draw their text.
inline constexpr double kReadableContrast = 4.5;

// Prepares a disabled box: readable text over the given palette, tooltip following the text.
void prepare(QLineEdit* box, const QPalette& palette);

// The palette for the boxes: the given one with its disabled text darkened (or lightened)
// toward the normal text colour until it reads against the disabled background.
QPalette readablePalette(const QPalette& palette);

// The contrast ratio of two colours, 1 to 21, from their relative luminance.
double contrastRatio(const QColor& a, const QColor& b);

} // namespace PathBox

} // namespace glintmark::ui
