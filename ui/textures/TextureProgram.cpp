#include "ui/textures/TextureProgram.h"

#include "ui/Platform.h"
#include "ui/textures/FrmTextures.h"
#include "ui/textures/TextureModel.h"
#include "ui/textures/ThumbnailCache.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImageWriter>

#include <cstdio>

namespace glintmark::ui {

namespace {

// Saves `window` as <dir>/<name>; false with the file and the reason told on stderr.
bool saveShot(QWidget* window, const QString& dir, const QString& name)
{
    if (!QDir().mkpath(dir)) {
        std::fprintf(stderr, "glintmark: %s: cannot create the folder\n",
                     qPrintable(QDir::toNativeSeparators(dir)));
        return false;
    }
    const QString file = QDir(dir).filePath(name);
    QImageWriter writer(file, "png");
    if (writer.write(window->grab().toImage()))
        return true;
    std::fprintf(stderr, "glintmark: %s: %s\n", qPrintable(QDir::toNativeSeparators(file)),
                 qPrintable(writer.errorString()));
    return false;
}

// Paints the window and lets the thumbnails it asks for come in (for ten seconds at most).
void showThumbnails(FrmTextures& window)
{
    QCoreApplication::processEvents();
    window.grab(); // a paint: the grid asks for the thumbnails it shows
    QElapsedTimer waited;
    waited.start();
    while (window.model()->thumbnails()->pending() > 0 && waited.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    QCoreApplication::processEvents();
}

} // namespace

int runTextureWindow(const QString& source, const QString& screenshots)
{
    FrmTextures window;
    window.show();
    if (!source.isEmpty())
        window.openSource(platform::toPath(source));
    if (screenshots.isEmpty())
        return QApplication::exec();

    if (window.isListing()) {
        QEventLoop loop;
        QObject::connect(&window, &FrmTextures::listingFinished, &loop, &QEventLoop::quit);
        loop.exec();
    }
    showThumbnails(window);
    if (!saveShot(&window, screenshots, QStringLiteral("FrmTextures.png")))
        return 1;
    if (auto* shared = window.findChild<QCheckBox*>(QStringLiteral("chkShared")))
        shared->setChecked(true);
    showThumbnails(window);
    return saveShot(&window, screenshots, QStringLiteral("FrmTexturesShared.png")) ? 0 : 1;
}

} // namespace glintmark::ui
