#pragma once

class QWidget;

namespace glintmark::ui {

class FrmMain;
class FrmAbout;
class FrmBrowse;

// The program-wide window references: one instance of each window class, created on first use.
namespace WindowRefs {

// The main window, created on first use.
FrmMain* frmMain();
// The About window, created (loaded) on first use and again after its title-bar close.
FrmAbout* frmAbout();
// The folder chooser, created (loaded) on first use and again after its title-bar close.
FrmBrowse* frmBrowse();

// True while the reference holds a window.
bool hasMain();
bool hasAbout();
bool hasBrowse();

// Shows a window at the centre of its screen (its frame, once the window system has framed it).
void showCentred(QWidget* window);

// Shows a secondary window modeless and without an owner; a freshly loaded one is centred
// on the screen, one that was hidden comes back where it was left.
void showSecondary(QWidget* window);

// Clears the main window's reference (the main window is being unloaded).
void clearMain();

// Closes and destroys the secondary windows, hidden or shown: the program is ending.
void unloadSecondaries();

} // namespace WindowRefs

} // namespace glintmark::ui
