// The main window as the user finds it: initial state, keyboard, flat buttons and layout.
#include "ui/BtnFlat.h"
#include "ui/CommDiag.h"
#include "ui/FrmMain.h"
#include "ui/Platform.h"
#include "ui/WindowRefs.h"

#include <QApplication>
#include <QDir>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>

using namespace glintmark::ui;

class FrmMainStateTest : public QObject
{
    Q_OBJECT

private:
    QPointer<FrmMain> m_window;

    // The window as main() brings it up: created through its reference, loaded, shown.
    FrmMain* openWindow()
    {
        m_window = WindowRefs::frmMain();
        m_window->Form_Load();
        m_window->showCentred();
        m_window->activateWindow();
        if (!QTest::qWaitForWindowActive(m_window))
            qWarning("main window did not become active");
        return m_window;
    }

    QList<QPushButton*> buttons() const
    {
        return {m_window->CmdInBrowse, m_window->CmdOutBrowse, m_window->CmdExtract,
                m_window->CmdAbout};
    }

private slots:
    void cleanup()
    {
        CommDiag::setDialogRunner({});
        WindowRefs::unloadSecondaries();
        delete m_window.data();
    }

    void startsEmptyWithExtractEnabled()
    {
        FrmMain* w = openWindow();
        QCOMPARE(w->windowTitle(), QStringLiteral("Glintmark : Version 1.0.0 (Beta)"));
        for (QLineEdit* box : {w->txtSource, w->txtExtract}) {
            QVERIFY(box->text().isEmpty());
            QVERIFY(!box->isEnabled());
        }
        QVERIFY(w->CmdExtract->isEnabled());
        QVERIFY(w->lblPerc->text().isEmpty());
        QCOMPARE(w->ProgBar->minimum(), 0);
        QCOMPARE(w->ProgBar->maximum(), 100);
        QCOMPARE(w->ProgBar->value(), 0);
        QVERIFY(!w->ProgBar->isTextVisible());
        QVERIFY(!w->isExtracting());
        QCOMPARE(w->ImgLogo->pixmap().size(), QSize(168, 271));
        QVERIFY(!w->ImgLogo->hasScaledContents());
    }

    void loadShowsTheHiddenButtonAndDrawsAllFlat()
    {
        auto* w = new FrmMain;
        m_window = w;
        QVERIFY(w->CmdOutBrowse->isHidden());
        w->Form_Load();
        w->show();
        for (QPushButton* button : buttons()) {
            QVERIFY2(button->isVisible(), qPrintable(button->objectName()));
            QVERIFY2(isFlatButton(button), qPrintable(button->objectName()));
        }
    }

    void everyNamedControlCarriesItsName()
    {
        FrmMain* w = openWindow();
        const QList<QPair<const char*, QObject*>> named{
            {"FraLogo", w->FraLogo},
            {"ImgLogo", w->ImgLogo},
            {"fraMain", w->fraMain},
            {"lblSource", w->lblSource},
            {"lblExtract", w->lblExtract},
            {"txtSource", w->txtSource},
            {"CmdInBrowse", w->CmdInBrowse},
            {"txtExtract", w->txtExtract},
            {"CmdOutBrowse", w->CmdOutBrowse},
            {"CmdAbout", w->CmdAbout},
            {"CmdExtract", w->CmdExtract},
            {"FraProccess", w->FraProccess},
            {"lblPerc", w->lblPerc},
            {"ProgBar", w->ProgBar},
            {"CommDiag", reinterpret_cast<QObject*>(w->CommDiag)}};
        for (const auto& [name, object] : named) {
            QVERIFY2(object != nullptr, name);
            QCOMPARE(w->findChild<QObject*>(QString::fromLatin1(name)), object);
        }
    }

    void focusStartsOnSourceButtonAndTabsThroughTheButtons()
    {
        FrmMain* w = openWindow();
        QCOMPARE(QApplication::focusWidget(), w->CmdInBrowse);
        const QList<QPushButton*> order{w->CmdOutBrowse, w->CmdExtract, w->CmdAbout,
                                        w->CmdInBrowse};
        for (QPushButton* expected : order) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), expected);
        }
    }

    void accessKeysPressTheirButtons_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<char>("key");
        QTest::newRow("Alt+E") << QStringLiteral("CmdExtract") << 'E';
        QTest::newRow("Alt+A") << QStringLiteral("CmdAbout") << 'A';
    }

    void accessKeysPressTheirButtons()
    {
        QFETCH(QString, button);
        QFETCH(char, key);
        FrmMain* w = openWindow();
        auto* target = w->findChild<QPushButton*>(button);
        QSignalSpy clicked(target, &QPushButton::clicked);
        QCOMPARE(QApplication::activeWindow(), static_cast<QWidget*>(w));
        QTest::keyClick(w, key, Qt::AltModifier);
        // An access key presses its button the animated way, a moment later.
        QTRY_COMPARE(clicked.count(), 1);
    }

    void enterPressesOnlyTheFocusedButtonAndEscNone()
    {
        FrmMain* w = openWindow();
        QList<QSignalSpy*> spies;
        for (QPushButton* button : buttons()) {
            QVERIFY(!button->isDefault());
            QVERIFY(!button->autoDefault());
            spies.append(new QSignalSpy(button, &QPushButton::clicked));
        }
        const auto presses = [&spies] {
            QList<qsizetype> counts;
            for (QSignalSpy* spy : spies)
                counts.append(spy->count());
            return counts;
        };
        w->CmdExtract->setFocus();
        QTest::keyClick(w->CmdExtract, Qt::Key_Escape);
        QCOMPARE(presses(), (QList<qsizetype>{0, 0, 0, 0}));
        QTest::keyClick(w->CmdExtract, Qt::Key_Return);
        QCOMPARE(presses(), (QList<qsizetype>{0, 0, 1, 0}));
        w->CmdOutBrowse->setFocus();
        QTest::keyClick(w->CmdOutBrowse, Qt::Key_Enter);
        QCOMPARE(presses(), (QList<qsizetype>{0, 1, 1, 0}));
        qDeleteAll(spies);
    }

    void sourceChooserFillsTheBoxAndKeepsItOnCancel()
    {
        FrmMain* w = openWindow();
        QTemporaryDir tmp;
        // Accepted as typed: the run finds out about a missing file or another extension.
        const QStringList picks{QString(), tmp.filePath(QStringLiteral("castle.ldb")), QString(),
                                tmp.filePath(QStringLiteral("notes.txt"))};
        const QStringList shown{QString(), picks.at(1), picks.at(1), picks.at(3)};
        QString pick;
        QStringList filters;
        CommDiag::setDialogRunner([&](const CommDiag::OpenRequest& request) {
            filters = request.nameFilters;
            return pick;
        });
        for (qsizetype i = 0; i < picks.size(); ++i) {
            pick = picks.at(i);
            w->CmdExtract->setEnabled(false);
            w->CmdInBrowse->click();
            QCOMPARE(filters, QStringList{QStringLiteral("Vorlesk Level Database (*.ldb)")});
            QCOMPARE(w->txtSource->text(), QDir::toNativeSeparators(shown.at(i)));
            QCOMPARE(w->txtSource->toolTip(), w->txtSource->text());
            // The job takes the path exactly as the box shows it.
            QCOMPARE(platform::fromPath(w->extractJob().sourceFile), w->txtSource->text());
            QVERIFY(w->CmdExtract->isEnabled());
            QCOMPARE(w->CommDiag->flags(), CommDiag::cdlOFNHideReadOnly);
        }
    }

    void fileFromTheCommandLineIsShownAsIfChosen()
    {
        FrmMain* w = openWindow();
        QTemporaryDir tmp;
        QVERIFY(QDir(tmp.path()).mkdir(QStringLiteral("levels")));
        const QString level = tmp.filePath(QStringLiteral("levels/castle.ldb"));
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(tmp.path()));
        w->CmdExtract->setEnabled(false);
        // A name relative to the folder the program was started in, as a shell passes it.
        w->chooseSource(QStringLiteral("levels/castle.ldb"));
        QDir::setCurrent(before);
        QCOMPARE(w->txtSource->text(), QDir::toNativeSeparators(level));
        QCOMPARE(w->txtSource->toolTip(), w->txtSource->text());
        QCOMPARE(platform::fromPath(w->extractJob().sourceFile), w->txtSource->text());
        QVERIFY(w->CmdExtract->isEnabled());

        // The open dialog then starts in the file's folder, and a cancel keeps the file.
        QString openedIn;
        CommDiag::setDialogRunner([&](const CommDiag::OpenRequest& request) {
            openedIn = request.startFolder;
            return QString();
        });
        w->CmdInBrowse->click();
        QCOMPARE(openedIn, tmp.filePath(QStringLiteral("levels")));
        QCOMPARE(w->txtSource->text(), QDir::toNativeSeparators(level));
    }

    void pathBoxesStayDisabledAndReadable_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::newRow("the style's own palette") << false;
        QTest::newRow("a dark palette set while the window is open") << true;
    }
    void pathBoxesStayDisabledAndReadable()
    {
        QFETCH(bool, dark);
        const QPalette original = QApplication::palette();
        FrmMain* w = openWindow();
        if (dark) {
            QPalette night(QColor(60, 60, 60), QColor(40, 40, 40));
            night.setColor(QPalette::Active, QPalette::Text, QColor(235, 235, 235));
            night.setColor(QPalette::Disabled, QPalette::Text, QColor(70, 70, 70));
            night.setColor(QPalette::Disabled, QPalette::Base, QColor(45, 45, 45));
            QApplication::setPalette(night);
            QCoreApplication::processEvents(); // the new palette reaches the widgets
        }
        // WCAG relative luminance and contrast ratio, computed here from the palette's colours.
        const auto luminance = [](const QColor& c) {
            const auto lin = [](double v) {
                return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
            };
            return 0.2126 * lin(c.redF()) + 0.7152 * lin(c.greenF()) + 0.0722 * lin(c.blueF());
        };
        for (QLineEdit* box : {w->txtSource, w->txtExtract}) {
            box->setText(QStringLiteral("/levels/castle.ldb"));
            QVERIFY(!box->isEnabled());
            const QPalette& palette = box->palette();
            const double text = luminance(palette.color(QPalette::Disabled, QPalette::Text));
            const double back = luminance(palette.color(QPalette::Disabled, QPalette::Base));
            const double ratio = (std::max(text, back) + 0.05) / (std::min(text, back) + 0.05);
            QVERIFY2(ratio >= 4.5, qPrintable(QString::number(ratio)));
            QCOMPARE(box->toolTip(), box->text());
        }
        // Only the two boxes: the window's own text colours stay as the palette gives them.
        QCOMPARE(w->palette().color(QPalette::Disabled, QPalette::Text),
                 QApplication::palette().color(QPalette::Disabled, QPalette::Text));
        QApplication::setPalette(original);
        QCoreApplication::processEvents();
    }

    void windowHasFixedClientSizeAndOnlyACloseButton()
    {
        FrmMain* w = openWindow();
        QCOMPARE(w->size(), QSize(548, 304)); // 8220 x 4560 twips
        QCOMPARE(w->minimumSize(), w->maximumSize());
        const Qt::WindowFlags flags = w->windowFlags();
        // Windows draws the close button only with the system menu.
        QVERIFY(flags.testFlags(Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint));
        QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
        QVERIFY(!w->windowIcon().isNull());
    }

    void pathBoxesButtonsAndBarLieOnTheWindowInFrontOfTheirFrames()
    {
        FrmMain* w = openWindow();
        const QList<QPair<QWidget*, QGroupBox*>> placed{{w->txtSource, w->fraMain},
                                                        {w->CmdInBrowse, w->fraMain},
                                                        {w->txtExtract, w->fraMain},
                                                        {w->CmdOutBrowse, w->fraMain},
                                                        {w->ProgBar, w->FraProccess}};
        const QObjectList& stack = w->children(); // back to front
        for (const auto& [control, frame] : placed) {
            QCOMPARE(control->parentWidget(), static_cast<QWidget*>(w));
            QVERIFY2(frame->geometry().contains(control->geometry()),
                     qPrintable(control->objectName()));
            QVERIFY2(stack.indexOf(control) > stack.indexOf(frame),
                     qPrintable(control->objectName()));
            // What the user sees at the control's centre is the control, not the frame.
            QCOMPARE(w->childAt(control->geometry().center()), control);
        }
    }

    void nothingOverlapsWhatItShouldNot()
    {
        FrmMain* w = openWindow();
        const auto inWindow = [w](QWidget* c) {
            return QRect(c->mapTo(w, QPoint(0, 0)), c->size());
        };
        const QList<QWidget*> row{w->txtSource,    w->CmdInBrowse, w->txtExtract,
                                  w->CmdOutBrowse, w->CmdAbout,    w->CmdExtract,
                                  w->ProgBar,      w->lblSource,   w->lblExtract};
        for (QWidget* a : row) {
            QVERIFY2(w->rect().contains(inWindow(a)), qPrintable(a->objectName()));
            for (QWidget* b : row) {
                if (a != b)
                    QVERIFY2(!inWindow(a).intersects(inWindow(b)),
                             qPrintable(a->objectName() + QLatin1String(" / ") + b->objectName()));
            }
        }
        // The three frames stand side by side or one above the other, never over each other.
        QVERIFY(!w->FraLogo->geometry().intersects(w->fraMain->geometry()));
        QVERIFY(!w->FraLogo->geometry().intersects(w->FraProccess->geometry()));
        QVERIFY(!w->fraMain->geometry().intersects(w->FraProccess->geometry()));
        // Each label sits above the box it names.
        QVERIFY(inWindow(w->lblSource).bottom() < w->txtSource->y());
        QVERIFY(inWindow(w->lblExtract).bottom() < w->txtExtract->y());
    }

    void flatStyleKeepsTheButtonAndIsIdempotent()
    {
        FrmMain* w = new FrmMain;
        m_window = w;
        w->CmdAbout->setEnabled(false);
        for (QPushButton* button : buttons()) {
            const QString caption = button->text();
            const QFont font = button->font();
            const QRect geometry = button->geometry();
            const bool enabled = button->isEnabled();
            btnFlat(button);
            const QStyle* once = button->style();
            btnFlat(button);
            QCOMPARE(button->style(), once);
            QCOMPARE(button->text(), caption);
            QCOMPARE(button->font(), font);
            QCOMPARE(button->geometry(), geometry);
            QCOMPARE(button->isEnabled(), enabled);
            QVERIFY(!button->isHidden());
        }
        QCOMPARE(w->CmdAbout->shortcut(), QKeySequence(Qt::ALT | Qt::Key_A));
    }

    void flatButtonHasAPlainThinBorder()
    {
        FrmMain* w = openWindow();
        const QImage image = w->CmdExtract->grab().toImage();
        const QRgb face = w->CmdExtract->palette().color(QPalette::Button).rgb();
        const QRgb edge = w->CmdExtract->palette().color(QPalette::Shadow).rgb();
        const int midY = image.height() / 2;
        // One-pixel border of one colour all round, the face right inside it.
        QCOMPARE(image.pixel(0, midY), edge);
        QCOMPARE(image.pixel(image.width() - 1, midY), edge);
        QCOMPARE(image.pixel(3, 0), edge);
        QCOMPARE(image.pixel(3, image.height() - 1), edge);
        QCOMPARE(image.pixel(1, midY), face);
        QCOMPARE(image.pixel(3, 1), face);

        // The focused button's dotted mark lies on the face, clear of the border and of every
        // stroke of the caption ("..." sits low on a short button).
        for (QPushButton* button : {w->CmdInBrowse, w->CmdExtract}) {
            button->setFocus();
            const QImage focused = button->grab().toImage();
            w->CmdAbout->setFocus();
            const QImage plain = button->grab().toImage();
            const QRgb buttonFace = button->palette().color(QPalette::Button).rgb();
            // A caption pixel (anything but face inside the border) at most two pixels away.
            const QRect inside = plain.rect().adjusted(1, 1, -1, -1);
            const auto nearCaption = [&](int x, int y) {
                for (int dy = -2; dy <= 2; ++dy) {
                    for (int dx = -2; dx <= 2; ++dx) {
                        if (inside.contains(x + dx, y + dy) &&
                            plain.pixel(x + dx, y + dy) != buttonFace)
                            return true;
                    }
                }
                return false;
            };
            int marked = 0;
            for (int y = 0; y < plain.height(); ++y) {
                for (int x = 0; x < plain.width(); ++x) {
                    if (focused.pixel(x, y) == plain.pixel(x, y))
                        continue;
                    ++marked;
                    QVERIFY2(
                        x >= 2 && y >= 2 && x < plain.width() - 2 && y < plain.height() - 2 &&
                            !nearCaption(x, y),
                        qPrintable(
                            QStringLiteral("%1 at %2,%3").arg(button->objectName()).arg(x).arg(y)));
                }
            }
            QVERIFY2(marked > 0, qPrintable(button->objectName()));
        }
    }
};

QTEST_MAIN(FrmMainStateTest)
#include "FrmMainStateTest.moc"
