// Times the texture window the way a user meets it: a level or a game opened, the list complete
// and the first screen of thumbnails shown; then the grid scrolled page by page through every
// texture, each page's thumbnails waited for, with the longest frame on the window's thread;
// and the peak memory of the process once every thumbnail has been visited.
//
//   glintmark-texture-bench [--no-scroll] SOURCE
//   glintmark-texture-bench --hold SECONDS [--search TEXT] [--export DIR] SOURCE
//   glintmark-texture-bench --replace-image N --replace-with FILE SOURCE
//
// Runs on whatever platform Qt is given (offscreen, or a display under Xvfb). With --hold it
// times nothing: the window opens SOURCE, searches, exports, and stays up that long, for a
// screenshot of each view. With --replace-with it times, after the opening, the plan of replacing
// the texture first used as image N of the first level with FILE: from the drop to the plan shown.
#include "ui/Platform.h"
#include "ui/textures/FrmTextures.h"
#include "ui/textures/ReplacePanel.h"
#include "ui/textures/TextureFilter.h"
#include "ui/textures/TextureModel.h"
#include "ui/textures/ThumbnailCache.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListView>
#include <QScrollBar>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <vector>

#ifndef _WIN32
#include <sys/resource.h>
#endif

using namespace glintmark::ui;

namespace {

// Serves the window's events until `done` holds; false after `limitMs` without.
template <typename Done> bool serveUntil(Done done, qint64 limitMs)
{
    QElapsedTimer waited;
    waited.start();
    while (!done()) {
        if (waited.elapsed() > limitMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// The grid's visible cells have asked for their thumbnails and every one asked for is in.
bool screenShown(QListView* grid, ThumbnailCache* thumbnails)
{
    grid->viewport()->repaint();
    return thumbnails->pending() == 0;
}

double peakMegabytes()
{
#ifndef _WIN32
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0; // kilobytes on Linux
#else
    return 0;
#endif
}

// Scrolls the grid page by page to the end and tells its frames. Each step's work on the
// window's thread (the scroll, the paint, the queued thumbnails) is a frame; the page's
// thumbnails are waited for before the next.
void scrollThrough(QListView* grid, ThumbnailCache* thumbnails)
{
    QScrollBar* bar = grid->verticalScrollBar();
    int pages = 0;
    std::vector<double> frames;
    QElapsedTimer scrolled;
    scrolled.start();
    for (;;) {
        QElapsedTimer frame;
        frame.start();
        bar->setValue(bar->value() + bar->pageStep());
        grid->viewport()->repaint();
        QCoreApplication::processEvents();
        frames.push_back(static_cast<double>(frame.nsecsElapsed()) / 1e6);
        while (thumbnails->pending() > 0) {
            QThread::msleep(2); // the workers decode; the window's thread is idle meanwhile
            QElapsedTimer served;
            served.start();
            QCoreApplication::processEvents();
            grid->viewport()->repaint();
            frames.push_back(static_cast<double>(served.nsecsElapsed()) / 1e6);
        }
        ++pages;
        // The grid lays its cells out in batches meanwhile: the end is where the last one shows.
        const QModelIndex last = grid->model()->index(grid->model()->rowCount() - 1, 0);
        if (bar->value() >= bar->maximum() &&
            grid->viewport()->rect().intersects(grid->visualRect(last)))
            break;
    }
    std::vector<double> sorted = frames;
    std::sort(sorted.begin(), sorted.end());
    std::printf("scrolled %d pages in %.3f s; frames %zu, median %.2f ms, longest %.2f ms\n", pages,
                static_cast<double>(scrolled.nsecsElapsed()) / 1e9, frames.size(),
                sorted[sorted.size() / 2], sorted.back());
}

// Times the plan of replacing the texture first used as image `number` of the first level with
// `edit`, from the call a drop makes to the plan shown; 1 when there is no such texture.
int timePlan(FrmTextures& window, quint64 number, const QString& edit)
{
    int row = -1;
    for (int i = 0; i < window.model()->rowCount() && row < 0; ++i)
        if (window.model()->entry(i).level == 0 && window.model()->entry(i).image.number == number)
            row = i;
    if (row < 0) {
        std::fprintf(stderr, "no texture is first used as image %llu\n",
                     static_cast<unsigned long long>(number));
        return 1;
    }
    bool shown = false;
    QObject::connect(window.replacePanel(), &ReplacePanel::planShown, [&shown] { shown = true; });
    QElapsedTimer clock;
    clock.start();
    window.replaceWith(row, platform::toPath(edit));
    serveUntil([&shown] { return shown; }, 600000);
    std::printf("plan of image %llu (%llu bytes) shown in %.1f ms: %s\n",
                static_cast<unsigned long long>(number),
                static_cast<unsigned long long>(window.model()->entry(row).image.size),
                static_cast<double>(clock.nsecsElapsed()) / 1e6,
                qPrintable(window.replacePanel()->planText()));
    return shown ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("SOURCE"), QStringLiteral("a level or a game"));
    const QCommandLineOption noScroll(QStringLiteral("no-scroll"),
                                      QStringLiteral("time the opening only"));
    parser.addOption(noScroll);
    const QCommandLineOption hold(QStringLiteral("hold"),
                                  QStringLiteral("show the window this long, timing nothing"),
                                  QStringLiteral("SECONDS"));
    const QCommandLineOption search(QStringLiteral("search"), QStringLiteral("search for TEXT"),
                                    QStringLiteral("TEXT"));
    const QCommandLineOption exportInto(QStringLiteral("export"),
                                        QStringLiteral("export every texture into DIR"),
                                        QStringLiteral("DIR"));
    const QCommandLineOption replaceImage(QStringLiteral("replace-image"),
                                          QStringLiteral("the texture of image N to replace"),
                                          QStringLiteral("N"));
    const QCommandLineOption replaceWith(QStringLiteral("replace-with"),
                                         QStringLiteral("time the plan of replacing it with FILE"),
                                         QStringLiteral("FILE"));
    parser.addOptions({hold, search, exportInto, replaceImage, replaceWith});
    parser.process(app);
    if (parser.positionalArguments().size() != 1)
        parser.showHelp(2);

    FrmTextures window;
    window.resize(1280, 860);
    window.show();
    auto* grid = window.findChild<QListView*>(QStringLiteral("lstTextures"));
    ThumbnailCache* thumbnails = window.model()->thumbnails();
    serveUntil([] { return false; }, 200); // the window is up before the clock starts

    QElapsedTimer clock;
    clock.start();
    window.openSource(platform::toPath(parser.positionalArguments().constFirst()));
    if (!serveUntil([&] { return !window.isListing(); }, 600000)) {
        std::fprintf(stderr, "the listing did not end\n");
        return 1;
    }
    const double listed = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    if (!serveUntil([&] { return screenShown(grid, thumbnails); }, 600000)) {
        std::fprintf(stderr, "the thumbnails did not come\n");
        return 1;
    }
    const double opened = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    std::printf("textures %d images %llu\n", window.filter()->rowCount(),
                static_cast<unsigned long long>(window.model()->images()));
    std::printf("open to list and first screen: %.3f s (listed at %.3f s)\n", opened, listed);
    std::fflush(stdout);
    if (parser.isSet(hold)) {
        if (parser.isSet(search))
            window.findChild<QLineEdit*>(QStringLiteral("txtSearch"))
                ->setText(parser.value(search));
        if (parser.isSet(exportInto)) {
            window.exportTo(platform::toPath(parser.value(exportInto)), false);
            serveUntil([&] { return !window.isExporting(); }, 600000);
        }
        std::printf("holding\n"); // the view is ready for its screenshot
        std::fflush(stdout);
        serveUntil([] { return false; }, parser.value(hold).toLongLong() * 1000);
        return 0;
    }
    if (parser.isSet(replaceWith))
        return timePlan(window, parser.value(replaceImage).toULongLong(),
                        parser.value(replaceWith));
    if (parser.isSet(noScroll)) {
        std::printf("peak memory: %.1f MB\n", peakMegabytes());
        return 0;
    }

    scrollThrough(grid, thumbnails);
    std::printf("peak memory: %.1f MB\n", peakMegabytes());
    return 0;
}
