#include "ui/WindowProgram.h"

#include "ui/FrmMain.h"
#include "ui/Platform.h"
#include "ui/WindowRefs.h"
#include "ui/WindowShots.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QPointer>

#include <cstdio>

namespace glintmark::ui {

int runWindowProgram(int& argc, char* argv[])
{
    platform::ignoreFileSizeSignal();
    QCoreApplication::setApplicationName(QStringLiteral("glintmark"));
    QCoreApplication::setApplicationVersion(QStringLiteral(GLINTMARK_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Opens Glintmark's window, which pulls the JPEG textures out of a level\n"
                       "database file (*.ldb): choose the file and an output folder, press\n"
                       "Extract, and every texture is written there as Vorlesk_0001.jpg, ...\n"
                       "Given a FILE, the window starts with it as the source file."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption screenshot(
        QStringLiteral("screenshot"),
        QStringLiteral("Render every window to <dir>/<window>.png and quit "
                       "(works headless with QT_QPA_PLATFORM=offscreen)."),
        QStringLiteral("dir"));
    parser.addOption(screenshot);
    parser.addPositionalArgument(QStringLiteral("FILE"),
                                 QStringLiteral("The level database to start with (optional)."),
                                 QStringLiteral("[FILE]"));

    // Help and version are text only: answer them without a window system, so they work over
    // ssh and in build scripts. process() prints and ends the program. Anything else, Qt's own
    // options such as -platform included, is parsed once the application exists.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    parser.parse(arguments);
    if (parser.isSet(help) || parser.isSet(version) || parser.isSet(QStringLiteral("help-all"))) {
        QCoreApplication textOnly(argc, argv);
        parser.process(textOnly);
    }

    QApplication app(argc, argv);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/glintmark.ico")));
    platform::keepNoSettings();
    parser.process(app);
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1) {
        std::fprintf(stderr, "glintmark: one source file at most, not %d; see glintmark --help\n",
                     static_cast<int>(files.size()));
        return 2;
    }
    // A file named on the command line ("Open with") is the source, as if chosen in the dialog.
    if (!files.isEmpty())
        WindowRefs::frmMain()->chooseSource(files.constFirst());

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

} // namespace glintmark::ui
