// Extraction through the main window: Extract, the progress display, the final message and what
// lands in the output folder.
#include "LevelDatabase.h"
#include "MessageBoxCatcher.h"
#include "engine/io/RawDir.h"

#include "ui/CommDiag.h"
#include "ui/FrmMain.h"
#include "ui/Platform.h"
#include "ui/WindowRefs.h"
#include "ui/dialogs/DirListBox.h"
#include "ui/dialogs/FrmBrowse.h"

#include <QDir>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidgetItemIterator>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>

using namespace glintmark::ui;

namespace {

QStringList filesIn(const QString& dir)
{
    return QDir(dir).entryList(QDir::Files, QDir::Name);
}

QString imageName(int number)
{
    return QString::fromStdString(glintmark::testsupport::imageName(static_cast<unsigned>(number)));
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class ExtractRunTest : public QObject
{
    Q_OBJECT

private:
    QPointer<FrmMain> m_window;
    // A short name: the long-path case needs its path to fit on one line of a message box, also
    // below Windows' longer temporary folder.
    QTemporaryDir m_tmp{QDir::tempPath() + QStringLiteral("/gm-XXXXXX")};

    FrmMain* openWindow()
    {
        m_window = WindowRefs::frmMain();
        m_window->Form_Load();
        m_window->showCentred();
        return m_window;
    }

    QString makeSource(const QString& name, const LevelDatabase& db)
    {
        const QString path = m_tmp.filePath(name);
        if (!db.write(path))
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

    QString makeFolder(const QString& name)
    {
        QDir(m_tmp.path()).mkpath(name);
        return m_tmp.filePath(name);
    }

    // Presses Extract with `during` called at every yield of the run, as a user's input would.
    void extract(const std::function<void()>& during = {})
    {
        QTimer tick;
        tick.setInterval(0);
        if (during)
            connect(&tick, &QTimer::timeout, this, during);
        tick.start();
        m_window->CmdExtract->click();
        tick.stop();
    }

    // Every texture of `db` landed in `folder` under its number, whole, and nothing else.
    static void verifyFolderHolds(const QString& folder, const LevelDatabase& db)
    {
        QStringList expected;
        for (int i = 0; i < db.count(); ++i)
            expected.append(imageName(i + 1));
        QCOMPARE(filesIn(folder), expected);
        for (int i = 0; i < db.count(); ++i) {
            const QString path = QDir(folder).filePath(imageName(i + 1));
            QCOMPARE(readAll(path), db.expectedFile(i));
            QImage decoded;
            QVERIFY2(decoded.load(path, "JPG"), qPrintable(path));
            QCOMPARE(decoded.size(), QImage::fromData(db.texture(i), "JPG").size());
        }
    }

private slots:
    void initTestCase() { QVERIFY(m_tmp.isValid()); }

    void cleanup()
    {
        WindowRefs::unloadSecondaries();
        delete m_window.data();
    }

    void extractsEveryTextureAndReportsTheCount_data()
    {
        QTest::addColumn<int>("textures");
        QTest::addColumn<int>("blockSize");
        QTest::addColumn<QString>("message");
        QTest::newRow("one, default blocks") << 1 << 0 << QStringLiteral(" 1 Textures Extracted");
        QTest::newRow("twelve, default blocks")
            << 12 << 0 << QStringLiteral(" 12 Textures Extracted");
        QTest::newRow("twelve, small blocks")
            << 12 << 1000 << QStringLiteral(" 12 Textures Extracted");
        QTest::newRow("none") << 0 << 0 << QStringLiteral(" 0 Textures Extracted");
    }

    void extractsEveryTextureAndReportsTheCount()
    {
        QFETCH(int, textures);
        QFETCH(int, blockSize);
        QFETCH(QString, message);
        const LevelDatabase db = LevelDatabase::make(textures, 7u + static_cast<quint32>(textures));
        const QString tag = QString::fromLatin1(QTest::currentDataTag()).replace(' ', '_');
        const QString source = makeSource(tag + QStringLiteral(".ldb"), db);
        const QString out = makeFolder(tag);

        FrmMain* w = openWindow();
        if (blockSize > 0)
            w->setBlockSize(static_cast<std::size_t>(blockSize));
        w->txtSource->setText(source);
        w->txtExtract->setText(out);
        MessageBoxCatcher boxes;
        extract();

        QCOMPARE(boxes.shown().size(), 1);
        const MessageBoxCatcher::Shown& box = boxes.shown().first();
        QCOMPARE(box.title, QStringLiteral("Done!"));
        QCOMPARE(box.text, message);
        QCOMPARE(box.icon, QMessageBox::Information);
        QVERIFY(box.modal);
        verifyFolderHolds(out, db);
        // The display keeps the end of the run.
        QCOMPARE(w->lblPerc->text(), QStringLiteral(" 100 % Done"));
        QCOMPARE(w->ProgBar->value(), 100);
        QVERIFY(!w->isExtracting());
    }

    void anEmptyBoxStartsNothing_data()
    {
        QTest::addColumn<bool>("withSource");
        QTest::addColumn<QString>("folder");
        QTest::newRow("both empty") << false << QString();
        QTest::newRow("no folder") << true << QString();
        QTest::newRow("no source") << false << QStringLiteral("<out>");
        // Spaces only would name the file-system root: treated as no folder at all.
        QTest::newRow("folder of spaces") << true << QStringLiteral("   ");
    }

    void anEmptyBoxStartsNothing()
    {
        QFETCH(bool, withSource);
        QFETCH(QString, folder);
        const QString out = makeFolder(QStringLiteral("untouched"));
        FrmMain* w = openWindow();
        if (withSource)
            w->txtSource->setText(
                makeSource(QStringLiteral("start.ldb"), LevelDatabase::make(2, 3)));
        w->txtExtract->setText(folder == QLatin1String("<out>") ? out : folder);
        MessageBoxCatcher boxes;
        extract();

        QVERIFY(boxes.shown().isEmpty());
        QVERIFY(filesIn(out).isEmpty());
        QVERIFY(!QFile::exists(QStringLiteral("/Vorlesk_0001.jpg")));
        QVERIFY(!QFile::exists(QDir::current().filePath(imageName(1))));
        QVERIFY(w->lblPerc->text().isEmpty());
        QCOMPARE(w->ProgBar->value(), 0);
    }

    void extractSetsTheJobFromTheBoxes_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("jobSource");
        // The folder the job names, with the separator the window puts after it.
        QTest::addColumn<QString>("jobFolder");
        // The boxes hold paths as the choosers write them: with the system's separators.
        const QString sep = QDir::separator();
        const QString lv = QDir::toNativeSeparators(QStringLiteral("/lv/"));
        const QString out = QDir::toNativeSeparators(QStringLiteral("/out"));
        QTest::newRow("empty boxes") << QString() << QString() << QString() << sep;
        // A chosen name is kept exactly: "a.ldb " and "out " are other files than "a.ldb" and
        // "out".
        QTest::newRow("spaces kept")
            << lv + "a b.ldb " << out + " " << lv + "a b.ldb " << out + " " + sep;
        QTest::newRow("folder with separator")
            << lv + "a.ldb" << out + sep << lv + "a.ldb" << out + sep;
        QTest::newRow("root folder") << lv + "a.ldb" << sep << lv + "a.ldb" << sep;
    }

    void extractSetsTheJobFromTheBoxes()
    {
        QFETCH(QString, source);
        QFETCH(QString, folder);
        QFETCH(QString, jobSource);
        QFETCH(QString, jobFolder);
        FrmMain* w = openWindow();
        // No source file exists under these names, so the runs that start end in a warning.
        w->txtSource->setText(source);
        w->txtExtract->setText(folder);
        MessageBoxCatcher boxes;
        extract();

        const glintmark::ExtractJob job = w->extractJob();
        QCOMPARE(platform::fromPath(job.sourceFile), jobSource);
        QCOMPARE(platform::fromPath(job.outputFolder), jobFolder);
        QCOMPARE(platform::fromPath(job.stem), QStringLiteral("Vorlesk_"));
        QCOMPARE(job.outExt, std::string(".jpg"));
        QCOMPARE(QByteArray::fromStdString(job.signature), jfifSignature());
        for (const MessageBoxCatcher::Shown& box : boxes.shown())
            QCOMPARE(box.icon, QMessageBox::Warning);
    }

#ifndef Q_OS_WIN
    // A source and a folder whose names are not UTF-8 are read and written under exactly those
    // names: the source from the command line or from the open dialog (Qt's shows such a name
    // with U+FFFD), the folder from the chooser.
    void namesThatAreNotUtf8AreKeptExactly_data()
    {
        QTest::addColumn<bool>("fromDialog");
        QTest::newRow("source from the command line") << false;
        QTest::newRow("source from the open dialog") << true;
    }
    void namesThatAreNotUtf8AreKeptExactly()
    {
        QFETCH(bool, fromDialog);
        namespace fs = std::filesystem;
        const auto hex = [](const std::string& bytes) {
            return QByteArray::fromStdString(bytes).toHex(' ');
        };
        const fs::path base = platform::toPath(m_tmp.path()) / (fromDialog ? "dialog" : "args");
        const fs::path source = base / "bad\xff.ldb";
        const fs::path out = base / "out\xfe";
        // Qt cannot remove names it cannot spell; they go by their bytes.
        const std::shared_ptr<void> removal(nullptr, [&base](void*) {
            std::error_code ec;
            fs::remove_all(base, ec);
        });
        fs::create_directories(out);
        const LevelDatabase db = LevelDatabase::make(3, 41);
        {
            std::ofstream file(source, std::ios::binary);
            const QByteArray bytes = db.bytes();
            file.write(bytes.constData(), bytes.size());
            QVERIFY(file.good());
        }

        FrmMain* w = openWindow();
        if (fromDialog) {
            const QString shown = QFile::decodeName(QByteArray::fromStdString(source.native()));
            CommDiag::setDialogRunner([&](const CommDiag::OpenRequest&) { return shown; });
            w->CmdInBrowse->click();
            CommDiag::setDialogRunner({});
        } else {
            w->chooseSource(platform::fromArgument(source.c_str()));
        }
        // The chooser: the folder's parent, then the folder opened from the list, then Done.
        w->CmdOutBrowse->click();
        FrmBrowse* browse = WindowRefs::frmBrowse();
        QVERIFY(browse->Dir1->setPath(platform::fromPath(base)));
        QTreeWidgetItem* entry = nullptr;
        for (QTreeWidgetItemIterator it(browse->Dir1); *it; ++it) {
            if ((*it)->text(0) == platform::fromPath(out.filename()))
                entry = *it;
        }
        QVERIFY(entry);
        browse->Dir1->setCurrentItem(entry);
        QTest::keyClick(browse->Dir1, Qt::Key_Return);
        browse->CmdClose->click();
        MessageBoxCatcher boxes;
        extract();

        QCOMPARE(hex(w->extractJob().sourceFile.native()), hex(source.native()));
        QCOMPARE(hex(w->extractJob().outputFolder.native()), hex(out.native() + "/"));
        QCOMPARE(boxes.shown().size(), 1);
        QCOMPARE(boxes.shown().first().text, QStringLiteral(" 3 Textures Extracted"));
        std::size_t files = 0;
        for (const fs::directory_entry& file : fs::directory_iterator(out)) {
            (void)file;
            ++files;
        }
        QCOMPARE(files, std::size_t{3});
        for (int i = 0; i < db.count(); ++i) {
            std::ifstream file(out /
                                   glintmark::testsupport::imageName(static_cast<unsigned>(i + 1)),
                               std::ios::binary);
            const std::string held{std::istreambuf_iterator<char>(file), {}};
            QVERIFY2(QByteArray::fromStdString(held) == db.expectedFile(i),
                     qPrintable(imageName(i + 1)));
        }
    }
#endif

    void captionAndBarFollowEveryBlock()
    {
        const LevelDatabase db = LevelDatabase::make(20, 11);
        const QString source = makeSource(QStringLiteral("caption.ldb"), db);
        FrmMain* w = openWindow();
        w->setBlockSize(4096);
        w->txtSource->setText(source);
        w->txtExtract->setText(makeFolder(QStringLiteral("caption")));
        const int left = w->lblPerc->x();
        QStringList captions;
        QList<int> values;
        bool labelFitsText = true;
        MessageBoxCatcher boxes;
        extract([&] {
            if (captions.isEmpty() || captions.last() != w->lblPerc->text()) {
                captions.append(w->lblPerc->text());
                values.append(w->ProgBar->value());
                labelFitsText = labelFitsText && w->lblPerc->x() == left &&
                                w->lblPerc->width() == w->lblPerc->sizeHint().width();
            }
        });

        const qsizetype blocks = (db.bytes().size() + 4095) / 4096;
        QVERIFY2(captions.size() > blocks / 2, qPrintable(QString::number(captions.size())));
        const QRegularExpression format(QStringLiteral("^ (\\d{1,3}) % Done$"));
        int previous = 0;
        for (qsizetype i = 0; i < captions.size(); ++i) {
            const QRegularExpressionMatch match = format.match(captions.at(i));
            QVERIFY2(match.hasMatch(), qPrintable(captions.at(i)));
            const int percent = match.captured(1).toInt();
            QCOMPARE(values.at(i), percent);
            QVERIFY(percent >= previous);
            previous = percent;
        }
        QCOMPARE(captions.last(), QStringLiteral(" 100 % Done"));
        QVERIFY(labelFitsText);
        QCOMPARE(boxes.shown().size(), 1);
    }

    void aSecondPressDuringARunIsIgnored()
    {
        const LevelDatabase db = LevelDatabase::make(15, 21);
        const QString out = makeFolder(QStringLiteral("reentry"));
        FrmMain* w = openWindow();
        w->setBlockSize(2048);
        w->txtSource->setText(makeSource(QStringLiteral("reentry.ldb"), db));
        w->txtExtract->setText(out);
        int pressed = 0;
        bool monotonic = true;
        int last = 0;
        MessageBoxCatcher boxes;
        extract([&] {
            monotonic = monotonic && w->ProgBar->value() >= last;
            last = w->ProgBar->value();
            if (last >= 30 && pressed < 3) {
                ++pressed;
                QVERIFY(w->isExtracting());
                w->CmdExtract->click();
                w->CmdExtract_Click();
            }
        });

        QCOMPARE(pressed, 3);
        QVERIFY(monotonic);
        QVERIFY(w->CmdExtract->isEnabled());
        QCOMPARE(boxes.shown().size(), 1);
        QCOMPARE(boxes.shown().first().text, QStringLiteral(" 15 Textures Extracted"));
        verifyFolderHolds(out, db);
    }

    void pathsChosenDuringARunApplyToTheNextRun()
    {
        const LevelDatabase first = LevelDatabase::make(6, 31);
        const LevelDatabase second = LevelDatabase::make(3, 32);
        const QString out1 = makeFolder(QStringLiteral("next1"));
        const QString out2 = makeFolder(QStringLiteral("next2"));
        const QString source2 = makeSource(QStringLiteral("next2.ldb"), second);
        FrmMain* w = openWindow();
        w->setBlockSize(1024);
        w->txtSource->setText(makeSource(QStringLiteral("next1.ldb"), first));
        w->txtExtract->setText(out1);
        MessageBoxCatcher boxes;
        extract([&] {
            // What the two choosers write when the user confirms during the run.
            w->txtSource->setText(source2);
            w->txtExtract->setText(out2);
        });
        verifyFolderHolds(out1, first);
        QVERIFY(filesIn(out2).isEmpty());

        extract();
        verifyFolderHolds(out2, second);
        QCOMPARE(boxes.shown().size(), 2);
        QCOMPARE(boxes.shown().last().text, QStringLiteral(" 3 Textures Extracted"));
    }

    void aFailureIsShownAsAWarningAndTheWindowStaysReady_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("named");
        QTest::addColumn<QString>("reason");
        // Whether the box counts the textures kept: only a run that got to reading does.
        QTest::addColumn<bool>("counted");
        const auto reason = [](int code) { return QString::fromLocal8Bit(std::strerror(code)); };
        QTest::newRow("missing source") << QStringLiteral("missing.ldb") << QStringLiteral("ok")
                                        << QStringLiteral("missing.ldb") << reason(ENOENT) << false;
        QTest::newRow("missing folder") << QStringLiteral("good.ldb") << QStringLiteral("gone")
                                        << QStringLiteral("gone") << reason(ENOENT) << false;
        QTest::newRow("long path, kept on one line")
            << QStringLiteral("lost.ldb") << QStringLiteral("ok") << QStringLiteral("<source>")
            << reason(ENOENT) << false;
        QTest::newRow("image name taken by a folder")
            << QStringLiteral("good.ldb") << QStringLiteral("taken")
            << QStringLiteral("Vorlesk_0001") << reason(EISDIR) << true;
        // Another program's run holds the folder: nothing is written into it.
        QTest::newRow("folder in use")
            << QStringLiteral("good.ldb") << QStringLiteral("ok") << QStringLiteral("ok")
            << QStringLiteral("Another extraction is writing") << false;
    }

    void aFailureIsShownAsAWarningAndTheWindowStaysReady()
    {
        QFETCH(QString, source);
        QFETCH(QString, folder);
        QFETCH(QString, named);
        QFETCH(QString, reason);
        QFETCH(bool, counted);
        const LevelDatabase db = LevelDatabase::make(2, 41);
        const QString good = makeSource(QStringLiteral("good.ldb"), db);
        QDir(m_tmp.filePath(QStringLiteral("ok"))).removeRecursively(); // an earlier row's images
        const QString ok = makeFolder(QStringLiteral("ok"));
        makeFolder(QStringLiteral("taken/Vorlesk_0001.jpg"));
        FrmMain* w = openWindow();
        w->txtSource->setText(m_tmp.filePath(source));
        w->txtExtract->setText(m_tmp.filePath(folder));
        MessageBoxCatcher boxes;
        {
            std::error_code ec;
            glintmark::RawDir held = glintmark::RawDir::open(platform::toPath(ok), ec);
            if (QByteArray(QTest::currentDataTag()) == "folder in use")
                QVERIFY(held.tryLock(ec));
            extract();
        }
        QCOMPARE(filesIn(ok), QStringList());

        QCOMPARE(boxes.shown().size(), 1);
        const MessageBoxCatcher::Shown& warning = boxes.shown().first();
        QCOMPARE(warning.icon, QMessageBox::Warning);
        QVERIFY(warning.modal);
        // The box breaks long lines, but never inside a path that fits on a line of its own.
        QVERIFY(!warning.rewrapped);
        const QStringList lines = warning.text.split(QLatin1Char('\n'));
        const QString whole = named == QLatin1String("<source>") ? m_tmp.filePath(source) : named;
        QVERIFY2(std::any_of(lines.begin(), lines.end(),
                             [&](const QString& line) { return line.contains(whole); }),
                 qPrintable(warning.text));
        QVERIFY2(
            QString(warning.text).replace(QLatin1Char('\n'), QLatin1Char(' ')).contains(reason),
            qPrintable(warning.text));
        QCOMPARE(warning.text.contains(QStringLiteral("Textures extracted before the failure: 0")),
                 counted);
        QVERIFY(!w->isExtracting());

        w->txtSource->setText(good);
        w->txtExtract->setText(ok);
        extract();
        QCOMPARE(boxes.shown().size(), 2);
        QCOMPARE(boxes.shown().last().title, QStringLiteral("Done!"));
        verifyFolderHolds(ok, db);
    }
};

QTEST_MAIN(ExtractRunTest)
#include "ExtractRunTest.moc"
