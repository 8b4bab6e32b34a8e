#include "ui/FrmMain.h"
#include "ui/WindowRefs.h"
#include "ui/WindowShots.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QPointer>

#include <csignal>
#include <cstdio>

int main(int argc, char* argv[])
{
#ifdef SIGXFSZ
    // A file size limit then fails the image being written, with its reason, instead of
    // killing the program and leaving that image unfinished.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("glintmark"));
    QApplication::setApplicationVersion(QStringLiteral("1.0.0"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/glintmark.ico")));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Pulls the JPEG textures out of level database files."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption screenshot(
        QStringLiteral("screenshot"),
        QStringLiteral("Render every window to <dir>/<window>.png and quit "
                       "(works headless with QT_QPA_PLATFORM=offscreen)."),
        QStringLiteral("dir"));
    parser.addOption(screenshot);
    parser.process(app);

    if (parser.isSet(screenshot)) {
        QString error;
        const bool saved = WindowShots::saveAll(parser.value(screenshot), &error);
        WindowRefs::unloadSecondaries();
        delete WindowRefs::frmMain();
        if (!saved) {
            std::fprintf(stderr, "glintmark: %s\n", qPrintable(error));
            return 1;
        }
        return 0;
    }

    QPointer<FrmMain> window = WindowRefs::frmMain();
    window->Form_Load();
    window->showCentred();
    const int code = QApplication::exec();

    // Closing the main window ends the program: whatever windows are left go with it.
    WindowRefs::unloadSecondaries();
    delete window.data();
    return code;
}
