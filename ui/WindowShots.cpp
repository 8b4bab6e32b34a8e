#include "ui/WindowShots.h"

#include "ui/FrmMain.h"
#include "ui/Platform.h"
#include "ui/WindowRefs.h"
#include "ui/dialogs/FrmAbout.h"
#include "ui/dialogs/FrmBrowse.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageWriter>
#include <QPixmap>
#include <QScreen>
#include <QWidget>

#include <filesystem>
#include <system_error>

namespace glintmark::ui {

namespace WindowShots {
namespace {

bool save(const QPixmap& picture, const QString& file, QString* error)
{
    QImageWriter writer(file, "png");
    if (writer.write(picture.toImage()))
        return true;
    if (error)
        *error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(file), writer.errorString());
    return false;
}

} // namespace

bool saveAll(const QString& dir, QString* error)
{
    std::error_code ec;
    std::filesystem::create_directories(platform::toPath(dir), ec);
    if (ec || !QFileInfo(dir).isDir()) {
        if (!ec)
            ec = std::make_error_code(std::errc::not_a_directory);
        if (error)
            *error = QStringLiteral("%1: cannot create the folder: %2")
                         .arg(QDir::toNativeSeparators(dir), platform::fromUtf8(ec.message()));
        return false;
    }
    const QDir folder(dir);

    FrmMain* main = WindowRefs::frmMain();
    if (!main->isVisible()) {
        main->Form_Load();
        main->showCentred();
    }
    WindowRefs::showSecondary(WindowRefs::frmAbout());
    WindowRefs::showSecondary(WindowRefs::frmBrowse());
    // Let the windows lay themselves out and paint once.
    QCoreApplication::processEvents();

    const QList<QWidget*> windows{main, WindowRefs::frmAbout(), WindowRefs::frmBrowse()};
    for (QWidget* window : windows) {
        if (!save(window->grab(), folder.filePath(window->objectName() + QStringLiteral(".png")),
                  error))
            return false;
    }
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QPixmap desktop = screen->grabWindow(0);
        if (!desktop.isNull() &&
            !save(desktop, folder.filePath(QStringLiteral("Screen.png")), error))
            return false;
    }
    return true;
}

} // namespace WindowShots

} // namespace glintmark::ui
