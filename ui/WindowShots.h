#pragma once

#include <QString>

namespace glintmark::ui {

// Renders every window of the program to PNG files in a folder, for looking at them without a
// screen (QT_QPA_PLATFORM=offscreen) as well as on one.
namespace WindowShots {

// Loads and shows the main window, the About window and the folder chooser through the
// program-wide references, and saves each as <dir>/<objectName>.png (FrmMain.png, ...), plus
// Screen.png with the whole screen where the platform can grab it. Leaves the windows shown.
// Returns false with a message naming the file and the reason when a file cannot be written.
bool saveAll(const QString& dir, QString* error);

} // namespace WindowShots

} // namespace glintmark::ui
