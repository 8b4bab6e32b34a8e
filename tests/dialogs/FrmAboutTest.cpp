// The About window: layout and stacking, what keys and clicks do, and its life between
// hiding, the title-bar close and loading afresh.
#include "DialogsTestSupport.h"

#include "ui/BtnFlat.h"
#include "ui/FrmMain.h"
#include "ui/Twips.h"
#include "ui/WindowRefs.h"
#include "ui/dialogs/FrmAbout.h"

#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTest>

using namespace glintmark::ui;

namespace {

bool isCentred(const QWidget* window)
{
    const QPoint centre = window->screen()->availableGeometry().center();
    return (window->frameGeometry().center() - centre).manhattanLength() <= 2;
}

FrmAbout* openAbout()
{
    FrmAbout* about = WindowRefs::frmAbout();
    WindowRefs::showSecondary(about);
    if (!QTest::qWaitForWindowActive(about))
        return nullptr;
    return about;
}

} // namespace

class FrmAboutTest : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        WindowRefs::unloadSecondaries();
        if (WindowRefs::hasMain())
            delete WindowRefs::frmMain();
        flushDeletions();
    }

    void window()
    {
        FrmAbout* about = openAbout();
        QVERIFY(about);
        QCOMPARE(about->windowTitle(), QStringLiteral("About"));
        QCOMPARE(about->size(), twips::size(5310, 2775));
        QCOMPARE(about->minimumSize(), about->maximumSize());
        const Qt::WindowFlags flags = about->windowFlags();
        // Windows draws the close button only with the system menu.
        QVERIFY(flags.testFlags(Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint));
        QVERIFY(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        QVERIFY(!about->windowIcon().isNull());
        QVERIFY(!about->parentWidget());
        QVERIFY(isCentred(about));
        QVERIFY(isFlatButton(about->CmdClose));
        QVERIFY(!about->CmdClose->isDefault());
    }

    void boxes_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("geometry");
        QTest::newRow("strip, past the bottom edge") << "Shape1" << twips::rect(0, 0, 735, 3375);
        QTest::newRow("icon") << "Image1" << twips::rect(120, 120, 480, 480);
        QTest::newRow("band, past the right edge") << "Shape2" << twips::rect(720, 0, 4695, 615);
        QTest::newRow("panel") << "Picture1" << twips::rect(840, 840, 4335, 1215);
        QTest::newRow("button") << "CmdClose" << twips::rect(3600, 2160, 1575, 495);
    }
    void boxes()
    {
        QFETCH(QString, name);
        QFETCH(QRect, geometry);
        FrmAbout about;
        auto* element = about.findChild<QWidget*>(name);
        QVERIFY(element);
        QCOMPARE(element->parentWidget(), &about);
        QCOMPARE(element->geometry(), geometry);
    }

    void labels_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("container");
        QTest::addColumn<QPoint>("topLeft");
        QTest::addColumn<QString>("text");
        QTest::addColumn<qreal>("points");
        QTest::newRow("title") << "Label1"
                               << "FrmAbout" << QPoint(840, 120) << "Glintmark" << 18.0;
        QTest::newRow("author") << "lblAuthor"
                                << "Picture1" << QPoint(120, 120) << "Program Author: Veldrane"
                                << 9.75;
        QTest::newRow("address") << "lblEmail"
                                 << "Picture1" << QPoint(120, 480)
                                 << "Email Address: veldrane@example.com" << 9.75;
        QTest::newRow("version") << "lblVersion"
                                 << "Picture1" << QPoint(120, 840)
                                 << "Program Version: 1.0.0 (Beta)" << 9.75;
    }
    void labels()
    {
        QFETCH(QString, name);
        QFETCH(QString, container);
        QFETCH(QPoint, topLeft);
        QFETCH(QString, text);
        QFETCH(qreal, points);
        FrmAbout about;
        auto* label = about.findChild<QLabel*>(name);
        QVERIFY(label);
        QCOMPARE(label->parentWidget()->objectName(), container);
        QCOMPARE(label->text(), text);
        QCOMPARE(label->textFormat(), Qt::PlainText);
        QCOMPARE(label->font().pointSizeF(), points);
        QCOMPARE(label->font().weight(), QFont::Normal);
        // Inside the panel, positions count from the inside of its border.
        const auto* frame = qobject_cast<const QFrame*>(label->parentWidget());
        const int inset = frame ? frame->frameWidth() : 0;
        QCOMPARE(label->pos(),
                 QPoint(twips::px(topLeft.x()), twips::px(topLeft.y())) + QPoint(inset, inset));
        // Sized to its text, and all of it inside the container.
        QCOMPARE(label->size(), label->sizeHint());
        QVERIFY(label->parentWidget()->rect().contains(label->geometry()));
        QVERIFY(label->focusPolicy() == Qt::NoFocus);
    }

    void frontMostElementAt_data()
    {
        QTest::addColumn<QPoint>("twipsPoint");
        QTest::addColumn<QString>("element");
        QTest::newRow("band over the strip") << QPoint(727, 300) << "Shape2";
        QTest::newRow("strip beside the band") << QPoint(700, 300) << "Shape1";
        QTest::newRow("icon on the strip") << QPoint(300, 300) << "Image1";
        QTest::newRow("strip at the bottom") << QPoint(300, 2700) << "Shape1";
        QTest::newRow("title on the band") << QPoint(1000, 300) << "Label1";
        QTest::newRow("band at the right edge") << QPoint(5290, 300) << "Shape2";
        QTest::newRow("author line in the panel") << QPoint(1050, 1060) << "lblAuthor";
        QTest::newRow("empty panel") << QPoint(4900, 1900) << "Picture1";
        QTest::newRow("button") << QPoint(4300, 2400) << "CmdClose";
        QTest::newRow("bare window") << QPoint(2000, 2400) << "FrmAbout";
    }
    void frontMostElementAt()
    {
        QFETCH(QPoint, twipsPoint);
        QFETCH(QString, element);
        FrmAbout about;
        const QPoint point(twips::px(twipsPoint.x()), twips::px(twipsPoint.y()));
        QWidget* hit = about.childAt(point);
        QCOMPARE(hit ? hit->objectName() : about.objectName(), element);
    }

    void keys_data()
    {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<bool>("hides");
        QTest::newRow("Esc on the panel") << "Picture1" << int(Qt::Key_Escape) << 0 << false;
        QTest::newRow("Enter on the panel") << "Picture1" << int(Qt::Key_Return) << 0 << false;
        QTest::newRow("keypad Enter on the panel")
            << "Picture1" << int(Qt::Key_Enter) << 0 << false;
        QTest::newRow("Alt+C on the panel")
            << "Picture1" << int(Qt::Key_C) << int(Qt::AltModifier) << true;
        QTest::newRow("Esc on the button") << "CmdClose" << int(Qt::Key_Escape) << 0 << false;
        QTest::newRow("Enter on the button") << "CmdClose" << int(Qt::Key_Return) << 0 << true;
        QTest::newRow("Space on the button") << "CmdClose" << int(Qt::Key_Space) << 0 << true;
    }
    void keys()
    {
        QFETCH(QString, focus);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(bool, hides);
        FrmAbout* about = openAbout();
        QVERIFY(about);
        // The panel holds the focus when the window opens; Tab moves it to the button.
        QCOMPARE(QApplication::focusWidget(), about->Picture1);
        if (focus == QLatin1String("CmdClose")) {
            QTest::keyClick(about->Picture1, Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), about->CmdClose);
        }
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key),
                        Qt::KeyboardModifiers(modifiers));
        // An access key presses the button with a short visible press, so allow for that.
        if (hides)
            QTRY_VERIFY(!about->isVisible());
        else
            QTest::qWait(300);
        QCOMPARE(!about->isVisible(), hides);
        QVERIFY(WindowRefs::hasAbout());
    }

    void clicksOutsideTheButtonDoNothing()
    {
        FrmAbout* about = openAbout();
        QVERIFY(about);
        for (QWidget* element :
             {about->Shape1, static_cast<QWidget*>(about->Image1), about->Shape2,
              static_cast<QWidget*>(about->Label1), static_cast<QWidget*>(about->Picture1),
              static_cast<QWidget*>(about->lblAuthor), static_cast<QWidget*>(about->lblEmail),
              static_cast<QWidget*>(about->lblVersion)}) {
            QTest::mouseClick(element, Qt::LeftButton);
            QTest::mouseDClick(element, Qt::LeftButton);
            QVERIFY2(about->isVisible(), qPrintable(element->objectName()));
            QCOMPARE(QApplication::focusWidget(), about->Picture1);
        }
        QCOMPARE(about->lblEmail->text(), QStringLiteral("Email Address: veldrane@example.com"));
    }

    void closeHidesAndTheWindowComesBackWhereItWasLeft()
    {
        FrmAbout* about = openAbout();
        QVERIFY(about);
        about->move(about->pos() + QPoint(-60, 25));
        const QPoint left = about->pos();
        QTest::mouseClick(about->CmdClose, Qt::LeftButton);
        QVERIFY(!about->isVisible());
        QVERIFY(WindowRefs::hasAbout());

        FrmAbout* again = openAbout();
        QCOMPARE(again, about);
        QCOMPARE(again->pos(), left);
        QCOMPARE(again->lblAuthor->text(), QStringLiteral("Program Author: Veldrane"));
    }

    void titleBarCloseUnloadsAndTheNextIsCentredAndFlat()
    {
        QPointer<FrmAbout> about = openAbout();
        QVERIFY(about);
        about->move(about->pos() + QPoint(50, 50));
        QVERIFY(about->close());
        flushDeletions();
        QVERIFY(!about);
        QVERIFY(!WindowRefs::hasAbout());

        FrmAbout* fresh = openAbout();
        QVERIFY(fresh);
        QVERIFY(isCentred(fresh));
        QVERIFY(isFlatButton(fresh->CmdClose));
        QCOMPARE(fresh->Label1->text(), QStringLiteral("Glintmark"));
    }

    void oneAboutWindowHoweverOftenItIsAskedFor()
    {
        FrmMain* main = WindowRefs::frmMain();
        main->Form_Load();
        main->show();
        QVERIFY(QTest::qWaitForWindowExposed(main));
        for (int press = 0; press < 3; ++press)
            QTest::mouseClick(main->CmdAbout, Qt::LeftButton);
        qsizetype windows = 0;
        for (QWidget* top : QApplication::topLevelWidgets())
            windows += qobject_cast<FrmAbout*>(top) ? 1 : 0;
        QCOMPARE(windows, qsizetype(1));
        QVERIFY(WindowRefs::frmAbout()->isVisible());
        QVERIFY(!QApplication::activeModalWidget());
        // Hidden with its button, the next press shows the same window again.
        FrmAbout* about = WindowRefs::frmAbout();
        QTest::mouseClick(about->CmdClose, Qt::LeftButton);
        QTest::mouseClick(main->CmdAbout, Qt::LeftButton);
        QCOMPARE(WindowRefs::frmAbout(), about);
        QVERIFY(about->isVisible());
    }
};

QTEST_MAIN(FrmAboutTest)
#include "FrmAboutTest.moc"
