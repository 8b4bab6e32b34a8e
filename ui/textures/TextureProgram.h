#pragma once

#include <QString>

namespace glintmark::ui {

// Runs the texture window on its own (glintmark --textures [PATH]): shows it, lists `source`
// (a level or a game folder) when one is given, and returns the program's exit code once it is
// closed. With `screenshots` set, it waits for the listing instead, saves the window as
// <screenshots>/FrmTextures.png and, with only the shared textures shown,
// FrmTexturesShared.png, and ends.
int runTextureWindow(const QString& source, const QString& screenshots);

} // namespace glintmark::ui
