#pragma once

#include <QFont>

namespace glintmark::ui {

// The font every caption uses, "MS Sans Serif" at the given size, with a close sans-serif
// fallback where that face is not installed.
QFont classicFont(qreal pointSize);

} // namespace glintmark::ui
