// The full-size view of a texture: the pixels libjpeg decodes from the texture's own bytes, the
// zoom's steps, sharp enlarged pixels, fitting into the window, and a texture that cannot be
// shown.
#include "LevelDatabase.h"

#include "ui/textures/DlgTextureView.h"
#include "ui/textures/FrmTextures.h"
#include "ui/textures/TextureModel.h"
#include "ui/textures/ZoomCanvas.h"

#include "ui/Platform.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>

#include <vector>

using namespace glintmark::ui;
using glintmark::testsupport::LevelBuilder;

namespace {

constexpr int kWaitMs = 30000;

// `width` x `height` pixels, each of its own colour, as a JFIF JPEG at quality 100.
QByteArray texture(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb((x * 37) & 0xFF, (y * 59) & 0xFF, ((x ^ y) * 23) & 0xFF));
    QByteArray encoded;
    QBuffer buffer(&encoded);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", 100);
    return encoded;
}

struct RefereeErrors
{
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

// Decodes `jpeg` into `image` with libjpeg itself, as RGB; false when it cannot. Its locals are
// all plain, so that libjpeg's error exit may jump out of it.
bool libjpegDecodeInto(const QByteArray& jpeg, QImage& image)
{
    jpeg_decompress_struct info{};
    RefereeErrors errors{};
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = [](j_common_ptr common) {
        std::longjmp(reinterpret_cast<RefereeErrors*>(common->err)->jump, 1);
    };
    if (setjmp(errors.jump) != 0) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(jpeg.constData()),
                 static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    image = QImage(static_cast<int>(info.output_width), static_cast<int>(info.output_height),
                   QImage::Format_RGB888);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = image.scanLine(static_cast<int>(info.output_scanline));
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

// What libjpeg itself decodes `jpeg` to; null when it cannot.
QImage libjpegDecode(const QByteArray& jpeg)
{
    QImage image;
    if (!libjpegDecodeInto(jpeg, image))
        return {};
    return image.convertToFormat(QImage::Format_RGB32);
}

bool writeFile(const QString& path, const std::string& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) &&
           file.write(bytes.data(), static_cast<qint64>(bytes.size())) ==
               static_cast<qint64>(bytes.size());
}

// Lists `source` in `window` and waits for the listing to end.
bool listIn(FrmTextures& window, const QString& source)
{
    QSignalSpy finished(&window, &FrmTextures::listingFinished);
    window.openSource(platform::toPath(source));
    return finished.count() > 0 || finished.wait(kWaitMs);
}

// Makes texture `row` of the grid the current one and opens the view on it.
DlgTextureView* viewRow(FrmTextures& window, int row)
{
    auto* grid = window.findChild<QListView*>(QStringLiteral("lstTextures"));
    grid->setCurrentIndex(grid->model()->index(row, 0));
    window.findChild<QPushButton*>(QStringLiteral("CmdView"))->click();
    return window.textureView();
}

QString statusOf(const DlgTextureView& view)
{
    return view.findChild<QLabel*>(QStringLiteral("lblStatus"))->text();
}

} // namespace

class TextureViewTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_level;
    std::vector<QByteArray> m_textures;

private slots:
    // A level of a small texture, a large one and, last, one cut short inside its header.
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_textures = {texture(12, 5), texture(1500, 1100)};
        LevelBuilder level(77);
        level.filler(200);
        for (const QByteArray& bytes : m_textures) {
            QVERIFY(bytes.startsWith(jfifSignature()));
            level.image(bytes.toStdString()).filler(150);
        }
        level.image(m_textures[0].left(40).toStdString());
        m_level = m_dir.filePath(QStringLiteral("view.ldb"));
        QVERIFY(writeFile(m_level, level.bytes()));
    }

    // Each texture at full size is what libjpeg decodes from its bytes, pixel for pixel.
    void showsTheTextureWhole()
    {
        FrmTextures window;
        QVERIFY(listIn(window, m_level));
        QVERIFY(!window.findChild<QPushButton*>(QStringLiteral("CmdView"))->isEnabled() ||
                window.model()->rowCount() > 0);
        for (int row = 0; row < 2; ++row) {
            DlgTextureView* view = viewRow(window, row);
            QVERIFY(view != nullptr);
            QVERIFY(view->isVisible());
            QTRY_VERIFY_WITH_TIMEOUT(!view->image().isNull(), kWaitMs);
            const QImage expected = libjpegDecode(m_textures[static_cast<std::size_t>(row)]);
            QVERIFY(!expected.isNull());
            QCOMPARE(view->image().convertToFormat(QImage::Format_RGB32), expected);
            QVERIFY(view->windowTitle().contains(QString::number(row + 1)));
            QVERIFY(view->windowTitle().contains(QStringLiteral("view.ldb")));
        }
    }

    // The zoom goes by its steps, stops at their ends, and the picture takes the zoomed size;
    // fitting enlarges a small texture by whole pixels and reduces a large one into the window.
    void zoomGoesByItsSteps()
    {
        FrmTextures window;
        QVERIFY(listIn(window, m_level));
        DlgTextureView* view = viewRow(window, 0);
        QTRY_VERIFY_WITH_TIMEOUT(!view->image().isNull(), kWaitMs);
        auto* canvas = view->findChild<ZoomCanvas*>();
        auto* zoomText = view->findChild<QLabel*>(QStringLiteral("lblZoom"));
        QCOMPARE(view->zoom(), 1.0); // small: shown at its actual size
        auto* zoomIn = view->findChild<QPushButton*>(QStringLiteral("CmdZoomIn"));
        auto* zoomOut = view->findChild<QPushButton*>(QStringLiteral("CmdZoomOut"));
        const struct
        {
            void (DlgTextureView::*act)();
            double zoom;
        } steps[] = {
            {&DlgTextureView::zoomIn, 2.0},    {&DlgTextureView::zoomIn, 3.0},
            {&DlgTextureView::zoomOut, 2.0},   {&DlgTextureView::zoomOut, 1.0},
            {&DlgTextureView::zoomOut, 0.5},   {&DlgTextureView::actualSize, 1.0},
            {&DlgTextureView::zoomOut, 0.5},   {&DlgTextureView::zoomOut, 0.25},
            {&DlgTextureView::zoomOut, 0.125}, {&DlgTextureView::zoomOut, 0.125},
        };
        for (const auto& step : steps) {
            (view->*step.act)();
            QCOMPARE(view->zoom(), step.zoom);
            QCOMPARE(canvas->size(), canvas->zoomedSize());
            QCOMPARE(zoomText->text(), QStringLiteral("%1%").arg(qRound(step.zoom * 100)));
            QCOMPARE(zoomOut->isEnabled(), step.zoom > 0.125);
            QVERIFY(zoomIn->isEnabled());
        }
        QVERIFY(!zoomOut->isEnabled());
        for (int i = 0; i < 20; ++i) {
            view->zoomIn();
            QCOMPARE(zoomIn->isEnabled(), view->zoom() < 32.0);
            QVERIFY(zoomOut->isEnabled());
        }
        QCOMPARE(view->zoom(), 32.0);
        QVERIFY(!zoomIn->isEnabled());

        // Ctrl with the wheel turned towards the user zooms out one step, away from the user in
        // one step; turned sideways, nothing.
        const auto wheel = [&](QPoint angle) {
            QWheelEvent turn(QPointF(5, 5), QPointF(5, 5), QPoint(), angle, Qt::NoButton,
                             Qt::ControlModifier, Qt::NoScrollPhase, false);
            QCoreApplication::sendEvent(
                view->findChild<QWidget*>(QStringLiteral("qt_scrollarea_viewport")), &turn);
        };
        wheel(QPoint(0, -120));
        QCOMPARE(view->zoom(), 24.0);
        wheel(QPoint(120, 0));
        wheel(QPoint(-120, 0));
        QCOMPARE(view->zoom(), 24.0);
        wheel(QPoint(0, 120));
        QCOMPARE(view->zoom(), 32.0);
        QCOMPARE(canvas->zoomedSize(), QSize(12 * 32, 5 * 32));

        view->fitToWindow();
        const QSize room =
            view->findChild<QWidget*>(QStringLiteral("qt_scrollarea_viewport"))->size();
        const int whole = std::min(room.width() / 12, room.height() / 5);
        QCOMPARE(view->zoom(), double(std::min(whole, 32)));

        view = viewRow(window, 1);
        QTRY_VERIFY_WITH_TIMEOUT(!view->image().isNull(), kWaitMs);
        QVERIFY(view->zoom() < 1.0); // larger than the window: fitted at once
        QVERIFY(canvas->width() <= room.width() && canvas->height() <= room.height());
        QVERIFY(canvas->width() == room.width() || canvas->height() == room.height() ||
                canvas->width() + 1 >= room.width() || canvas->height() + 1 >= room.height());
    }

    // Zooming keeps the point of the texture in the middle of the window where it is (while the
    // texture is larger than the window).
    void zoomKeepsTheMiddle()
    {
        FrmTextures window;
        QVERIFY(listIn(window, m_level));
        DlgTextureView* view = viewRow(window, 1);
        QTRY_VERIFY_WITH_TIMEOUT(!view->image().isNull(), kWaitMs);
        view->actualSize();
        auto* scroll = view->findChild<QScrollArea*>(QStringLiteral("scrollView"));
        const QSize room = scroll->viewport()->size();
        scroll->horizontalScrollBar()->setValue(600 - room.width() / 2);
        scroll->verticalScrollBar()->setValue(400 - room.height() / 2);
        const auto middle = [&] {
            return QPointF(
                (scroll->horizontalScrollBar()->value() + room.width() / 2.0) / view->zoom(),
                (scroll->verticalScrollBar()->value() + room.height() / 2.0) / view->zoom());
        };
        for (void (DlgTextureView::*act)() :
             {&DlgTextureView::zoomIn, &DlgTextureView::zoomIn, &DlgTextureView::zoomOut,
              &DlgTextureView::actualSize}) {
            (view->*act)();
            const QPointF at = middle();
            QVERIFY2(std::abs(at.x() - 600) <= 2 && std::abs(at.y() - 400) <= 2,
                     qPrintable(
                         QStringLiteral("%1, %2 at %3").arg(at.x()).arg(at.y()).arg(view->zoom())));
        }
        // From the whole texture in the window, its actual size starts from its middle.
        view->fitToWindow();
        view->actualSize();
        const QPointF at = middle();
        QVERIFY2(std::abs(at.x() - 750) <= 2 && std::abs(at.y() - 550) <= 2,
                 qPrintable(QStringLiteral("%1, %2").arg(at.x()).arg(at.y())));
    }

    // Enlarged, each texture pixel is a square of one colour: its own.
    void enlargedPixelsStaySharp()
    {
        FrmTextures window;
        QVERIFY(listIn(window, m_level));
        DlgTextureView* view = viewRow(window, 0);
        QTRY_VERIFY_WITH_TIMEOUT(!view->image().isNull(), kWaitMs);
        view->zoomIn();
        view->zoomIn();
        view->zoomIn(); // 4x
        auto* canvas = view->findChild<ZoomCanvas*>();
        const QImage drawn = canvas->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QImage pixels = view->image().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(drawn.size(), pixels.size() * 4);
        for (int y = 0; y < drawn.height(); ++y)
            for (int x = 0; x < drawn.width(); ++x)
                QCOMPARE(drawn.pixel(x, y), pixels.pixel(x / 4, y / 4));
    }

    // A texture that does not decode says so, with nothing to zoom; opening another source puts
    // the view away.
    void undecodableTextureIsSaidSo()
    {
        FrmTextures window;
        QVERIFY(listIn(window, m_level));
        DlgTextureView* view = viewRow(window, 1);
        QTRY_VERIFY_WITH_TIMEOUT(!view->image().isNull(), kWaitMs);
        view = viewRow(window, 2);
        QTRY_VERIFY_WITH_TIMEOUT(statusOf(*view).startsWith(QStringLiteral("It does not decode")),
                                 kWaitMs);
        QVERIFY(view->image().isNull());
        QCOMPARE(view->findChild<QLabel*>(QStringLiteral("lblZoom"))->text(), QString());
        for (const char* name : {"CmdZoomIn", "CmdZoomOut", "CmdActualSize", "CmdFit"})
            QVERIFY(!view->findChild<QPushButton*>(QLatin1String(name))->isEnabled());
        QVERIFY(listIn(window, m_level));
        QVERIFY(!view->isVisible());

        // Nor is there anything to zoom in a view given no texture yet.
        DlgTextureView empty;
        QVERIFY(empty.image().isNull());
        for (const char* name : {"CmdZoomIn", "CmdZoomOut", "CmdActualSize", "CmdFit"})
            QVERIFY(!empty.findChild<QPushButton*>(QLatin1String(name))->isEnabled());
    }
};

QTEST_MAIN(TextureViewTest)
#include "TextureViewTest.moc"
