// The texture window: what it lists for a level and for a game against the command line's own
// listing and against the textures the test put in, its details, its filters, its cancel, and
// the program's --textures entry.
#include "LevelDatabase.h"

#include "ui/textures/FrmTextures.h"
#include "ui/textures/TextureFilter.h"
#include "ui/textures/TextureModel.h"
#include "ui/textures/ThumbnailCache.h"

#include "ui/Platform.h"

#include <QAbstractItemDelegate>
#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDir>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMimeData>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>
#include <QSignalSpy>
#include <QStyleOptionViewItem>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace glintmark::ui;
using glintmark::testsupport::LevelBuilder;

namespace {

constexpr int kWaitMs = 30000;

QString sha256(const QByteArray& bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

// The command line's JSON listing of `source`, with its --check verdicts when `check` is set.
QJsonObject cliListing(const QString& source, bool check = false)
{
    QProcess cli;
    QStringList arguments{QStringLiteral("--list"), QStringLiteral("--json"), source};
    if (check)
        arguments.prepend(QStringLiteral("--check"));
    cli.start(QStringLiteral(GLINTMARK_CLI_EXECUTABLE), arguments);
    if (!cli.waitForFinished(kWaitMs))
        return {};
    return QJsonDocument::fromJson(cli.readAllStandardOutput()).object();
}

// Lists `source` in `window` and waits for the listing to end.
bool listIn(FrmTextures& window, const QString& source)
{
    QSignalSpy finished(&window, &FrmTextures::listingFinished);
    window.openSource(glintmark::ui::platform::toPath(source));
    return finished.count() > 0 || finished.wait(kWaitMs);
}

bool writeFile(const QString& path, const std::string& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) &&
           file.write(bytes.data(), static_cast<qint64>(bytes.size())) ==
               static_cast<qint64>(bytes.size());
}

// A level made of the textures `which` of `db`, in that order, with filler before and between
// them, and after the last one unless `endsWithImage`.
std::string levelOf(const LevelDatabase& db, const std::vector<int>& which, quint32 seed,
                    bool endsWithImage = false)
{
    LevelBuilder level(seed);
    level.filler(300);
    for (std::size_t i = 0; i < which.size(); ++i) {
        level.image(db.texture(which[i]).toStdString());
        if (!endsWithImage || i + 1 < which.size())
            level.filler(level.draw(1, 400));
    }
    return level.bytes();
}

} // namespace

class TextureWindowTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    LevelDatabase m_db = LevelDatabase::make(5, 3601);
    QString m_game;

    // A game of two levels: a.ldb holds textures 0 1 2, the last whole at the level's end (the
    // others with trailing filler), sub/b.ldb holds 1 2 3 and, last, 4 cut short by the end.
    void makeGame()
    {
        m_game = m_dir.filePath(QStringLiteral("game"));
        QVERIFY(QDir().mkpath(m_game + QStringLiteral("/sub")));
        QVERIFY(writeFile(m_game + QStringLiteral("/a.ldb"), levelOf(m_db, {0, 1, 2}, 1, true)));
        std::string b = levelOf(m_db, {1, 2, 3}, 2);
        const QByteArray cut = m_db.texture(4).left(m_db.texture(4).size() / 2);
        b += cut.toStdString();
        QVERIFY(writeFile(m_game + QStringLiteral("/sub/b.ldb"), b));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        makeGame();
    }

    // A level: the same images as the command line lists (numbers, offsets, sizes), where the
    // test put them, each with the digest of its bytes.
    void levelMatchesTheCommandLine()
    {
        const LevelDatabase db = LevelDatabase::make(40, 3602);
        const QString level = m_dir.filePath(QStringLiteral("level.ldb"));
        QVERIFY(db.write(level));
        FrmTextures window;
        QVERIFY(listIn(window, level));
        const TextureModel& model = *window.model();

        const QJsonArray images = cliListing(level)[QStringLiteral("sources")]
                                      .toArray()
                                      .at(0)[QStringLiteral("images")]
                                      .toArray();
        QCOMPARE(images.size(), db.count());
        QCOMPARE(model.rowCount(), db.count());
        QCOMPARE(model.images(), static_cast<std::uint64_t>(db.count()));
        for (int i = 0; i < db.count(); ++i) {
            const QJsonObject cli = images.at(i).toObject();
            const TextureEntry& row = model.entry(i);
            QCOMPARE(row.image.number,
                     static_cast<std::uint64_t>(cli[QStringLiteral("number")].toInteger()));
            QCOMPARE(row.image.offset,
                     static_cast<std::uint64_t>(cli[QStringLiteral("offset")].toInteger()));
            QCOMPARE(row.image.size,
                     static_cast<std::uint64_t>(cli[QStringLiteral("size")].toInteger()));
            QCOMPARE(row.image.size, static_cast<std::uint64_t>(db.expectedFile(i).size()));
            QCOMPARE(row.digest, sha256(db.texture(i)));
            QCOMPARE(row.uses.size(), std::size_t{1});
        }
        QVERIFY(window.findChild<QLabel*>(QStringLiteral("lblStatus"))
                    ->text()
                    .startsWith(QStringLiteral("40 textures in 1 level, 40 distinct.")));
        QVERIFY(!window.findChild<QPushButton*>(QStringLiteral("CmdCancel"))->isEnabled());
        QCOMPARE(window.findChild<QListWidget*>(QStringLiteral("lstLevels"))->count(), 1);
        QCOMPARE(window.windowTitle(), QStringLiteral("Glintmark Textures"));
        // The source is chosen with the buttons or a drop, never typed over.
        QVERIFY(window.findChild<QLineEdit*>(QStringLiteral("txtSource"))->isReadOnly());
    }

    // A game: each distinct texture once, with every level and number where it is used, as
    // the command line's index has them.
    void gameShowsSharedTexturesOnce()
    {
        FrmTextures window;
        QSignalSpy bar(window.findChild<QProgressBar*>(QStringLiteral("ProgBar")),
                       &QProgressBar::valueChanged);
        QVERIFY(listIn(window, m_game));
        // The bar follows the bytes of the whole game: it never goes back, passes through the
        // middle (the first level's end) and ends full.
        QList<int> values;
        for (const QList<QVariant>& change : bar)
            values << change.at(0).toInt();
        QVERIFY(std::is_sorted(values.begin(), values.end()));
        QVERIFY(std::any_of(values.begin(), values.end(), [](int v) { return v > 20 && v < 80; }));
        QCOMPARE(values.last(), 100);
        const TextureModel& model = *window.model();
        QCOMPARE(model.levels(),
                 QStringList({QStringLiteral("a.ldb"), QStringLiteral("sub/b.ldb")}));
        const auto* levels = window.findChild<QListWidget*>(QStringLiteral("lstLevels"));
        QCOMPARE(levels->count(), 2);
        QCOMPARE(levels->item(1)->text(), QStringLiteral("sub/b.ldb"));
        QCOMPARE(model.images(), std::uint64_t{7});
        QCOMPARE(model.rowCount(), 5);

        // texture put in -> its uses as (level, number)
        const std::vector<std::vector<std::pair<int, int>>> uses = {
            {{0, 1}}, {{0, 2}, {1, 1}}, {{0, 3}, {1, 2}}, {{1, 3}}};
        for (int t = 0; t < 4; ++t) {
            const TextureEntry& row = model.entry(t);
            QCOMPARE(row.digest, sha256(m_db.texture(t)));
            QCOMPARE(row.uses.size(), uses[t].size());
            for (std::size_t u = 0; u < uses[t].size(); ++u) {
                QCOMPARE(row.uses[u].level, uses[t][u].first);
                QCOMPARE(row.uses[u].number, static_cast<std::uint64_t>(uses[t][u].second));
            }
            // The grid's caption: the number, and how many places use it when more than one.
            const QString caption =
                QString::number(row.image.number) +
                (uses[t].size() > 1 ? QStringLiteral(" (x%1)").arg(uses[t].size()) : QString());
            QCOMPARE(model.data(model.index(t), Qt::DisplayRole).toString(), caption);
            // A thumbnail asked for comes back to the texture's own cell.
            QSignalSpy changed(window.model(), &QAbstractItemModel::dataChanged);
            (void)model.data(model.index(t), Qt::DecorationRole);
            QTRY_VERIFY_WITH_TIMEOUT(!changed.isEmpty(), 10000);
            QCOMPARE(changed.at(0).at(0).toModelIndex().row(), t);
        }

        const QJsonArray cliTextures =
            cliListing(m_game)[QStringLiteral("textures")][QStringLiteral("textures")].toArray();
        QCOMPARE(cliTextures.size(), model.rowCount());
        for (int t = 0; t < model.rowCount(); ++t) {
            const QJsonObject cli = cliTextures.at(t).toObject();
            const TextureEntry& row = model.entry(t);
            QCOMPARE(row.digest, cli[QStringLiteral("sha256")].toString());
            const QJsonArray in = cli[QStringLiteral("in")].toArray();
            QCOMPARE(static_cast<qsizetype>(row.uses.size()), in.size());
            for (qsizetype u = 0; u < in.size(); ++u) {
                const QJsonObject use = in.at(u).toObject();
                QCOMPARE(row.uses[u].offset,
                         static_cast<std::uint64_t>(use[QStringLiteral("offset")].toInteger()));
                QCOMPARE(model.levels().at(row.uses[u].level),
                         use[QStringLiteral("level")].toString());
            }
        }
    }

    // The details name the texture's numbers, structure and every place it is used.
    void detailsNameEveryUse()
    {
        FrmTextures window;
        QVERIFY(listIn(window, m_game));
        const QString details = window.model()->details(1);
        QVERIFY2(details.contains(QStringLiteral("Texture 2 (Vorlesk_0002.jpg)")),
                 qPrintable(details));
        QVERIFY(details.contains(QStringLiteral("SHA-256: ") + sha256(m_db.texture(1))));
        QVERIFY(details.contains(QStringLiteral("State: trailing: ")));
        QVERIFY(details.contains(QStringLiteral("Coding: baseline")));
        QVERIFY(details.contains(QStringLiteral("Decodes: ")));
        QVERIFY(details.contains(QStringLiteral("Used 2 times:")));
        QVERIFY(details.contains(QStringLiteral("a.ldb #2 at ")));
        QVERIFY(details.contains(QStringLiteral("sub/b.ldb #1 at ")));
        const QImage texture = QImage::fromData(m_db.texture(1));
        QVERIFY(details.contains(
            QStringLiteral("Dimensions: %1 x %2").arg(texture.width()).arg(texture.height())));
        QVERIFY(window.model()->details(5).isEmpty());
        // The window shows the current texture's details.
        QVERIFY(window.findChild<QPlainTextEdit*>(QStringLiteral("txtDetails"))
                    ->toPlainText()
                    .startsWith(QStringLiteral("Texture 1 (Vorlesk_0001.jpg)")));
    }

    void filtersChooseTheTextures_data()
    {
        QTest::addColumn<QString>("search");
        QTest::addColumn<int>("state"); // the state box's choice
        QTest::addColumn<bool>("shared");
        QTest::addColumn<int>("size"); // the size box's choice
        QTest::addColumn<QList<int>>("rows");

        QTest::newRow("all") << QString() << 0 << false << 0 << QList<int>{0, 1, 2, 3, 4};
        QTest::newRow("shared") << QString() << 0 << true << 0 << QList<int>{1, 2};
        QTest::newRow("whole") << QString() << 1 << false << 0 << QList<int>{2};
        QTest::newRow("trailing") << QString() << 2 << false << 0 << QList<int>{0, 1, 3};
        QTest::newRow("cut short") << QString() << 3 << false << 0 << QList<int>{4};
        QTest::newRow("damaged") << QString() << 4 << false << 0 << QList<int>{};
        QTest::newRow("trailing, shared") << QString() << 2 << true << 0 << QList<int>{1};
        QTest::newRow("number of any use")
            << QStringLiteral("3") << 0 << false << 0 << QList<int>{2, 3};
        QTest::newRow("number, shared") << QStringLiteral("3") << 0 << true << 0 << QList<int>{2};
        QTest::newRow("level name")
            << QStringLiteral("SUB/B") << 0 << false << 0 << QList<int>{1, 2, 3, 4};
        QTest::newRow("file name")
            << QStringLiteral("vorlesk_0004") << 0 << false << 0 << QList<int>{4};
        QTest::newRow("no match") << QStringLiteral("9") << 0 << false << 0 << QList<int>{};
        QTest::newRow("huge only") << QString() << 0 << false << 3 << QList<int>{};
    }

    // The search box and the filter boxes narrow the grid as they say.
    void filtersChooseTheTextures()
    {
        QFETCH(QString, search);
        QFETCH(int, state);
        QFETCH(bool, shared);
        QFETCH(int, size);
        QFETCH(QList<int>, rows);
        FrmTextures window;
        QVERIFY(listIn(window, m_game));
        window.findChild<QLineEdit*>(QStringLiteral("txtSearch"))->setText(search);
        window.findChild<QComboBox*>(QStringLiteral("cboState"))->setCurrentIndex(state);
        window.findChild<QCheckBox*>(QStringLiteral("chkShared"))->setChecked(shared);
        window.findChild<QComboBox*>(QStringLiteral("cboSize"))->setCurrentIndex(size);
        const TextureFilter& filter = *window.filter();
        QList<int> shown;
        for (int r = 0; r < filter.rowCount(); ++r)
            shown << filter.mapToSource(filter.index(r, 0)).row();
        QCOMPARE(shown, rows);
    }

    // "Check All" lists the game again with every texture decoded: each row's verdict is the
    // command line's --check verdict, the decoding filter picks by it, and the status counts them.
    void checkAllGivesTheCommandLinesVerdicts()
    {
        FrmTextures window;
        QVERIFY(listIn(window, m_game));
        const TextureModel& model = *window.model();
        for (int t = 0; t < model.rowCount(); ++t)
            QCOMPARE(model.data(model.index(t), TextureModel::DecodesRole).toInt(), -1);
        auto* checkAll = window.findChild<QPushButton*>(QStringLiteral("CmdCheckAll"));
        QVERIFY(checkAll->isEnabled());
        QSignalSpy finished(&window, &FrmTextures::listingFinished);
        checkAll->click();
        QVERIFY(finished.wait(kWaitMs));
        QVERIFY(!checkAll->isEnabled()); // nothing left to check
        QCOMPARE(model.rowCount(), 5);

        const QJsonArray sources = cliListing(m_game, true)[QStringLiteral("sources")].toArray();
        QCOMPARE(sources.size(), 2);
        QList<int> decoding;
        QList<int> failing;
        for (int t = 0; t < model.rowCount(); ++t) {
            const TextureEntry& row = model.entry(t);
            const QJsonObject image = sources.at(row.level)
                                          .toObject()[QStringLiteral("images")]
                                          .toArray()
                                          .at(static_cast<qsizetype>(row.image.number - 1))
                                          .toObject();
            const bool decodes = image[QStringLiteral("decodes")].toBool();
            QCOMPARE(model.data(model.index(t), TextureModel::DecodesRole).toInt(),
                     decodes ? 1 : 0);
            (decodes ? decoding : failing) << t;
        }
        QCOMPARE(failing, QList<int>{4}); // the one cut short
        const auto shown = [&window](int choice) {
            window.findChild<QComboBox*>(QStringLiteral("cboDecoding"))->setCurrentIndex(choice);
            QList<int> rows;
            for (int r = 0; r < window.filter()->rowCount(); ++r)
                rows << window.filter()->mapToSource(window.filter()->index(r, 0)).row();
            return rows;
        };
        QCOMPARE(shown(1), decoding);
        QCOMPARE(shown(2), failing);
        QCOMPARE(shown(3), QList<int>{});
        QCOMPARE(shown(0).size(), 5);
        const QString status = window.findChild<QLabel*>(QStringLiteral("lblStatus"))->text();
        QVERIFY2(status.contains(QStringLiteral("Checked: 4 decode, 1 do not.")),
                 qPrintable(status));
        QVERIFY(window.model()->details(4).contains(QStringLiteral("Decodes: no")));

        // Another source is listed unchecked again, and can be checked.
        QVERIFY(listIn(window, m_game));
        QCOMPARE(model.data(model.index(0), TextureModel::DecodesRole).toInt(), -1);
        QCOMPARE(shown(3).size(), 5);
        QVERIFY(checkAll->isEnabled());
    }

    // The size filter keeps the textures of at least the size chosen.
    void sizeFilterKeepsLargeOnes()
    {
        FrmTextures window;
        QVERIFY(listIn(window, m_game));
        TextureFilter& filter = *window.filter();
        const std::uint64_t size = window.model()->entry(2).image.size;
        filter.setMinimumSize(size);
        for (int r = 0; r < filter.rowCount(); ++r)
            QVERIFY(filter.index(r, 0).data(TextureModel::SizeRole).toULongLong() >= size);
        filter.setMinimumSize(size + 1);
        for (int r = 0; r < filter.rowCount(); ++r)
            QVERIFY(filter.index(r, 0).data(TextureModel::SizeRole).toULongLong() > size);
        int atLeast = 0;
        for (int r = 0; r < window.model()->rowCount(); ++r)
            atLeast += window.model()->entry(r).image.size > size ? 1 : 0;
        QCOMPARE(filter.rowCount(), atLeast);
    }

    // Each thumbnail is the texture's own picture: a small one enlarged by whole pixels (each
    // pixel a square of the same colour), a large one fitted into the square.
    void thumbnailsShowTheTextures()
    {
        FrmTextures window;
        QVERIFY(listIn(window, m_game));
        const TextureModel& model = *window.model();
        for (int r = 0; r < 4; ++r)
            model.data(model.index(r), Qt::DecorationRole);
        QTRY_COMPARE_WITH_TIMEOUT(model.thumbnails()->pending(), 0, kWaitMs);
        bool small = false;
        bool large = false;
        for (int t = 0; t < 4; ++t) {
            const QImage original =
                QImage::fromData(m_db.texture(t)).convertToFormat(QImage::Format_RGB32);
            const QImage thumb = model.data(model.index(t), Qt::DecorationRole)
                                     .value<QPixmap>()
                                     .toImage()
                                     .convertToFormat(QImage::Format_RGB32);
            QVERIFY(!thumb.isNull());
            const int longest = std::max(original.width(), original.height());
            if (longest <= 64) {
                small = true;
                const int factor = 64 / longest;
                QCOMPARE(thumb.size(), original.size() * factor);
                for (int y = 0; y < thumb.height(); ++y)
                    for (int x = 0; x < thumb.width(); ++x)
                        QCOMPARE(thumb.pixel(x, y), original.pixel(x / factor, y / factor));
            } else {
                large = true;
                QCOMPARE(std::max(thumb.width(), thumb.height()), 64);
                const double ratio = double(original.width()) / original.height();
                QVERIFY(std::abs(double(thumb.width()) / thumb.height() - ratio) <
                        0.1 * ratio + 0.05);
            }
        }
        QVERIFY(small && large); // the textures put in cover both
    }

    // Whatever the shape of its thumbnail, every cell of the grid is as large, with room for a
    // full thumbnail and its caption below it (a filter laid out after the thumbnails are in
    // cut the captions of the taller ones off).
    void everyCellHoldsItsThumbnailAndCaption()
    {
        FrmTextures window;
        QVERIFY(listIn(window, m_game));
        auto* grid = window.findChild<QListView*>(QStringLiteral("lstTextures"));
        const QAbstractItemModel& rows = *grid->model();
        for (int r = 0; r < rows.rowCount(); ++r)
            rows.data(rows.index(r, 0), Qt::DecorationRole);
        QTRY_COMPARE_WITH_TIMEOUT(window.model()->thumbnails()->pending(), 0, kWaitMs);
        QStyleOptionViewItem option;
        option.initFrom(grid);
        option.decorationSize = grid->iconSize();
        option.decorationPosition = QStyleOptionViewItem::Top;
        option.features |= QStyleOptionViewItem::HasDisplay | QStyleOptionViewItem::HasDecoration;
        const int least = ThumbnailCache::kSide + grid->fontMetrics().height();
        QSet<int> heights;
        for (int r = 0; r < rows.rowCount(); ++r) {
            const QSize cell = grid->itemDelegate()->sizeHint(option, rows.index(r, 0));
            QVERIFY2(cell.height() >= least, qPrintable(QString::number(cell.height())));
            QVERIFY(cell.width() >= ThumbnailCache::kSide);
            heights.insert(cell.height());
        }
        QCOMPARE(heights.size(), 1);
    }

    // Every control has a place of its own in the window: shown, inside it, overlapping none.
    void everyControlHasItsPlace()
    {
        FrmTextures window;
        window.resize(1000, 640);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        // The window's own controls and those of its replacements' panel, in the window's frame.
        QList<QWidget*> controls;
        for (QWidget* child : window.findChildren<QWidget*>()) {
            const QWidget* parent = child->parentWidget();
            if (qobject_cast<QPushButton*>(child) || qobject_cast<QCheckBox*>(child) ||
                qobject_cast<QComboBox*>(child) || qobject_cast<QLineEdit*>(child) ||
                qobject_cast<QProgressBar*>(child) || child->objectName() == "lblStatus" ||
                child->objectName() == "lblPlan" || child->objectName() == "lstPending")
                if (parent == &window || parent->objectName() == "ReplacePanel")
                    controls << child;
        }
        QVERIFY(controls.size() >= 25);
        const auto placeOf = [&window](const QWidget* control) {
            return QRect(control->mapTo(&window, QPoint(0, 0)), control->size());
        };
        for (int i = 0; i < controls.size(); ++i) {
            const QWidget* control = controls.at(i);
            QVERIFY2(control->isVisible(), qPrintable(control->objectName()));
            QVERIFY2(window.rect().contains(placeOf(control)), qPrintable(control->objectName()));
            for (int j = i + 1; j < controls.size(); ++j)
                QVERIFY2(!placeOf(control).intersects(placeOf(controls.at(j))),
                         qPrintable(control->objectName() + " / " + controls.at(j)->objectName()));
        }
    }

    // A source that does not exist: the failure, with the file, in the window.
    void missingSourceIsShown()
    {
        FrmTextures window;
        const QString missing = m_dir.filePath(QStringLiteral("missing.ldb"));
        QVERIFY(listIn(window, missing));
        const QString status = window.findChild<QLabel*>(QStringLiteral("lblStatus"))->text();
        QVERIFY2(status.contains(QStringLiteral("missing.ldb")), qPrintable(status));
        QCOMPARE(window.model()->rowCount(), 0);
        // Nothing was read: the bar does not claim it all was.
        QCOMPARE(window.findChild<QProgressBar*>(QStringLiteral("ProgBar"))->value(), 0);
    }

#ifndef Q_OS_WIN
    // Cancel ends a listing that waits for a silent source, and keeps what was found.
    void cancelStopsAWaitingListing()
    {
        const QString fifo = m_dir.filePath(QStringLiteral("silent.ldb"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const int writer = ::open(QFile::encodeName(fifo).constData(), O_RDWR);
        QVERIFY(writer >= 0);
        // More than the run's first block, so that the first image is found and told; then the
        // pipe says nothing more.
        LevelBuilder level(3);
        level.filler(300).image(m_db.texture(0).toStdString()).filler(20);
        level.image(m_db.texture(1).toStdString()).fillerUpTo(70000);
        const std::string& start = level.bytes();
        FrmTextures window;
        QSignalSpy finished(&window, &FrmTextures::listingFinished);
        window.openSource(glintmark::ui::platform::toPath(fifo));
        // More than the pipe holds: it goes in as the listing takes it.
        std::atomic<ssize_t> wrote{0};
        std::thread feeder(
            [writer, &start, &wrote] { wrote = ::write(writer, start.data(), start.size()); });
        // The first image is complete once the second's signature has been read.
        QTRY_VERIFY_WITH_TIMEOUT(window.model()->rowCount() >= 1, kWaitMs);
        QVERIFY(window.isListing());
        auto* cancel = window.findChild<QPushButton*>(QStringLiteral("CmdCancel"));
        QVERIFY(cancel->isEnabled());
        QTest::mouseClick(cancel, Qt::LeftButton);
        const bool ended = finished.count() > 0 || finished.wait(kWaitMs);
        feeder.join();
        ::close(writer);
        QVERIFY(ended);
        QCOMPARE(wrote.load(), static_cast<ssize_t>(start.size()));
        QVERIFY(!window.isListing());
        QVERIFY(!cancel->isEnabled());
        QVERIFY(window.findChild<QLabel*>(QStringLiteral("lblStatus"))
                    ->text()
                    .startsWith(QStringLiteral("Cancelled: 1 textures listed.")));
        QCOMPARE(window.model()->entry(0).image.offset, std::uint64_t{300});
    }

    // Another source opened while a listing still waits on a silent pipe: the waiting listing
    // is stopped and its thread ended before the new one starts, and only the new one shows.
    void openingAnotherSourceEndsAWaitingListing()
    {
        const QString fifo = m_dir.filePath(QStringLiteral("quiet.ldb"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const int writer = ::open(QFile::encodeName(fifo).constData(), O_RDWR);
        QVERIFY(writer >= 0);
        FrmTextures window;
        QSignalSpy finished(&window, &FrmTextures::listingFinished);
        window.openSource(glintmark::ui::platform::toPath(fifo));
        QVERIFY(window.isListing());
        QVERIFY(listIn(window, m_game));
        ::close(writer);
        QCOMPARE(window.model()->images(), std::uint64_t{7});
        QVERIFY(window.findChild<QLabel*>(QStringLiteral("lblStatus"))
                    ->text()
                    .startsWith(QStringLiteral("7 textures in 2 levels")));
    }
#endif

    // Opening another source while one is listed shows only the new one's textures, also when
    // the first listing has already queued what it found (the window's thread was busy
    // meanwhile): its news is dropped, not taken for the new listing's.
    void reopeningReplacesTheListing()
    {
        FrmTextures window;
        QSignalSpy ends(&window, &FrmTextures::listingFinished);
        window.openSource(glintmark::ui::platform::toPath(m_game));
        std::this_thread::sleep_for(std::chrono::milliseconds(300)); // no event is handled
        QVERIFY(listIn(window, m_game + QStringLiteral("/a.ldb")));
        QTest::qWait(50);          // anything the first listing still had queued
        QCOMPARE(ends.count(), 1); // the new listing's end only
        QCOMPARE(window.model()->rowCount(), 3);
        QCOMPARE(window.model()->levels(), QStringList{QStringLiteral("a.ldb")});
    }

    void dropOpensOneLevelOrFolder_data()
    {
        QTest::addColumn<QStringList>("dropped"); // paths in the game folder; "" the folder
        QTest::addColumn<bool>("web");            // an address that is not a local file
        QTest::addColumn<int>("rows");            // -1: nothing opened
        QTest::newRow("a level") << QStringList{QStringLiteral("a.ldb")} << false << 3;
        QTest::newRow("the game folder") << QStringList{QString()} << false << 5;
        QTest::newRow("two files")
            << QStringList{QStringLiteral("a.ldb"), QStringLiteral("sub/b.ldb")} << false << -1;
        QTest::newRow("not a local file") << QStringList{QStringLiteral("a.ldb")} << true << -1;
    }

    // A level or a game folder dropped on the window is listed; anything else is refused.
    void dropOpensOneLevelOrFolder()
    {
        QFETCH(QStringList, dropped);
        QFETCH(bool, web);
        QFETCH(int, rows);
        QList<QUrl> urls;
        for (const QString& path : dropped) {
            const QString file = path.isEmpty() ? m_game : m_game + QLatin1Char('/') + path;
            urls << (web ? QUrl(QStringLiteral("https://example.org") + file)
                         : QUrl::fromLocalFile(file));
        }
        QMimeData data;
        data.setUrls(urls);
        FrmTextures window;
        QSignalSpy finished(&window, &FrmTextures::listingFinished);
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QCoreApplication::sendEvent(&window, &enter);
        QCOMPARE(enter.isAccepted(), rows >= 0);
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&window, &drop);
        if (rows < 0) {
            QVERIFY(!window.isListing());
            QVERIFY(window.findChild<QLineEdit*>(QStringLiteral("txtSource"))->text().isEmpty());
            return;
        }
        QVERIFY(finished.count() > 0 || finished.wait(kWaitMs));
        QCOMPARE(window.model()->rowCount(), rows);
    }

    // glintmark --textures PATH --screenshot DIR lists PATH and saves the window; --help
    // names the entry.
    void programOpensTheTextureWindow()
    {
        const QString shots = m_dir.filePath(QStringLiteral("shots"));
        QProcess program;
        program.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
        program.start(QStringLiteral(GLINTMARK_EXECUTABLE),
                      {QStringLiteral("-platform"), QStringLiteral("offscreen"),
                       QStringLiteral("--textures"), QStringLiteral("--screenshot"), shots,
                       m_game});
        QVERIFY(program.waitForFinished(kWaitMs));
        QCOMPARE(program.exitCode(), 0);
        const QImage picture(QDir(shots).filePath(QStringLiteral("FrmTextures.png")));
        QVERIFY(!picture.isNull());
        QVERIFY(!QImage(QDir(shots).filePath(QStringLiteral("FrmTexturesShared.png"))).isNull());
        QVERIFY(!QImage(QDir(shots).filePath(QStringLiteral("FrmTexturesChecked.png"))).isNull());
        QVERIFY(!QImage(QDir(shots).filePath(QStringLiteral("DlgTextureView.png"))).isNull());
        QVERIFY(!QFileInfo::exists(QDir(shots).filePath(QStringLiteral("FrmMain.png"))));

        QProcess help;
        help.start(QStringLiteral(GLINTMARK_EXECUTABLE), {QStringLiteral("--help")});
        QVERIFY(help.waitForFinished(kWaitMs));
        QVERIFY(help.readAllStandardOutput().contains("--textures"));
    }
};

QTEST_MAIN(TextureWindowTest)
#include "TextureWindowTest.moc"
