// The texture window's replacements: an edit planned the moment it is chosen or dropped, written
// as new level(s) byte for byte as the command line's put-back writes them, refused with the
// reason, taken back, saved as a pack the command line applies alike, and a pack applied.
#include "LevelDatabase.h"

#include "ui/textures/FrmTextures.h"
#include "ui/textures/ReplacePanel.h"
#include "ui/textures/TextureFilter.h"
#include "ui/textures/TextureModel.h"

#include "support/Referees.h"
#include "ui/Platform.h"

#include <QBuffer>
#include <QCheckBox>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMap>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

using namespace glintmark::ui;

namespace {

constexpr int kWaitMs = 60000;

std::filesystem::path pathOf(const QString& text)
{
    return platform::toPath(text);
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every file below `folder`, by its path there, with sha256sum's digest of its bytes.
QMap<QString, QString> digestsBelow(const QString& folder)
{
    QMap<QString, QString> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files[QDir(folder).relativeFilePath(path)] =
            QString::fromStdString(glintmark::testsupport::sha256sumOf(pathOf(path)));
    }
    return files;
}

// The command line with `arguments`; its exit code, or -1 when it did not end.
int cli(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral(GLINTMARK_CLI_EXECUTABLE), arguments);
    if (!process.waitForFinished(kWaitMs) || process.exitStatus() != QProcess::NormalExit)
        return -1;
    return process.exitCode();
}

// `jpeg` decoded by Qt and encoded again at `quality`: the same frame, fewer bytes.
QByteArray reencoded(const QByteArray& jpeg, int quality)
{
    const QImage image = QImage::fromData(jpeg, "JPEG");
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", quality);
    return bytes;
}

// Seeded noise of `jpeg`'s size at quality 100: more bytes than any texture of that size holds.
QByteArray noiseLike(const QByteArray& jpeg)
{
    const QImage like = QImage::fromData(jpeg, "JPEG");
    QImage noise(like.size(), QImage::Format_RGB32);
    QRandomGenerator random(7);
    for (int y = 0; y < noise.height(); ++y)
        for (int x = 0; x < noise.width(); ++x)
            noise.setPixel(x, y, random.generate() | 0xFF000000u);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    noise.save(&buffer, "JPEG", 100);
    return bytes;
}

bool listIn(FrmTextures& window, const QString& source)
{
    QSignalSpy finished(&window, &FrmTextures::listingFinished);
    window.openSource(pathOf(source));
    return finished.count() > 0 || finished.wait(kWaitMs);
}

bool planIn(FrmTextures& window, int row, const QString& edit)
{
    QSignalSpy shown(window.replacePanel(), &ReplacePanel::planShown);
    window.replaceWith(row, pathOf(edit));
    return shown.count() > 0 || shown.wait(kWaitMs);
}

template <typename Start> bool jobIn(FrmTextures& window, Start start)
{
    QSignalSpy finished(window.replacePanel(), &ReplacePanel::jobFinished);
    start(*window.replacePanel());
    return finished.count() > 0 || finished.wait(kWaitMs);
}

// The model row of the texture whose first use is image `number` of level `level`.
int rowOf(const FrmTextures& window, int level, quint64 number)
{
    for (int row = 0; row < window.model()->rowCount(); ++row) {
        const TextureEntry& entry = window.model()->entry(row);
        if (entry.level == level && entry.image.number == number)
            return row;
    }
    return -1;
}

} // namespace

class TextureReplaceTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    LevelDatabase m_db = LevelDatabase::make(4, 3801);
    QString m_game;
    QString m_level;

    // A game of two levels sharing textures 1 and 2: a.ldb holds 0 1 2, sub/b.ldb holds 1 2 3;
    // and a level holding 0 1 2 1.
    void makeSources()
    {
        m_game = m_dir.filePath(QStringLiteral("game"));
        QVERIFY(QDir().mkpath(m_game + QStringLiteral("/sub")));
        m_level = m_dir.filePath(QStringLiteral("level.ldb"));
        QVERIFY(m_db.writeLevelOf(m_game + QStringLiteral("/a.ldb"), {0, 1, 2}, 1));
        QVERIFY(m_db.writeLevelOf(m_game + QStringLiteral("/sub/b.ldb"), {1, 2, 3}, 2));
        QVERIFY(m_db.writeLevelOf(m_level, {0, 1, 2, 1}, 3));
    }

    // The command line's put-back of `edit` as the extracted file of each of `images` (a level's
    // folder in the extraction, "" for a lone level, and a number), into `into`.
    void cliPutBack(const QString& source, const QString& tag,
                    const QList<QPair<QString, int>>& images, const QByteArray& edit,
                    const QString& into)
    {
        const QString extracted = m_dir.filePath(QStringLiteral("cli extraction ") + tag);
        QCOMPARE(cli({QStringLiteral("-q"), QStringLiteral("-o"), extracted, source}), 0);
        for (const auto& [folder, number] : images) {
            const QString file =
                extracted + QLatin1Char('/') +
                (folder.isEmpty() ? QString() : folder + QLatin1Char('/')) +
                QStringLiteral("Vorlesk_%1.jpg").arg(number, 4, 10, QLatin1Char('0'));
            QVERIFY2(QFile::exists(file), qPrintable(file));
            QFile::remove(file);
            QVERIFY(writeFile(file, edit));
        }
        QCOMPARE(cli({QStringLiteral("-q"), QStringLiteral("--put-back"), extracted,
                      QStringLiteral("--into"), into, source}),
                 0);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        makeSources();
    }

    // A fitting edit is planned at once and waits; written, the new level(s) are byte for byte
    // what the command line's put-back of the same edit writes.
    void writtenLevelsMatchTheCommandLine_data()
    {
        QTest::addColumn<bool>("game");
        QTest::addColumn<bool>("everywhere");
        QTest::newRow("level, everywhere") << false << true;
        QTest::newRow("level, here only") << false << false;
        QTest::newRow("game, everywhere") << true << true;
        QTest::newRow("game, here only") << true << false;
    }
    void writtenLevelsMatchTheCommandLine()
    {
        QFETCH(bool, game);
        QFETCH(bool, everywhere);
        const QString tag = QString::fromLatin1(QTest::currentDataTag());
        const QString source = game ? m_game : m_level;
        const QByteArray edit = reencoded(m_db.texture(1), 20);
        QVERIFY(edit.size() < m_db.texture(1).size());
        const QString editFile =
            m_dir.filePath(QStringLiteral("edit ") + tag + QStringLiteral(".jpg"));
        QVERIFY(writeFile(editFile, edit));

        FrmTextures window;
        QVERIFY(listIn(window, source));
        window.findChild<QCheckBox*>(QStringLiteral("chkEverywhere"))->setChecked(everywhere);
        // Texture 1: image 2 of a.ldb and image 1 of sub/b.ldb; images 2 and 4 of the level.
        const int row = rowOf(window, 0, 2);
        QVERIFY(row >= 0);
        QVERIFY(planIn(window, row, editFile));
        ReplacePanel* panel = window.replacePanel();
        QVERIFY2(panel->planText().contains(QStringLiteral("fits texture 2 of")),
                 qPrintable(panel->planText()));
        // Everywhere: the plan names each place the texture is used.
        const QString named = !everywhere ? QString()
                              : game      ? QStringLiteral(" (at 2 places: a.ldb 2, sub/b.ldb 1)")
                                     : QStringLiteral(" (at 2 places: level.ldb 2, level.ldb 4)");
        QVERIFY2(panel->planText().contains(QStringLiteral(" bytes)") + named + QLatin1Char(';')),
                 qPrintable(panel->planText()));
        QCOMPARE(panel->pending().size(), std::size_t{1});
        QCOMPARE(window.findChild<QListWidget*>(QStringLiteral("lstPending"))->count(), 1);
        QVERIFY(window.findChild<QPushButton*>(QStringLiteral("CmdWrite"))->isEnabled());

        const QString windowInto = m_dir.filePath(QStringLiteral("window ") + tag) +
                                   (game ? QString() : QStringLiteral(".ldb"));
        QVERIFY(jobIn(window, [&](ReplacePanel& p) { p.writeTo(pathOf(windowInto)); }));
        const int places = game ? (everywhere ? 2 : 1) : (everywhere ? 2 : 1);
        QVERIFY2(panel->planText().startsWith(
                     QStringLiteral("%1 replacement(s) went into %2 new level(s)")
                         .arg(places)
                         .arg(game && everywhere ? 2 : 1)),
                 qPrintable(panel->planText()));
        QCOMPARE(panel->writtenPlace(), windowInto);

        QList<QPair<QString, int>> images;
        if (game)
            images = everywhere ? QList<QPair<QString, int>>{{QStringLiteral("a"), 2},
                                                             {QStringLiteral("sub/b"), 1}}
                                : QList<QPair<QString, int>>{{QStringLiteral("a"), 2}};
        else
            images = everywhere ? QList<QPair<QString, int>>{{QString(), 2}, {QString(), 4}}
                                : QList<QPair<QString, int>>{{QString(), 2}};
        const QString cliInto = m_dir.filePath(QStringLiteral("cli ") + tag) +
                                (game ? QString() : QStringLiteral(".ldb"));
        cliPutBack(source, tag, images, edit, cliInto);
        if (game)
            QCOMPARE(digestsBelow(windowInto), digestsBelow(cliInto));
        else
            QVERIFY(readFile(windowInto) == readFile(cliInto));
        QVERIFY(readFile(windowInto) != readFile(source) || game);
    }

    // An edit too large for its place is refused with the reason and the way to make it fit, and
    // waits for nothing; with "encode again to fit" it goes in at a quality the plan names.
    void aRefusedEditSaysWhyAndFitMakesItGo()
    {
        const QString editFile = m_dir.filePath(QStringLiteral("noise.jpg"));
        QVERIFY(writeFile(editFile, noiseLike(m_db.texture(2))));
        FrmTextures window;
        QVERIFY(listIn(window, m_level));
        ReplacePanel* panel = window.replacePanel();
        const int row = rowOf(window, 0, 3);
        QVERIFY(row >= 0);
        QVERIFY(planIn(window, row, editFile));
        QVERIFY2(panel->planText().startsWith(QStringLiteral("Refused: noise.jpg ")),
                 qPrintable(panel->planText()));
        QVERIFY2(panel->planText().contains(QStringLiteral("--fit")),
                 qPrintable(panel->planText()));
        QVERIFY(panel->pending().empty());
        QVERIFY(!window.findChild<QPushButton*>(QStringLiteral("CmdWrite"))->isEnabled());

        window.findChild<QCheckBox*>(QStringLiteral("chkFit"))->setChecked(true);
        QVERIFY(planIn(window, row, editFile));
        QVERIFY2(panel->planText().contains(QStringLiteral("encoded at quality ")),
                 qPrintable(panel->planText()));
        QCOMPARE(panel->pending().size(), std::size_t{1});
        QVERIFY(panel->pending().front().plan.quality.has_value());
        const QString into = m_dir.filePath(QStringLiteral("fitted.ldb"));
        QVERIFY(jobIn(window, [&](ReplacePanel& p) { p.writeTo(pathOf(into)); }));
        QVERIFY2(panel->planText().startsWith(QStringLiteral("1 replacement(s) went into 1 new")),
                 qPrintable(panel->planText()));
        QVERIFY(panel->planText().contains(
            QStringLiteral("encoded at quality %1").arg(*panel->pending().front().plan.quality)));
        QCOMPARE(readFile(into).size(), readFile(m_level).size());
    }

    // An edit dropped on a texture is planned for it; a second edit of the same texture takes
    // the first's place; one taken back is gone; a source dropped elsewhere is not an edit.
    void dropTakeBackAndReplaceAgain()
    {
        const QString first = m_dir.filePath(QStringLiteral("first.jpg"));
        const QString second = m_dir.filePath(QStringLiteral("second.png"));
        QVERIFY(writeFile(first, reencoded(m_db.texture(0), 25)));
        QVERIFY(QImage::fromData(m_db.texture(0), "JPEG").save(second, "PNG"));
        const QString other = m_dir.filePath(QStringLiteral("other.jpg"));
        QVERIFY(writeFile(other, reencoded(m_db.texture(2), 25)));
        FrmTextures window;
        window.show();
        QVERIFY(listIn(window, m_game));
        ReplacePanel* panel = window.replacePanel();
        // A texture is shown once: replacing it means every place it is used, unless unticked.
        QVERIFY(window.findChild<QCheckBox*>(QStringLiteral("chkEverywhere"))->isChecked());
        // Listed, with a current texture: it can be replaced.
        QVERIFY(window.findChild<QPushButton*>(QStringLiteral("CmdReplace"))->isEnabled());
        auto* grid = window.findChild<QListView*>(QStringLiteral("lstTextures"));
        const int row = rowOf(window, 0, 1);
        const QModelIndex shown = window.filter()->mapFromSource(window.model()->index(row));
        QVERIFY(shown.isValid());
        const QPoint at = grid->visualRect(shown).center();

        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(first)});
        QSignalSpy planned(panel, &ReplacePanel::planShown);
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(grid->viewport(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(grid->viewport(), &drop);
        QVERIFY(planned.count() > 0 || planned.wait(kWaitMs));
        QCOMPARE(panel->pending().size(), std::size_t{1});
        QVERIFY(panel->pending().front().edit.file == pathOf(first));
        QCOMPARE(grid->currentIndex(), shown);

        // The same texture again, from a PNG: it takes the first edit's place.
        QVERIFY(planIn(window, row, second));
        QCOMPARE(panel->pending().size(), std::size_t{1});
        QVERIFY(panel->pending().front().edit.file == pathOf(second));
        QVERIFY2(panel->planText().contains(QStringLiteral("encoded at quality")),
                 qPrintable(panel->planText()));
        QVERIFY(planIn(window, rowOf(window, 0, 3), other));
        // The texture replaced becomes the current one.
        QCOMPARE(window.filter()->mapToSource(grid->currentIndex()).row(), rowOf(window, 0, 3));
        QCOMPARE(panel->pending().size(), std::size_t{2});
        auto* pending = window.findChild<QListWidget*>(QStringLiteral("lstPending"));
        auto* takeBack = window.findChild<QPushButton*>(QStringLiteral("CmdTakeBack"));
        QVERIFY(!takeBack->isEnabled()); // nothing chosen in the list yet
        pending->setCurrentRow(0);
        QVERIFY(takeBack->isEnabled());
        takeBack->click();
        QCOMPARE(panel->pending().size(), std::size_t{1});
        QVERIFY(panel->pending().front().edit.file == pathOf(other));
        QCOMPARE(window.findChild<QListWidget*>(QStringLiteral("lstPending"))->count(), 1);

        // An edit dropped beside the textures is no source to open: the window says where it goes.
        const QPoint beside = grid->viewport()->rect().bottomRight() - QPoint(2, 2);
        QVERIFY(!grid->indexAt(beside).isValid());
        QSignalSpy told(panel, &ReplacePanel::planShown);
        QDragEnterEvent enterBeside(beside, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(grid->viewport(), &enterBeside);
        QDropEvent dropBeside(beside, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(grid->viewport(), &dropBeside);
        QCOMPARE(told.count(), 1);
        QVERIFY2(panel->planText().startsWith(QStringLiteral("Drop first.jpg on the texture")),
                 qPrintable(panel->planText()));
        QCOMPARE(window.findChild<QLineEdit*>(QStringLiteral("txtSource"))->text(), m_game);
        QCOMPARE(panel->pending().size(), std::size_t{1});

        // Listed again to check every texture, the same source keeps what waits.
        QSignalSpy checked(&window, &FrmTextures::listingFinished);
        window.checkAll();
        QVERIFY(checked.wait(kWaitMs));
        QCOMPARE(panel->pending().size(), std::size_t{1});
        QVERIFY(window.findChild<QPushButton*>(QStringLiteral("CmdWrite"))->isEnabled());

        // A level dropped on a texture is no edit: it is opened, as anywhere in the window.
        QMimeData level;
        level.setUrls({QUrl::fromLocalFile(m_level)});
        QSignalSpy listed(&window, &FrmTextures::listingFinished);
        QDragEnterEvent enterLevel(at, Qt::CopyAction, &level, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(grid->viewport(), &enterLevel);
        QVERIFY(enterLevel.isAccepted());
        QDropEvent dropLevel(at, Qt::CopyAction, &level, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(grid->viewport(), &dropLevel);
        QVERIFY(listed.wait(kWaitMs));
        QCOMPARE(window.findChild<QLineEdit*>(QStringLiteral("txtSource"))->text(), m_level);
        QVERIFY(panel->pending().empty());
    }

    // While new levels are written, or the textures exported, a level dropped on the window is
    // not opened: what is under way is not cut off.
    void aDropWaitsForTheWorkUnderWay_data()
    {
        QTest::addColumn<bool>("exporting");
        QTest::newRow("writing new levels") << false;
        QTest::newRow("exporting") << true;
    }
    void aDropWaitsForTheWorkUnderWay()
    {
        QFETCH(bool, exporting);
        const QString tag = QString::fromLatin1(QTest::currentDataTag());
        const QString editFile = m_dir.filePath(QStringLiteral("busy edit.jpg"));
        QVERIFY(writeFile(editFile, reencoded(m_db.texture(2), 20)));
        FrmTextures window;
        QVERIFY(listIn(window, m_game));
        QVERIFY(planIn(window, rowOf(window, 0, 3), editFile));
        ReplacePanel* panel = window.replacePanel();
        QSignalSpy written(panel, &ReplacePanel::jobFinished);
        QSignalSpy exported(&window, &FrmTextures::exportFinished);
        // Under way until its end is told, which only the event loop can deliver.
        if (exporting)
            window.exportTo(pathOf(m_dir.filePath(QStringLiteral("busy export"))), false);
        else
            panel->writeTo(pathOf(m_dir.filePath(QStringLiteral("busy ") + tag)));
        QVERIFY(exporting ? window.isExporting() : panel->isBusy());

        QMimeData level;
        level.setUrls({QUrl::fromLocalFile(m_level)});
        const QPoint at = window.rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &level, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&window, &enter);
        QDropEvent drop(at, Qt::CopyAction, &level, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&window, &drop);
        QVERIFY(!window.isListing());
        QCOMPARE(window.findChild<QLineEdit*>(QStringLiteral("txtSource"))->text(), m_game);
        QVERIFY(exporting ? exported.wait(kWaitMs) : written.wait(kWaitMs));
        QCOMPARE(panel->pending().size(), std::size_t{1});
    }

    // While new levels are written the bar follows each level of each pass, named in the
    // window, to its end.
    void theBarFollowsEachLevel()
    {
        const QString editFile = m_dir.filePath(QStringLiteral("bar edit.jpg"));
        QVERIFY(writeFile(editFile, reencoded(m_db.texture(2), 20)));
        FrmTextures window;
        QVERIFY(listIn(window, m_game));
        QVERIFY(planIn(window, rowOf(window, 0, 3), editFile));
        ReplacePanel* panel = window.replacePanel();
        QStringList seen; // each step of the bar, with what the window said then
        connect(panel, &ReplacePanel::progressed, panel, [&seen, panel](int percent) {
            seen << QStringLiteral("%1 %2").arg(percent).arg(panel->planText());
        });
        QVERIFY(jobIn(window, [&](ReplacePanel& p) {
            p.writeTo(pathOf(m_dir.filePath(QStringLiteral("bar"))));
        }));
        // Each level's writing is told to its end: a.ldb at half the bar, sub/b.ldb at its end.
        QVERIFY2(seen.contains(QStringLiteral("50 Working: writing a.ldb...")),
                 qPrintable(seen.join(QLatin1Char('|'))));
        QVERIFY2(seen.contains(QStringLiteral("100 Working: writing sub/b.ldb...")),
                 qPrintable(seen.join(QLatin1Char('|'))));
    }

    // Cancel stops the writing of new levels: nothing is written, and the window says so. The
    // level is large enough (about a megabyte to scan) that the click comes long before the end.
    void cancelStopsTheWriting()
    {
        const LevelDatabase large = LevelDatabase::make(300, 3803);
        const QString level = m_dir.filePath(QStringLiteral("large.ldb"));
        QVERIFY(large.write(level));
        const QString editFile = m_dir.filePath(QStringLiteral("large edit.jpg"));
        QVERIFY(writeFile(editFile, reencoded(large.texture(299), 20)));
        FrmTextures window;
        QVERIFY(listIn(window, level));
        QVERIFY(planIn(window, rowOf(window, 0, 300), editFile));
        ReplacePanel* panel = window.replacePanel();
        QCOMPARE(panel->pending().size(), std::size_t{1});
        auto* cancel = window.findChild<QPushButton*>(QStringLiteral("CmdCancel"));
        const QString into = m_dir.filePath(QStringLiteral("large new.ldb"));
        QSignalSpy finished(panel, &ReplacePanel::jobFinished);
        panel->writeTo(pathOf(into));
        QVERIFY(cancel->isEnabled());
        cancel->click();
        QVERIFY(finished.wait(kWaitMs));
        QCOMPARE(panel->planText(), QStringLiteral("Stopped; nothing was written."));
        QVERIFY(!QFile::exists(into));
        QVERIFY(!cancel->isEnabled());
    }

    // The pending edits saved as a pack: the command line applies it as the window writes the
    // same edits, and the window applies it alike.
    void aSavedPackIsAppliedAlikeByBoth()
    {
        const QString editFile = m_dir.filePath(QStringLiteral("pack edit.jpg"));
        QVERIFY(writeFile(editFile, reencoded(m_db.texture(2), 20)));
        FrmTextures window;
        QVERIFY(listIn(window, m_game));
        QVERIFY(planIn(window, rowOf(window, 0, 3), editFile));
        ReplacePanel* panel = window.replacePanel();
        QCOMPARE(panel->pending().size(), std::size_t{1});
        const QString pack = m_dir.filePath(QStringLiteral("pack"));
        QVERIFY(jobIn(window, [&](ReplacePanel& p) { p.savePackTo(pathOf(pack)); }));
        QVERIFY2(panel->planText().startsWith(QStringLiteral("A pack of 1 texture(s) was saved.")),
                 qPrintable(panel->planText()));
        QVERIFY(QFile::exists(pack + QStringLiteral("/pack.json")));
        QCOMPARE(panel->writtenPlace(), pack);
        // pack.json gives the texture's frame as Qt reads it from the texture itself, and the
        // file the result names.
        const QJsonObject saved =
            QJsonDocument::fromJson(readFile(pack + QStringLiteral("/pack.json"))).object();
        const QJsonObject described = saved[QStringLiteral("textures")].toArray().at(0).toObject();
        const QImage frame = QImage::fromData(m_db.texture(2), "JPEG");
        QCOMPARE(described[QStringLiteral("width")].toInt(), frame.width());
        QCOMPARE(described[QStringLiteral("height")].toInt(), frame.height());
        QCOMPARE(described[QStringLiteral("components")].toInt(), 3);
        const QString entry = described[QStringLiteral("file")].toString();
        QVERIFY(QFile::exists(pack + QLatin1Char('/') + entry));
        QVERIFY2(panel->planText().contains(entry), qPrintable(panel->planText()));
        // The file is named by the texture's SHA-256, as sha256sum gives it, where it answers.
        if (glintmark::testsupport::sha256sumHere()) {
            const QString texture = m_dir.filePath(QStringLiteral("pack texture.jpg"));
            QVERIFY(writeFile(texture, m_db.texture(2)));
            QCOMPARE(entry,
                     QString::fromStdString(glintmark::testsupport::sha256sumOf(pathOf(texture))) +
                         QStringLiteral(".jpg"));
        }

        const QString written = m_dir.filePath(QStringLiteral("pack written"));
        QVERIFY(jobIn(window, [&](ReplacePanel& p) { p.writeTo(pathOf(written)); }));
        const QString applied = m_dir.filePath(QStringLiteral("pack applied"));
        QVERIFY(jobIn(window,
                      [&](ReplacePanel& p) { p.applyPackFrom(pathOf(pack), pathOf(applied)); }));
        QVERIFY2(panel->planText().startsWith(QStringLiteral("2 replacement(s) went into 2 new")),
                 qPrintable(panel->planText()));
        const QString byCli = m_dir.filePath(QStringLiteral("pack by cli"));
        QCOMPARE(cli({QStringLiteral("-q"), QStringLiteral("--put-back"), pack,
                      QStringLiteral("--into"), byCli, m_game}),
                 0);
        const QMap<QString, QString> expected = digestsBelow(byCli);
        // The two new levels, and the mark of a folder of new levels.
        QCOMPARE(expected.keys(),
                 (QStringList{QStringLiteral(".glintmark-put-back.json"), QStringLiteral("a.ldb"),
                              QStringLiteral("sub/b.ldb")}));
        QCOMPARE(digestsBelow(applied), expected);
        QCOMPARE(digestsBelow(written), expected);

        // A pack of the texture as it is changes nothing, and nothing is written.
        QFile::remove(pack + QLatin1Char('/') + entry);
        QVERIFY(writeFile(pack + QLatin1Char('/') + entry, m_db.texture(2)));
        const QString unchanged = m_dir.filePath(QStringLiteral("pack unchanged"));
        QVERIFY(jobIn(window,
                      [&](ReplacePanel& p) { p.applyPackFrom(pathOf(pack), pathOf(unchanged)); }));
        QCOMPARE(panel->planText(),
                 QStringLiteral("Nothing written: no replacement changes the source."));
        QVERIFY(panel->writtenPlace().isEmpty());
        QVERIFY(!QFile::exists(unchanged));
        // New levels inside the game folder itself are refused, and nothing is written.
        const QString inside = m_game + QStringLiteral("/new");
        QVERIFY(jobIn(window, [&](ReplacePanel& p) { p.writeTo(pathOf(inside)); }));
        QVERIFY2(panel->planText().contains(QStringLiteral("into the game folder")),
                 qPrintable(panel->planText()));
        QVERIFY(panel->writtenPlace().isEmpty());
        QVERIFY(!QFile::exists(inside));
    }
};

QTEST_MAIN(TextureReplaceTest)
#include "TextureReplaceTest.moc"
