#pragma once

#include <QString>

class QWidget;

namespace glintmark::ui {

// The program's message boxes: modal, with an icon and a single OK button, shown over the
// given window (or centred on the screen without one). Each returns when the user dismisses it.
// Long lines are broken at spaces; a path in double quotes is broken only when it does not fit
// on a line of its own.
namespace MsgBox {

// A box with the information icon: news that asks for nothing, such as a finished run.
void information(QWidget* parent, const QString& text, const QString& title);

// A warning box, for a failure the user should know about.
void warning(QWidget* parent, const QString& text, const QString& title);

} // namespace MsgBox

} // namespace glintmark::ui
