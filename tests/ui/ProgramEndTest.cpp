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

#include <functional>

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
