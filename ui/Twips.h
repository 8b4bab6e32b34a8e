#pragma once

#include <QRect>

namespace glintmark::ui {

// Window layouts are written in twips (1/1440 inch): 15 twips make one pixel at 96 dpi.
// Qt scales these logical pixels on screens of other densities.
namespace twips {

inline constexpr int kTwipsPerPixel = 15;

// Converts a length in twips to logical pixels, rounding to the nearest pixel.
constexpr int px(int twipsValue)
{
    return (twipsValue + kTwipsPerPixel / 2) / kTwipsPerPixel;
}

// A rectangle given as left, top, width and height in twips.
constexpr QRect rect(int left, int top, int width, int height)
{
    return QRect(px(left), px(top), px(width), px(height));
}

// A size given as width and height in twips.
constexpr QSize size(int width, int height)
{
    return QSize(px(width), px(height));
}

} // namespace twips

} // namespace glintmark::ui
