// The texture window's export: all of a level or a game against the command line's -o of the
// same source, file by file and index by index; the selected textures alone, against the
// textures the test put in; a cancel; a folder that cannot be written.
#include "LevelDatabase.h"

#include "ui/textures/FrmTextures.h"
#include "ui/textures/TextureFilter.h"
#include "ui/textures/TextureModel.h"

#include "support/Referees.h"
#include "ui/Platform.h"

#include <QCheckBox>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QItemSelectionModel>
#include <QLabel>
#include <QListView>
#include <QMap>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <system_error>

using namespace glintmark::ui;

namespace {

constexpr int kWaitMs = 60000;

// Every file below `folder`, by its path there, with sha256sum's digest of its bytes.
QMap<QString, QString> digestsBelow(const QString& folder)
{
    QMap<QString, QString> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files[QDir(folder).relativeFilePath(path)] = QString::fromStdString(
            glintmark::testsupport::sha256sumOf(glintmark::ui::platform::toPath(path)));
    }
    return files;
}

// The command line's extraction of `source` into `folder`, with `options`.
bool cliExtract(const QString& source, const QString& folder, const QStringList& options)
{
    QProcess cli;
    cli.start(QStringLiteral(GLINTMARK_CLI_EXECUTABLE),
              options + QStringList{QStringLiteral("-o"), folder, source});
    return cli.waitForFinished(kWaitMs) && cli.exitStatus() == QProcess::NormalExit &&
           cli.exitCode() == 0;
}

bool listIn(FrmTextures& window, const QString& source)
{
    QSignalSpy finished(&window, &FrmTextures::listingFinished);
    window.openSource(glintmark::ui::platform::toPath(source));
    return finished.count() > 0 || finished.wait(kWaitMs);
}

bool exportIn(FrmTextures& window, const QString& folder, bool selectedOnly)
{
    QSignalSpy finished(&window, &FrmTextures::exportFinished);
    window.exportTo(glintmark::ui::platform::toPath(folder), selectedOnly);
    return finished.count() > 0 || finished.wait(kWaitMs);
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QString statusOf(const FrmTextures& window)
{
    return window.findChild<QLabel*>(QStringLiteral("lblStatus"))->text();
}

} // namespace

class TextureExportTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    LevelDatabase m_db = LevelDatabase::make(4, 3701);
    QString m_game;
    QString m_level;

    // A game of two levels sharing textures 1 and 2: a.ldb holds 0 1 2, sub/b.ldb holds 1 2 3.
    void makeSources()
    {
        m_game = m_dir.filePath(QStringLiteral("game"));
        QVERIFY(QDir().mkpath(m_game + QStringLiteral("/sub")));
        QVERIFY(m_db.writeLevelOf(m_game + QStringLiteral("/a.ldb"), {0, 1, 2}, 1));
        QVERIFY(m_db.writeLevelOf(m_game + QStringLiteral("/sub/b.ldb"), {1, 2, 3}, 2));
        m_level = m_dir.filePath(QStringLiteral("level.ldb"));
        QVERIFY(LevelDatabase::make(30, 3702).write(m_level));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        makeSources();
    }

    // Every file and the index, byte for byte, as the command line's -o writes them.
    void exportAllMatchesTheCommandLine_data()
    {
        QTest::addColumn<bool>("game");
        QTest::addColumn<bool>("trim");
        QTest::addColumn<bool>("dedupe");
        QTest::newRow("level") << false << false << false;
        QTest::newRow("level, trimmed") << false << true << false;
        QTest::newRow("game") << true << false << false;
        QTest::newRow("game, trimmed, deduplicated") << true << true << true;
    }
    void exportAllMatchesTheCommandLine()
    {
        QFETCH(bool, game);
        QFETCH(bool, trim);
        QFETCH(bool, dedupe);
        const QString source = game ? m_game : m_level;
        const QString tag = QString::fromLatin1(QTest::currentDataTag());
        const QString cliOut = m_dir.filePath(QStringLiteral("cli ") + tag);
        const QString windowOut = m_dir.filePath(QStringLiteral("window ") + tag);
        QStringList options;
        if (trim)
            options << QStringLiteral("--trim");
        if (dedupe)
            options << QStringLiteral("--dedupe");
        QVERIFY(cliExtract(source, cliOut, options));

        FrmTextures window;
        QVERIFY(listIn(window, source));
        window.findChild<QCheckBox*>(QStringLiteral("chkTrim"))->setChecked(trim);
        window.findChild<QCheckBox*>(QStringLiteral("chkDedupe"))->setChecked(dedupe);
        QVERIFY(exportIn(window, windowOut, false));

        const QMap<QString, QString> expected = digestsBelow(cliOut);
        QVERIFY(expected.contains(QStringLiteral("textures.json")));
        QVERIFY(expected.size() >= (game ? 7 : 31)); // every image and the index
        QCOMPARE(digestsBelow(windowOut), expected);
        QVERIFY2(statusOf(window).startsWith(QStringLiteral("Exported ")),
                 qPrintable(statusOf(window)));
        QVERIFY(statusOf(window).contains(windowOut));
        QCOMPARE(window.exportedFolder(), windowOut);
        QVERIFY(window.findChild<QPushButton*>(QStringLiteral("CmdOpenExport"))->isEnabled());
    }

    // The textures selected, each wherever the game uses it, and nothing else: trimmed, each
    // file is the texture the test put in.
    void selectedExportWritesExactlyTheChosen()
    {
        FrmTextures window;
        QVERIFY(listIn(window, m_game));
        QPushButton* selected = window.findChild<QPushButton*>(QStringLiteral("CmdExportSelected"));
        window.findChild<QCheckBox*>(QStringLiteral("chkTrim"))->setChecked(true);
        auto* grid = window.findChild<QListView*>(QStringLiteral("lstTextures"));
        grid->selectionModel()->clearSelection();
        QVERIFY(!selected->isEnabled());
        // The distinct textures: 0 1 2 3, each once, in the order first found.
        QCOMPARE(window.filter()->rowCount(), 4);
        for (int row : {1, 3})
            grid->selectionModel()->select(window.filter()->index(row, 0),
                                           QItemSelectionModel::Select);
        QVERIFY(selected->isEnabled());
        const QString out = m_dir.filePath(QStringLiteral("selected"));
        QVERIFY(exportIn(window, out, true));

        QMap<QString, QString> files = digestsBelow(out);
        QVERIFY(files.remove(QStringLiteral("textures.json")) == 1);
        // Texture 1 is image 2 of a and image 1 of b; texture 3 is image 3 of b.
        const QMap<QString, int> expected{{QStringLiteral("a/Vorlesk_0002.jpg"), 1},
                                          {QStringLiteral("sub/b/Vorlesk_0001.jpg"), 1},
                                          {QStringLiteral("sub/b/Vorlesk_0003.jpg"), 3}};
        QCOMPARE(files.keys(), expected.keys());
        for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
            const QString reference = m_dir.filePath(QStringLiteral("texture.bin"));
            QVERIFY(writeFile(reference, m_db.texture(it.value())));
            QCOMPARE(files[it.key()], QString::fromStdString(glintmark::testsupport::sha256sumOf(
                                          glintmark::ui::platform::toPath(reference))));
        }
        QVERIFY(statusOf(window).startsWith(QStringLiteral("Exported 3 images")));
    }

    // A level renamed between the listing and the export: what was chosen in it cannot be
    // written, and the export says so and fails rather than reporting the others as all.
    void aChosenLevelGoneSinceTheListingIsNamed()
    {
        const QString game = m_dir.filePath(QStringLiteral("renamed game"));
        QVERIFY(QDir().mkpath(game + QStringLiteral("/sub")));
        for (const QString& name : {QStringLiteral("/a.ldb"), QStringLiteral("/sub/b.ldb")})
            QVERIFY(QFile::copy(m_game + name, game + name));
        FrmTextures window;
        QVERIFY(listIn(window, game));
        auto* grid = window.findChild<QListView*>(QStringLiteral("lstTextures"));
        grid->selectionModel()->clearSelection();
        for (int row : {1, 3})
            grid->selectionModel()->select(window.filter()->index(row, 0),
                                           QItemSelectionModel::Select);
        QVERIFY(QFile::rename(game + QStringLiteral("/sub/b.ldb"),
                              game + QStringLiteral("/sub/c.ldb")));
        const QString out = m_dir.filePath(QStringLiteral("renamed out"));
        QVERIFY(exportIn(window, out, true));

        const QString status = statusOf(window);
        QVERIFY2(status.startsWith(QStringLiteral("Export failed")), qPrintable(status));
        QVERIFY2(status.contains(QStringLiteral("\"sub/b.ldb\" is no longer in the source; its 2 "
                                                "chosen images were not written")),
                 qPrintable(status));
        QMap<QString, QString> files = digestsBelow(out);
        files.remove(QStringLiteral("textures.json"));
        QCOMPARE(files.keys(), QStringList{QStringLiteral("a/Vorlesk_0002.jpg")});
    }

    // A cancel as the export starts: it ends as cancelled, and every file left is whole (as the
    // command line writes it), no hidden part of one.
    void cancelLeavesNoPartFile()
    {
        const QString big = m_dir.filePath(QStringLiteral("big.ldb"));
        QVERIFY(LevelDatabase::make(300, 3703, 60000).write(big));
        const QString cliOut = m_dir.filePath(QStringLiteral("big cli"));
        QVERIFY(cliExtract(big, cliOut, {}));
        const QMap<QString, QString> whole = digestsBelow(cliOut);

        FrmTextures window;
        QVERIFY(listIn(window, big));
        auto* cancel = window.findChild<QPushButton*>(QStringLiteral("CmdCancel"));
        QVERIFY(!cancel->isEnabled());
        const QString out = m_dir.filePath(QStringLiteral("big window"));
        QSignalSpy finished(&window, &FrmTextures::exportFinished);
        window.exportTo(glintmark::ui::platform::toPath(out), false);
        QVERIFY(window.isExporting());
        QVERIFY2(statusOf(window).startsWith(QStringLiteral("Exporting into ")),
                 qPrintable(statusOf(window)));
        QVERIFY(cancel->isEnabled());
        cancel->click();
        QVERIFY(finished.wait(kWaitMs));
        QVERIFY2(statusOf(window).startsWith(QStringLiteral("Export cancelled")),
                 qPrintable(statusOf(window)));
        const QMap<QString, QString> left = digestsBelow(out);
        QVERIFY(left.size() < whole.size());
        for (auto it = left.cbegin(); it != left.cend(); ++it)
            QCOMPARE(it.value(), whole.value(it.key()));
        QVERIFY(!cancel->isEnabled());
        QVERIFY(!window.isExporting());
    }

    // Closing the window during an export stops it before the window is gone: nothing is
    // written after, and every file left is whole, no hidden part of one.
    void closingTheWindowStopsTheExport()
    {
        const QString big = m_dir.filePath(QStringLiteral("closing.ldb"));
        QVERIFY(LevelDatabase::make(300, 3704, 60000).write(big));
        const QString cliOut = m_dir.filePath(QStringLiteral("closing cli"));
        QVERIFY(cliExtract(big, cliOut, {}));
        const QMap<QString, QString> whole = digestsBelow(cliOut);
        const QString out = m_dir.filePath(QStringLiteral("closing window"));
        {
            FrmTextures window;
            QVERIFY(listIn(window, big));
            window.exportTo(glintmark::ui::platform::toPath(out), false);
            QVERIFY(window.isExporting());
        }
        const QMap<QString, QString> left = digestsBelow(out);
        QTest::qWait(400);
        QCOMPARE(digestsBelow(out), left);
        QVERIFY(left.size() < whole.size());
        for (auto it = left.cbegin(); it != left.cend(); ++it)
            QCOMPARE(it.value(), whole.value(it.key()));
    }

    // A folder that cannot be made (a file is in its place): the failure in the window, with
    // the folder and the system's reason, the file untouched, and nothing to open.
    void aFailureIsShown()
    {
        const QString out = m_dir.filePath(QStringLiteral("a file"));
        QVERIFY(writeFile(out, "not a folder"));
        FrmTextures window;
        // Once the listing is done, the export can start and there is nothing to cancel, also
        // when no texture was found (so none became the current one).
        const QString empty = m_dir.filePath(QStringLiteral("no textures.ldb"));
        QVERIFY(writeFile(empty, QByteArray(4096, 'x')));
        for (const QString& source : {empty, m_level}) {
            QVERIFY(listIn(window, source));
            QVERIFY(window.findChild<QPushButton*>(QStringLiteral("CmdExportAll"))->isEnabled());
            QVERIFY(!window.findChild<QPushButton*>(QStringLiteral("CmdCancel"))->isEnabled());
        }
        QVERIFY(exportIn(window, out, false));
        const QString status = statusOf(window);
        QVERIFY2(status.startsWith(QStringLiteral("Export failed: 0 images")), qPrintable(status));
        QVERIFY2(status.contains(out) || status.contains(QDir::toNativeSeparators(out)),
                 qPrintable(status));
#ifndef Q_OS_WIN // Windows words the same failure its own way
        const QString reason =
            QString::fromStdString(std::error_code(ENOTDIR, std::generic_category()).message());
        QVERIFY2(status.contains(reason, Qt::CaseInsensitive), qPrintable(status));
#endif
        QFile file(out);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("not a folder"));
        QVERIFY(window.exportedFolder().isEmpty());
        QVERIFY(!window.findChild<QPushButton*>(QStringLiteral("CmdOpenExport"))->isEnabled());
    }
};

QTEST_MAIN(TextureExportTest)
#include "TextureExportTest.moc"
