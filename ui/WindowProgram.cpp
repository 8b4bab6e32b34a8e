#include "ui/WindowProgram.h"

#include "ui/FrmMain.h"
#include "ui/Platform.h"
#include "ui/WindowRefs.h"
#include "ui/WindowShots.h"
#include "ui/textures/TextureProgram.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QPointer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <utility>

namespace glintmark::ui {

namespace {

// The options QApplication takes for itself, with a value after them, and without one; they may
// be spelled with one dash or two.
const char* const kQtOptionsWithValue[] = {"platform",
                                           "platformpluginpath",
                                           "platformtheme",
                                           "plugin",
                                           "qwindowgeometry",
                                           "qwindowicon",
                                           "qwindowtitle",
                                           "session",
                                           "display",
                                           "geometry",
                                           "name",
                                           "visual",
                                           "ncols",
                                           "style",
                                           "stylesheet",
                                           "qmljsdebugger"};
const char* const kQtFlags[] = {"reverse", "widgetcount", "cmap",       "nograb",
                                "dograb",  "sync",        "testability"};

// The command line without the options QApplication takes for itself, so that what is left is
// this program's own.
QStringList withoutQtOptions(const QStringList& arguments)
{
    QStringList own;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        QString name = arguments.at(i);
        if (i == 0 || !name.startsWith(QLatin1Char('-')) || name == QStringLiteral("--")) {
            own << name;
            continue;
        }
        name.remove(0, name.startsWith(QStringLiteral("--")) ? 2 : 1);
        const QString bare = name.section(QLatin1Char('='), 0, 0);
        const bool withValue =
            std::any_of(std::begin(kQtOptionsWithValue), std::end(kQtOptionsWithValue),
                        [&](const char* qt) { return bare == QLatin1String(qt); });
        const bool flag = std::any_of(std::begin(kQtFlags), std::end(kQtFlags),
                                      [&](const char* qt) { return bare == QLatin1String(qt); });
        if (withValue && !name.contains(QLatin1Char('=')))
            ++i; // its value goes with it
        else if (!withValue && !flag)
            own << arguments.at(i);
    }
    return own;
}

constexpr const char* kVersionText = "glintmark " GLINTMARK_VERSION "\n"
                                     "Copyright (c) 2026 Glintmark maintainers\n"
                                     "\n"
                                     "MIT licence: free to use, change and share; no warranty.\n";

// Says what is wrong with the command line; exit code 2.
int usageError(const QString& what)
{
    QString text = what;
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    std::fprintf(stderr, "glintmark: %s; see glintmark --help\n", qPrintable(text));
    return 2;
}

// Why the window system could not be started, in the user's words.
QString noDisplayReason()
{
    const QByteArray display = qgetenv("DISPLAY");
    if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") || !display.isEmpty())
        return QStringLiteral("the display %1 cannot be reached")
            .arg(QString::fromLocal8Bit(display.isEmpty() ? qgetenv("WAYLAND_DISPLAY") : display));
    return QStringLiteral("there is no display (DISPLAY is not set)");
}

bool g_startingWindowSystem = false;
QtMessageHandler g_previousHandler = nullptr;

// While the window system starts, its complaints are held back; when it cannot start, one line
// says why and the program ends with exit code 1 instead of aborting.
void startupMessages(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (!g_startingWindowSystem) {
        if (g_previousHandler)
            g_previousHandler(type, context, message);
        return;
    }
    if (type == QtFatalMsg) {
        std::fprintf(stderr,
                     "glintmark: cannot open the window: %s; glintmark-cli works without one\n",
                     qPrintable(noDisplayReason()));
        std::fflush(stderr);
        std::_Exit(1);
    }
}

// Starts the window system, or ends the program with one line when there is none.
std::unique_ptr<QApplication> startWindowSystem(int& argc, char* argv[])
{
    g_startingWindowSystem = true;
    g_previousHandler = qInstallMessageHandler(startupMessages);
    auto app = std::make_unique<QApplication>(argc, argv);
    g_startingWindowSystem = false;
    qInstallMessageHandler(g_previousHandler);
    return app;
}

// Saves each window's picture and the screen's into `dir`, and unloads the windows; the
// program's exit code.
int saveScreenshots(const QString& dir)
{
    QString error;
    const bool saved = WindowShots::saveAll(dir, &error);
    WindowRefs::unloadSecondaries();
    delete WindowRefs::frmMain();
    if (!saved) {
        std::fprintf(stderr, "glintmark: %s\n", qPrintable(error));
        return 1;
    }
    return 0;
}

// Adds the options that choose what the program does, --screenshot and --textures, and the
// FILE, to `parser`; returns the two options.
std::pair<QCommandLineOption, QCommandLineOption> addRunOptions(QCommandLineParser& parser)
{
    const QCommandLineOption screenshot(
        QStringLiteral("screenshot"),
        QStringLiteral("Save each window as <dir>/FrmMain.png, FrmAbout.png and "
                       "FrmBrowse.png, and the screen as Screen.png, and quit (works headless "
                       "with QT_QPA_PLATFORM=offscreen)."),
        QStringLiteral("dir"));
    parser.addOption(screenshot);
    const QCommandLineOption textures(
        QStringLiteral("textures"),
        QStringLiteral("Open the texture window (\"Glintmark Textures\") and list the textures "
                       "of PATH, a level or a game folder; with --screenshot, save it as "
                       "<dir>/FrmTextures.png, FrmTexturesShared.png and FrmTexturesChecked.png, "
                       "its full-size view as DlgTextureView.png, and quit."));
    parser.addOption(textures);
    parser.addPositionalArgument(
        QStringLiteral("FILE"),
        QStringLiteral("The level database to start with (optional); with --textures, "
                       "a level or a game folder."),
        QStringLiteral("[FILE]"));
    return {screenshot, textures};
}

} // namespace

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
                       "Given a FILE, the window starts with it as the source file.\n"
                       "\n"
                       "glintmark --textures [PATH] opens the texture window instead: every\n"
                       "texture of a level, or of a game folder (shared ones once), listed with\n"
                       "its details, filters and a search.\n"
                       "\n"
                       "glintmark-cli does the same without a window, for scripts, many files\n"
                       "and whole game folders, and can also list, check and show the textures\n"
                       "and put edited ones back: see glintmark-cli --help."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version({QStringLiteral("V"), QStringLiteral("version")},
                                     QStringLiteral("Displays the version and the licence."));
    parser.addOption(version);
    // The spelling Qt gives the version option, still taken.
    QCommandLineOption oldVersion(QStringLiteral("v"));
    oldVersion.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(oldVersion);
    const auto [screenshot, textures] = addRunOptions(parser);

    // Help and version are text only: answer them without a window system, so they work over
    // ssh and in build scripts. process() prints and ends the program. So are usage errors: the
    // command line less Qt's own options (-platform and the like, which the application takes)
    // is checked before any window system is asked for.
    // A file name is bytes: one that is not UTF-8 is kept exactly (platform::fromArgument).
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << platform::fromArgument(argv[i]);
    const bool parsed = parser.parse(withoutQtOptions(arguments));
    if (parsed && !parser.isSet(help) && (parser.isSet(version) || parser.isSet(oldVersion))) {
        std::fputs(kVersionText, stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        QCoreApplication textOnly(argc, argv);
        parser.process(textOnly);
    }
    if (!parsed)
        return usageError(parser.errorText());
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1) {
        return usageError(
            QStringLiteral("one source file at most, not %1").arg(static_cast<int>(files.size())));
    }

    const std::unique_ptr<QApplication> app = startWindowSystem(argc, argv);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/glintmark.ico")));
    platform::keepNoSettings();
    if (parser.isSet(textures)) {
        return runTextureWindow(files.isEmpty() ? QString() : files.constFirst(),
                                parser.isSet(screenshot) ? parser.value(screenshot) : QString());
    }
    // A file named on the command line ("Open with") is the source, as if chosen in the dialog.
    if (!files.isEmpty())
        WindowRefs::frmMain()->chooseSource(files.constFirst());

    if (parser.isSet(screenshot))
        return saveScreenshots(parser.value(screenshot));

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
