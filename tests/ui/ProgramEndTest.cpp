// How the program ends: closing the main window, with or without secondary windows and during
// a run, inside a real event loop; and the screenshot mode of the executable.
#include "LevelDatabase.h"
#include "MessageBoxCatcher.h"

#include "ui/FrmMain.h"
#include "ui/WindowRefs.h"
#include "ui/dialogs/FrmAbout.h"
#include "ui/dialogs/FrmBrowse.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#ifndef Q_OS_WIN
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace glintmark::ui;

namespace {

// Runs the application's event loop with `start` queued as its first job, as main() would
// after showing the window. Returns the exit code, or -1 when the loop had to be ended by the
// watchdog because the program did not end by itself.
int runProgram(const std::function<void()>& start)
{
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(-1); });
    watchdog.start(60000);
    QTimer::singleShot(0, qApp, start);
    const int code = QCoreApplication::exec();
    watchdog.stop();
    // Objects the program let go of are deleted once control is back at the top.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return code;
}

// Files of this process that are open below `folder`.
QStringList openFilesUnder(const QString& folder)
{
    QStringList open;
#ifdef Q_OS_WIN
    // Windows has no list of a process's files, but it refuses to rename a file that is open
    // without FILE_SHARE_DELETE, as every file the program opens is.
    QDirIterator files(folder, QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString file = files.next();
        const QString moved = file + QStringLiteral(".moved");
        if (QFile::rename(file, moved))
            QFile::rename(moved, file);
        else
            open.append(file);
    }
#else
    const QString root = QFileInfo(folder).canonicalFilePath();
    QDirIterator fds(QStringLiteral("/proc/self/fd"), QDir::Files | QDir::System);
    while (fds.hasNext()) {
        const QString target = QFileInfo(fds.next()).symLinkTarget();
        if (target.startsWith(root))
            open.append(target);
    }
#endif
    return open;
}

} // namespace

class ProgramEndTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_tmp;

    static FrmMain* openWindow()
    {
        FrmMain* w = WindowRefs::frmMain();
        w->Form_Load();
        w->showCentred();
        return w;
    }

private slots:
    void initTestCase() { QVERIFY(m_tmp.isValid()); }

    void closingTheMainWindowEndsTheProgram_data()
    {
        QTest::addColumn<bool>("aboutShown");
        QTest::addColumn<bool>("aboutHidden");
        QTest::addColumn<bool>("browseShown");
        QTest::addColumn<bool>("browseHidden");
        QTest::newRow("alone") << false << false << false << false;
        QTest::newRow("About open") << true << false << false << false;
        QTest::newRow("chooser open") << false << false << true << false;
        QTest::newRow("About hidden") << true << true << false << false;
        QTest::newRow("chooser hidden, About open") << true << false << true << true;
        QTest::newRow("both hidden") << true << true << true << true;
    }

    void closingTheMainWindowEndsTheProgram()
    {
        QFETCH(bool, aboutShown);
        QFETCH(bool, aboutHidden);
        QFETCH(bool, browseShown);
        QFETCH(bool, browseHidden);
        QPointer<FrmMain> main = openWindow();
        QPointer<FrmAbout> about;
        QPointer<FrmBrowse> browse;
        const int code = runProgram([&] {
            if (aboutShown) {
                main->CmdAbout->click();
                about = WindowRefs::frmAbout();
                QVERIFY(about->isVisible());
                if (aboutHidden)
                    about->hide();
            }
            if (browseShown) {
                main->CmdOutBrowse->click();
                browse = WindowRefs::frmBrowse();
                QVERIFY(browse->isVisible());
                if (browseHidden)
                    browse->hide();
            }
            main->close();
        });

        QCOMPARE(code, 0);
        QVERIFY(main.isNull());
        QVERIFY(about.isNull());
        QVERIFY(browse.isNull());
        QVERIFY(!WindowRefs::hasMain());
        QVERIFY(!WindowRefs::hasAbout());
        QVERIFY(!WindowRefs::hasBrowse());
        QVERIFY(QApplication::topLevelWidgets().isEmpty());
    }

    void closingDuringARunStopsItAndKeepsTheCompleteImages()
    {
        const LevelDatabase db = LevelDatabase::make(40, 51, 8000);
        const QString source = m_tmp.filePath(QStringLiteral("long.ldb"));
        QVERIFY(db.write(source));
        const QString out = m_tmp.filePath(QStringLiteral("stopped"));
        QVERIFY(QDir().mkpath(out));

        QPointer<FrmMain> main = openWindow();
        main->setBlockSize(512);
        main->txtSource->setText(source);
        main->txtExtract->setText(out);
        MessageBoxCatcher boxes;
        bool closed = false;
        bool shownAgain = false;
        int progressAtClose = 0;
        QTimer user;
        user.setInterval(0);
        connect(&user, &QTimer::timeout, this, [&] {
            if (!main)
                return;
            if (closed) {
                shownAgain = shownAgain || main->isVisible();
            } else if (main->ProgBar->value() >= 30) {
                closed = true;
                progressAtClose = main->ProgBar->value();
                main->close();
            }
        });
        user.start();
        const int code = runProgram([&] { main->CmdExtract->click(); });
        user.stop();

        QCOMPARE(code, 0);
        QVERIFY(closed);
        QVERIFY(!shownAgain);
        QVERIFY(main.isNull());
        QVERIFY(!WindowRefs::hasMain());
        QVERIFY(boxes.shown().isEmpty());
        QVERIFY(openFilesUnder(m_tmp.path()).isEmpty());
        // Stopped well before the end, with every file left behind complete.
        const QStringList files = QDir(out).entryList(QDir::Files, QDir::Name);
        QVERIFY(!files.isEmpty());
        QVERIFY2(files.size() < db.count() * (progressAtClose + 25) / 100,
                 qPrintable(QString::number(files.size())));
        for (int i = 0; i < files.size(); ++i) {
            const QString name = QString::fromStdString(
                glintmark::testsupport::imageName(static_cast<unsigned>(i + 1)));
            QCOMPARE(files.at(i), name);
            QFile file(QDir(out).filePath(name));
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), db.expectedFile(i));
            QVERIFY(!QImage(file.fileName(), "JPG").isNull());
        }
    }

#ifndef Q_OS_WIN
    // A pipe that sends nothing must not freeze the window: while the run waits for bytes the
    // windows go on taking clicks (About opens), and a close ends the run and the program at
    // once, leaving only whole textures.
    void closingWhileThePipeIsSilentEndsTheRunAtOnce_data()
    {
        QTest::addColumn<bool>("writer");
        QTest::addColumn<int>("whole");
        QTest::newRow("no writer ever") << false << 0;
        QTest::newRow("writer silent in the first texture") << true << 0;
        QTest::newRow("writer silent after two textures") << true << 2;
    }
    void closingWhileThePipeIsSilentEndsTheRunAtOnce()
    {
        QFETCH(bool, writer);
        QFETCH(int, whole);
        const LevelDatabase db = LevelDatabase::make(4, 77, 200);
        const QByteArray level = db.bytes();
        // The textures sent whole, and 50 bytes of the next one.
        qsizetype cut = -1;
        for (int i = 0; i <= whole; ++i)
            cut = level.indexOf(jfifSignature(), cut + 1);
        QVERIFY(cut >= 0);
        const QByteArray sent = level.left(cut + 50);
        const QString name = QStringLiteral("silent-%1-%2").arg(int(writer)).arg(whole);
        const QString fifo = m_tmp.filePath(name + QStringLiteral(".ldb"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const QString out = m_tmp.filePath(name);
        QVERIFY(QDir().mkpath(out));

        // The writer; without one, a rescuer that ends the pipe once the test has waited long
        // enough, so that a window that does not yield fails the test instead of hanging it.
        std::atomic<bool> ended{false};
        std::thread peer([&] {
            sigset_t pipeSignal;
            sigemptyset(&pipeSignal);
            sigaddset(&pipeSignal, SIGPIPE);
            pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            const auto waitForEnd = [&] {
                while (!ended && std::chrono::steady_clock::now() < deadline)
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
            };
            if (!writer) {
                waitForEnd();
                if (ended)
                    return;
            }
            int fd = -1;
            while ((fd = ::open(QFile::encodeName(fifo).constData(),
                                O_WRONLY | O_NONBLOCK | O_CLOEXEC)) < 0 &&
                   errno == ENXIO && !ended && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            if (fd < 0)
                return;
            if (writer) {
                [[maybe_unused]] const ssize_t put = ::write(fd, sent.constData(), sent.size());
                waitForEnd();
            }
            ::close(fd);
        });

        QPointer<FrmMain> main = openWindow();
        main->txtSource->setText(fifo);
        main->txtExtract->setText(out);
        MessageBoxCatcher boxes;
        bool aboutOpened = false;
        QElapsedTimer sinceClose;
        QElapsedTimer sinceStart;
        QTimer user;
        user.setInterval(50);
        connect(&user, &QTimer::timeout, this, [&] {
            if (!main || sinceClose.isValid() || !main->isExtracting() ||
                sinceStart.elapsed() < 400)
                return;
            if (!aboutOpened) {
                main->CmdAbout->click();
                aboutOpened = WindowRefs::hasAbout() && WindowRefs::frmAbout()->isVisible();
                return;
            }
            sinceClose.start();
            main->close();
        });
        user.start();
        sinceStart.start();
        const int code = runProgram([&] { main->CmdExtract->click(); });
        const qint64 closeTook = sinceClose.isValid() ? sinceClose.elapsed() : -1;
        user.stop();
        ended = true;
        peer.join();

        QCOMPARE(code, 0);
        QVERIFY(aboutOpened);
        QVERIFY(closeTook >= 0);
        QVERIFY2(closeTook < 5000, qPrintable(QString::number(closeTook)));
        QVERIFY(main.isNull());
        QVERIFY(!WindowRefs::hasMain());
        QVERIFY(!WindowRefs::hasAbout());
        QVERIFY(boxes.shown().isEmpty());
        QVERIFY(openFilesUnder(m_tmp.path()).isEmpty());
        // The whole textures sent, and nothing half-written beside them.
        QStringList expected;
        for (int i = 0; i < whole; ++i)
            expected.append(QString::fromStdString(
                glintmark::testsupport::imageName(static_cast<unsigned>(i + 1))));
        QCOMPARE(QDir(out).entryList(QDir::Files | QDir::Hidden, QDir::Name), expected);
        for (int i = 0; i < whole; ++i) {
            QFile file(QDir(out).filePath(expected.at(i)));
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), db.expectedFile(i));
        }
    }
#endif

    void screenshotModeRendersEveryWindowAndQuits()
    {
        const QString dir = m_tmp.filePath(QStringLiteral("shots"));
        QProcess program;
        program.start(QStringLiteral(GLINTMARK_EXECUTABLE), {QStringLiteral("--screenshot"), dir});
        QVERIFY(program.waitForFinished(60000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        const QList<QPair<QString, QSize>> expected{
            {QStringLiteral("FrmMain.png"), QSize(548, 304)},
            {QStringLiteral("FrmAbout.png"), QSize(354, 185)},
            {QStringLiteral("FrmBrowse.png"), QSize(298, 389)}};
        for (const auto& [name, size] : expected) {
            const QImage shot(QDir(dir).filePath(name));
            QVERIFY2(!shot.isNull(), qPrintable(name));
            QCOMPARE(shot.size(), size);
        }
    }

    // Usage errors need no window system; without one, the program says so in one line.
    void theCommandLineIsAnsweredWithoutADisplay()
    {
        struct Case
        {
            QStringList args;
            bool display; // run where a window can be opened (offscreen)
            int code;
            QString says;
        };
        const QString twoFiles =
            QStringLiteral("one source file at most, not 2; see glintmark --help");
        const QList<Case> cases{
            {{QStringLiteral("--bogus")}, true, 2, QStringLiteral("Unknown option 'bogus'; see")},
            {{QStringLiteral("a"), QStringLiteral("b")}, true, 2, twoFiles},
            {{QStringLiteral("-platform"), QStringLiteral("offscreen"), QStringLiteral("a"),
              QStringLiteral("b")},
             true,
             2,
             twoFiles},
            {{QStringLiteral("--screenshot")}, true, 2, QStringLiteral("'--screenshot'")},
#ifdef Q_OS_LINUX
            {{QStringLiteral("--bogus")}, false, 2, QStringLiteral("Unknown option 'bogus'; see")},
            {{QStringLiteral("a"), QStringLiteral("b")}, false, 2, twoFiles},
            {{},
             false,
             1,
             QStringLiteral("glintmark: cannot open the window: there is no display (DISPLAY is "
                            "not set); glintmark-cli works without one\n")},
#endif
        };
        for (const Case& c : cases) {
            QProcess program;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            if (!c.display) {
                environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
                environment.remove(QStringLiteral("DISPLAY"));
                environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
            }
            program.setProcessEnvironment(environment);
            program.start(QStringLiteral(GLINTMARK_EXECUTABLE), c.args);
            QVERIFY(program.waitForFinished(60000));
            const QString err = QString::fromLocal8Bit(program.readAllStandardError());
            const QString what = c.args.join(QLatin1Char(' ')) + (c.display ? "" : " (no display)");
            QVERIFY2(program.exitStatus() == QProcess::NormalExit, qPrintable(what));
            QVERIFY2(program.exitCode() == c.code, qPrintable(what + ": " + err));
            QVERIFY2(err.contains(c.says), qPrintable(what + ": " + err));
            QVERIFY2(err.count(QLatin1Char('\n')) == 1, qPrintable(what + ": " + err));
        }
    }

    // Help and version are text only, answered without a display; the help points at the
    // command line, and the version answers to -V as glintmark-cli's does.
    void helpAndVersionAreAnsweredWithoutADisplay()
    {
        struct Case
        {
            QString arg;
            QString startsWith;
            QString says;
        };
        const QList<Case> cases{
            {QStringLiteral("--help"), QStringLiteral("Usage: "),
             QStringLiteral("glintmark-cli does the same without a window")},
            {QStringLiteral("--help"), QStringLiteral("Usage: "), QStringLiteral("-V, --version")},
            {QStringLiteral("-V"), QStringLiteral("glintmark 1."), QStringLiteral("MIT licence")},
            {QStringLiteral("--version"), QStringLiteral("glintmark 1."),
             QStringLiteral("Copyright (c)")},
            {QStringLiteral("-v"), QStringLiteral("glintmark 1."), QStringLiteral("MIT licence")},
        };
        for (const Case& c : cases) {
            QProcess program;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
            environment.remove(QStringLiteral("DISPLAY"));
            environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
            program.setProcessEnvironment(environment);
            program.start(QStringLiteral(GLINTMARK_EXECUTABLE), {c.arg});
            QVERIFY(program.waitForFinished(60000));
            const QString out = QString::fromLocal8Bit(program.readAllStandardOutput());
            QVERIFY2(program.exitCode() == 0, qPrintable(c.arg));
            QVERIFY2(out.startsWith(c.startsWith), qPrintable(c.arg + ": " + out));
            QVERIFY2(out.contains(c.says), qPrintable(c.arg + ": " + out));
        }
    }

    void screenshotModeNamesAFolderItCannotWrite()
    {
        const QString blocker = m_tmp.filePath(QStringLiteral("plain-file"));
        QFile file(blocker);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        const QString dir = blocker + QStringLiteral("/shots");
        QProcess program;
        program.start(QStringLiteral(GLINTMARK_EXECUTABLE), {QStringLiteral("--screenshot"), dir});
        QVERIFY(program.waitForFinished(60000));
        QCOMPARE(program.exitCode(), 1);
        // The folder and the system's reason: a file stands where a folder should be.
        const QString err = QString::fromLocal8Bit(program.readAllStandardError());
        QVERIFY2(err.contains(QDir::toNativeSeparators(dir) +
                              QStringLiteral(": cannot create the folder: ")),
                 qPrintable(err));
        QVERIFY2(!err.trimmed().endsWith(QStringLiteral("folder:")), qPrintable(err));
    }
};

QTEST_MAIN(ProgramEndTest)
#include "ProgramEndTest.moc"
