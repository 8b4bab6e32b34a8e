// How the two secondary windows are drawn: colours and stacking of the About window's
// elements, read from a rendering. With GLINTMARK_SCREENSHOT_DIR set, the renderings are also
// saved there as FrmAbout.png and FrmBrowse.png for a person to look at.
#include "DialogsTestSupport.h"

#include "ui/Twips.h"
#include "ui/dialogs/FrmAbout.h"
#include "ui/dialogs/FrmBrowse.h"

#include <QImage>
#include <QLabel>
#include <QTest>

using namespace glintmark::ui;

namespace {

QImage render(QWidget& window, const QString& name)
{
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return {};
    const QImage image = window.grab().toImage();
    const QString folder = qEnvironmentVariable("GLINTMARK_SCREENSHOT_DIR");
    if (!folder.isEmpty()) {
        QDir().mkpath(folder);
        image.save(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
    }
    return image;
}

// The colour at a point given in twips, on a rendering at any device pixel ratio.
QColor colourAt(const QImage& image, int left, int top)
{
    const qreal ratio = image.devicePixelRatio();
    return image.pixelColor(qRound(twips::px(left) * ratio), qRound(twips::px(top) * ratio));
}

bool hasColour(const QImage& image, const QRect& area, const QColor& colour)
{
    const qreal ratio = image.devicePixelRatio();
    for (int y = qRound(area.top() * ratio); y <= qRound(area.bottom() * ratio); ++y) {
        for (int x = qRound(area.left() * ratio); x <= qRound(area.right() * ratio); ++x) {
            if (image.pixelColor(x, y) == colour)
                return true;
        }
    }
    return false;
}

} // namespace

class WindowLookTest : public QObject
{
    Q_OBJECT

private slots:
    void aboutWindowColours_data()
    {
        QTest::addColumn<int>("left");
        QTest::addColumn<int>("top");
        QTest::addColumn<QString>("element");
        QTest::newRow("band right of the title") << 5200 << 60 << "band";
        QTest::newRow("band over the strip where they overlap") << 725 << 500 << "band";
        QTest::newRow("strip below the icon") << 300 << 1500 << "strip";
        QTest::newRow("strip down to the bottom edge") << 300 << 2760 << "strip";
        QTest::newRow("window below the band") << 3000 << 700 << "window";
        QTest::newRow("window left of the button") << 1000 << 2400 << "window";
    }
    void aboutWindowColours()
    {
        QFETCH(int, left);
        QFETCH(int, top);
        QFETCH(QString, element);
        FrmAbout window;
        const QImage image = render(window, QStringLiteral("FrmAbout"));
        QVERIFY(!image.isNull());
        const QColor expected =
            element == QLatin1String("band")
                ? FrmAbout::bandColour()
                : window.palette().color(element == QLatin1String("strip") ? QPalette::Base
                                                                           : QPalette::Window);
        QCOMPARE(colourAt(image, left, top), expected);
    }

    void aboutTitleIsWhiteOnTheBand()
    {
        FrmAbout window;
        const QImage image = render(window, QStringLiteral("FrmAbout"));
        QVERIFY(!image.isNull());
        const QRect title = window.Label1->geometry();
        QVERIFY(hasColour(image, title, QColor(255, 255, 255)));
        QVERIFY(hasColour(image, title, FrmAbout::bandColour()));
        // The title fits on the band, left of the window's edge.
        QVERIFY(title.bottom() < twips::px(615));
        QVERIFY(title.right() < window.width());
    }

    void aboutIconIsDrawnAtItsOwnSize()
    {
        FrmAbout window;
        const QImage image = render(window, QStringLiteral("FrmAbout"));
        QVERIFY(!image.isNull());
        const QPixmap icon = window.Image1->pixmap();
        QCOMPARE(icon.deviceIndependentSize().toSize(), QSize(32, 32));
        // Something other than the strip is drawn where the icon sits.
        const QColor strip = window.palette().color(QPalette::Base);
        bool drawn = false;
        for (int y = 0; y < 32 && !drawn; ++y) {
            for (int x = 0; x < 32 && !drawn; ++x)
                drawn = image.pixelColor(twips::px(120) + x, twips::px(120) + y) != strip;
        }
        QVERIFY(drawn);
    }

    void browseWindowRenders()
    {
        ScratchTree tree;
        tree.make(QStringLiteral("Textures/Level 1"));
        tree.make(QStringLiteral("Textures/Level 2"));
        tree.make(QStringLiteral("Textures/Skies"));
        const CurrentFolderGuard inTextures(tree.path(QStringLiteral("Textures")));
        FrmBrowse window(std::make_shared<FakeVolumeSource>(
            QList<VolumeSource::Volume>{{QStringLiteral("/"), QStringLiteral("System")}}));
        const QImage image = render(window, QStringLiteral("FrmBrowse"));
        QVERIFY(!image.isNull());
        QCOMPARE(image.size() / image.devicePixelRatio(), twips::size(4470, 5835));
    }
};

QTEST_MAIN(WindowLookTest)
#include "WindowLookTest.moc"
