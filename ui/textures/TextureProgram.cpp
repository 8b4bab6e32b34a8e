#include "ui/textures/TextureProgram.h"

#include "ui/Platform.h"
#include "ui/textures/DlgTextureView.h"
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

// Runs the event loop until `window`'s listing is over.
void waitForListing(FrmTextures& window)
{
    if (!window.isListing())
        return;
    QEventLoop loop;
    QObject::connect(&window, &FrmTextures::listingFinished, &loop, &QEventLoop::quit);
    loop.exec();
}

// Opens the full-size view of the current texture and lets it be decoded (for ten seconds at
// most), then enlarges it twice; the view, or null when there is no current texture.
DlgTextureView* showFullSize(FrmTextures& window)
{
    window.viewCurrent();
    DlgTextureView* view = window.textureView();
    if (view == nullptr)
        return nullptr;
    QElapsedTimer waited;
    waited.start();
    while (view->image().isNull() && waited.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    view->zoomIn();
    view->zoomIn();
    QCoreApplication::processEvents();
    return view;
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

    waitForListing(window);
    showThumbnails(window);
    if (!saveShot(&window, screenshots, QStringLiteral("FrmTextures.png")))
        return 1;
    if (auto* shared = window.findChild<QCheckBox*>(QStringLiteral("chkShared")))
        shared->setChecked(true);
    showThumbnails(window);
    if (!saveShot(&window, screenshots, QStringLiteral("FrmTexturesShared.png")))
        return 1;
    if (auto* shared = window.findChild<QCheckBox*>(QStringLiteral("chkShared")))
        shared->setChecked(false);
    window.checkAll();
    waitForListing(window);
    showThumbnails(window);
    if (!saveShot(&window, screenshots, QStringLiteral("FrmTexturesChecked.png")))
        return 1;
    DlgTextureView* view = showFullSize(window);
    return view == nullptr || saveShot(view, screenshots, QStringLiteral("DlgTextureView.png")) ? 0
                                                                                                : 1;
}

} // namespace glintmark::ui
