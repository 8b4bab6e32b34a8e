#include "ui/WindowRefs.h"

#include "ui/FrmMain.h"
#include "ui/dialogs/FrmAbout.h"
#include "ui/dialogs/FrmBrowse.h"

#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QWidget>

namespace glintmark::ui {

namespace WindowRefs {
namespace {

QPointer<FrmMain> g_main;
QPointer<FrmAbout> g_about;
QPointer<FrmBrowse> g_browse;

// Secondary windows unload (are destroyed) when closed from their title bar, and never keep
// the program alive on their own.
template <typename Window> Window* secondary(QPointer<Window>& ref)
{
    if (!ref) {
        ref = new Window();
        ref->setAttribute(Qt::WA_DeleteOnClose);
        ref->setAttribute(Qt::WA_QuitOnClose, false);
    }
    return ref;
}

void centreOnScreen(QWidget* window)
{
    QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
}

} // namespace

void showCentred(QWidget* window)
{
    centreOnScreen(window);
    window->show();
    // The window system frames the window only once it is shown: centre the frame then.
    if (window->frameGeometry().size() != window->size())
        centreOnScreen(window);
}

FrmMain* frmMain()
{
    if (!g_main)
        g_main = new FrmMain();
    return g_main;
}

FrmAbout* frmAbout()
{
    return secondary(g_about);
}

FrmBrowse* frmBrowse()
{
    return secondary(g_browse);
}

bool hasMain()
{
    return !g_main.isNull();
}

bool hasAbout()
{
    return !g_about.isNull();
}

bool hasBrowse()
{
    return !g_browse.isNull();
}

void showSecondary(QWidget* window)
{
    // A window never shown since it was loaded is placed at the centre first.
    constexpr const char* kPlaced = "glintmarkPlaced";
    if (!window->property(kPlaced).toBool()) {
        window->adjustSize();
        window->setProperty(kPlaced, true);
        showCentred(window);
    } else {
        window->show();
    }
    window->raise();
    window->activateWindow();
}

void clearMain()
{
    g_main.clear();
}

void unloadSecondaries()
{
    delete g_about.data();
    delete g_browse.data();
}

} // namespace WindowRefs

} // namespace glintmark::ui
