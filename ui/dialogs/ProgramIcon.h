#pragma once

#include <QIcon>
#include <QPixmap>

namespace glintmark::ui {

// The program icon with all of its images, for a window's title bar.
QIcon programIcon();

// The program icon's image of the given size in pixels, the one with the most colours when
// there are several; the nearest image scaled when the icon has none of that size.
QPixmap programIconImage(int side);

} // namespace glintmark::ui
