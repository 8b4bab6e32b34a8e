#pragma once

class QPushButton;

namespace glintmark::ui {

// Gives a command button the flat look (a plain thin border instead of raised 3D edges) and
// makes it visible. Caption, font, geometry and enabled state stay as they are; applying it
// twice is the same as applying it once.
void btnFlat(QPushButton* Button);

// True when btnFlat has been applied to the button.
bool isFlatButton(const QPushButton* button);

} // namespace glintmark::ui
