// The folder chooser: its layout, the folder "&Done" confirms after each way of browsing, and
// its life between hiding, the title-bar close and loading afresh. Drives are fakes in a
// scratch tree, so nothing depends on this machine's mounts.
#include "DialogsTestSupport.h"

#include "ui/BtnFlat.h"
#include "ui/FrmMain.h"
#include "ui/ModGlobal.h"
#include "ui/Twips.h"
#include "ui/WindowRefs.h"
#include "ui/dialogs/DirListBox.h"
#include "ui/dialogs/DriveListBox.h"
#include "ui/dialogs/FrmBrowse.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QWindow>

#include <memory>
#include <optional>

using namespace glintmark::ui;

namespace {

QTreeWidgetItem* entryFor(DirListBox* list, const QString& folder)
{
    for (QTreeWidgetItemIterator it(list); *it; ++it) {
        if ((*it)->data(0, DirListBox::FolderRole).toString() == folder)
            return *it;
    }
    return nullptr;
}

// Clicks (or double-clicks) an entry the way a user does, through the window system.
void clickEntry(DirListBox* list, const QString& folder, bool twice)
{
    QTreeWidgetItem* item = entryFor(list, folder);
    QVERIFY2(item, qPrintable(folder));
    list->scrollToItem(item);
    QWindow* window = list->window()->windowHandle();
    QVERIFY(window);
    const QPoint at = list->viewport()->mapTo(list->window(), list->visualItemRect(item).center());
    if (twice)
        QTest::mouseDClick(window, Qt::LeftButton, {}, at);
    else
        QTest::mouseClick(window, Qt::LeftButton, {}, at);
}

void pickDrive(DriveListBox* drives, const QString& root)
{
    const int index = drives->findData(root);
    QVERIFY2(index >= 0, qPrintable(root));
    drives->setCurrentIndex(index);
}

bool isCentred(const QWidget* window)
{
    const QPoint centre = window->screen()->availableGeometry().center();
    const QPoint delta = window->frameGeometry().center() - centre;
    return delta.manhattanLength() <= 2;
}

} // namespace

class FrmBrowseTest : public QObject
{
    Q_OBJECT

private:
    std::optional<ScratchTree> m_tree;
    std::optional<CurrentFolderGuard> m_inWork;

    QString at(const QString& relative) const { return m_tree->path(relative); }

    // A chooser loaded through the program-wide reference and shown as the main window does.
    FrmBrowse* openChooser()
    {
        FrmBrowse* chooser = WindowRefs::frmBrowse();
        WindowRefs::showSecondary(chooser);
        if (!QTest::qWaitForWindowExposed(chooser))
            return nullptr;
        return chooser;
    }

private slots:
    void init()
    {
        m_tree.emplace();
        QVERIFY(m_tree->isValid());
        m_tree->make(QStringLiteral("diskA/work/alpha/inner"));
        m_tree->make(QStringLiteral("diskA/work/beta"));
        m_tree->make(QStringLiteral("diskB/gamma"));
        m_inWork.emplace(at(QStringLiteral("diskA/work")));
        // Drive C is listed but cannot be read, like a drive without a medium.
        VolumeSource::setActive(std::make_shared<FakeVolumeSource>(QList<VolumeSource::Volume>{
            {at(QStringLiteral("diskA")), QStringLiteral("A")},
            {at(QStringLiteral("diskB")), QStringLiteral("B")},
            {at(QStringLiteral("diskC")), QStringLiteral("no medium")}}));
        strExtractPath.clear();
    }

    void cleanup()
    {
        WindowRefs::unloadSecondaries();
        if (WindowRefs::hasMain())
            delete WindowRefs::frmMain();
        flushDeletions();
        VolumeSource::setActive(nullptr);
        m_inWork.reset();
        m_tree.reset();
        strExtractPath.clear();
    }

    void layout()
    {
        FrmBrowse* chooser = openChooser();
        QVERIFY(chooser);
        QCOMPARE(chooser->windowTitle(), QStringLiteral("Browse"));
        QCOMPARE(chooser->size(), twips::size(4470, 5835));
        QCOMPARE(chooser->minimumSize(), chooser->maximumSize());
        const Qt::WindowFlags flags = chooser->windowFlags();
        // Windows draws the close button only with the system menu.
        QVERIFY(flags.testFlags(Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint));
        QVERIFY(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        QVERIFY(!chooser->windowIcon().isNull());
        QVERIFY(!chooser->parentWidget());

        const struct
        {
            QWidget* widget;
            const char* name;
            QRect geometry;
        } controls[] = {
            {chooser->Drive1, "Drive1", twips::rect(120, 120, 4215, 315)},
            {chooser->Dir1, "Dir1", twips::rect(120, 600, 4215, 4590)},
            {chooser->CmdClose, "CmdClose", twips::rect(2760, 5280, 1575, 495)},
        };
        for (const auto& control : controls) {
            QCOMPARE(control.widget->objectName(), QString::fromLatin1(control.name));
            QCOMPARE(control.widget->geometry(), control.geometry);
            QCOMPARE(control.widget->parentWidget(), chooser);
        }
        QCOMPARE(chooser->CmdClose->text(), QStringLiteral("&Done"));
        QCOMPARE(chooser->CmdClose->font().pointSizeF(), 9.75);
        QVERIFY(isFlatButton(chooser->CmdClose));
        QVERIFY(!chooser->CmdClose->isDefault());

        // Tab order Dir1, Drive1, "&Done"; the directory list has the focus at the start.
        QVERIFY(QTest::qWaitForWindowActive(chooser));
        QCOMPARE(QApplication::focusWidget(), chooser->Dir1);
        QTest::keyClick(chooser->Dir1, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), chooser->Drive1);
        QTest::keyClick(chooser->Drive1, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), chooser->CmdClose);
        QVERIFY(isCentred(chooser));
    }

    void doneConfirmsTheOpenFolder_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("confirmed");
        QTest::addColumn<QString>("driveShown");
        QTest::newRow("at once: the process's current folder") << QStringList{} << "diskA/work"
                                                               << "diskA";
        QTest::newRow("single click only highlights")
            << QStringList{"click diskA/work/alpha"} << "diskA/work"
            << "diskA";
        QTest::newRow("double-click opens")
            << QStringList{"double diskA/work/alpha"} << "diskA/work/alpha"
            << "diskA";
        QTest::newRow("double-click deeper, then highlight above")
            << QStringList{"double diskA/work/alpha", "double diskA/work/alpha/inner",
                           "click diskA/work"}
            << "diskA/work/alpha/inner"
            << "diskA";
        QTest::newRow("Enter opens the highlighted folder")
            << QStringList{"enter diskA/work/beta"} << "diskA/work/beta"
            << "diskA";
        QTest::newRow("other drive opens at its root") << QStringList{"drive diskB"} << "diskB"
                                                       << "diskB";
        QTest::newRow("back to the first drive opens the current folder there")
            << QStringList{"double diskA/work/alpha", "drive diskB", "drive diskA"} << "diskA/work"
            << "diskA";
        QTest::newRow("unreadable drive keeps the folder")
            << QStringList{"double diskA/work/beta", "drive diskC"} << "diskA/work/beta"
            << "diskC";
    }
    void doneConfirmsTheOpenFolder()
    {
        QFETCH(QStringList, steps);
        QFETCH(QString, confirmed);
        QFETCH(QString, driveShown);
        FrmMain* main = WindowRefs::frmMain();
        main->txtExtract->setText(QStringLiteral("earlier"));
        main->CmdExtract->setEnabled(false);
        FrmBrowse* chooser = openChooser();
        QVERIFY(chooser);

        for (const QString& step : steps) {
            const QString how = step.section(QLatin1Char(' '), 0, 0);
            const QString where = at(step.section(QLatin1Char(' '), 1));
            if (how == QLatin1String("drive")) {
                pickDrive(chooser->Drive1, where);
            } else if (how == QLatin1String("enter")) {
                chooser->Dir1->setCurrentItem(entryFor(chooser->Dir1, where));
                QTest::keyClick(chooser->Dir1, Qt::Key_Return);
            } else {
                clickEntry(chooser->Dir1, where, how == QLatin1String("double"));
            }
        }
        QCOMPARE(chooser->Drive1->drive(), QDir::toNativeSeparators(at(driveShown)));

        QTest::mouseClick(chooser->CmdClose, Qt::LeftButton);
        const QString expected = QDir::toNativeSeparators(at(confirmed));
        QCOMPARE(strExtractPath, expected);
        QVERIFY(!chooser->isVisible());
        QCOMPARE(main->txtExtract->text(), expected);
        QVERIFY(main->CmdExtract->isEnabled());
    }

    void rootIsConfirmedWithItsSeparator()
    {
        FrmMain* main = WindowRefs::frmMain();
        FrmBrowse* chooser = openChooser();
        QVERIFY(chooser);
        clickEntry(chooser->Dir1, QDir::rootPath(), true);
        QTest::mouseClick(chooser->CmdClose, Qt::LeftButton);
        const QString root = QDir::toNativeSeparators(QDir::rootPath());
        QVERIFY(root.endsWith(QDir::separator()));
        QCOMPARE(strExtractPath, root);
        QCOMPARE(main->txtExtract->text(), root);
    }

    void hiddenChooserComesBackAsItWasLeft()
    {
        FrmBrowse* chooser = openChooser();
        QVERIFY(chooser);
        clickEntry(chooser->Dir1, at(QStringLiteral("diskA/work/alpha")), true);
        chooser->move(chooser->pos() + QPoint(37, -21));
        const QPoint left = chooser->pos();
        QTest::mouseClick(chooser->CmdClose, Qt::LeftButton);
        QVERIFY(!chooser->isVisible());

        FrmBrowse* again = openChooser();
        QCOMPARE(again, chooser);
        QCOMPARE(again->pos(), left);
        QCOMPARE(again->Dir1->path(),
                 QDir::toNativeSeparators(at(QStringLiteral("diskA/work/alpha"))));
        QCOMPARE(again->Drive1->drive(), QDir::toNativeSeparators(at(QStringLiteral("diskA"))));
    }

    void titleBarCloseWritesNothing_data()
    {
        QTest::addColumn<QString>("before");
        QTest::newRow("nothing confirmed yet") << "";
        QTest::newRow("a folder confirmed earlier") << "/somewhere/earlier";
    }
    void titleBarCloseWritesNothing()
    {
        QFETCH(QString, before);
        FrmMain* main = WindowRefs::frmMain();
        strExtractPath = before;
        main->txtExtract->setText(before);
        main->CmdExtract->setEnabled(false);

        QPointer<FrmBrowse> chooser = openChooser();
        QVERIFY(chooser);
        clickEntry(chooser->Dir1, at(QStringLiteral("diskA/work/alpha")), true);
        pickDrive(chooser->Drive1, at(QStringLiteral("diskB")));
        chooser->move(chooser->pos() + QPoint(40, 40));
        QVERIFY(chooser->close());
        flushDeletions();

        QVERIFY(!chooser);
        QVERIFY(!WindowRefs::hasBrowse());
        QCOMPARE(strExtractPath, before);
        QCOMPARE(main->txtExtract->text(), before);
        QVERIFY(!main->CmdExtract->isEnabled());

        // Loaded afresh: centred, current drive and folder, flat button again.
        FrmBrowse* fresh = openChooser();
        QVERIFY(fresh);
        QVERIFY(isCentred(fresh));
        QCOMPARE(fresh->Dir1->path(), QDir::toNativeSeparators(at(QStringLiteral("diskA/work"))));
        QCOMPARE(fresh->Drive1->drive(), QDir::toNativeSeparators(at(QStringLiteral("diskA"))));
        QVERIFY(isFlatButton(fresh->CmdClose));
    }

    void oneChooserHoweverOftenItIsAskedFor()
    {
        FrmMain* main = WindowRefs::frmMain();
        main->Form_Load();
        main->show();
        QVERIFY(QTest::qWaitForWindowExposed(main));
        for (int press = 0; press < 3; ++press)
            QTest::mouseClick(main->CmdOutBrowse, Qt::LeftButton);
        qsizetype choosers = 0;
        for (QWidget* window : QApplication::topLevelWidgets())
            choosers += qobject_cast<FrmBrowse*>(window) ? 1 : 0;
        QCOMPARE(choosers, qsizetype(1));
        QVERIFY(WindowRefs::frmBrowse()->isVisible());
        // Modeless and without an owner: the main window still takes input.
        QVERIFY(!WindowRefs::frmBrowse()->parentWidget());
        QVERIFY(!QApplication::activeModalWidget());
    }

    void keysThatDoNotPressDone()
    {
        FrmBrowse* chooser = openChooser();
        QVERIFY(chooser);
        QVERIFY(QTest::qWaitForWindowActive(chooser));
        QTest::keyClick(chooser, Qt::Key_Escape);
        QVERIFY(chooser->isVisible());
        // Enter in the directory list opens the highlighted folder and nothing more.
        chooser->Dir1->setCurrentItem(
            entryFor(chooser->Dir1, at(QStringLiteral("diskA/work/beta"))));
        QTest::keyClick(chooser->Dir1, Qt::Key_Return);
        QVERIFY(chooser->isVisible());
        QVERIFY(strExtractPath.isEmpty());
        // Enter on the focused button presses it.
        chooser->CmdClose->setFocus();
        QTest::keyClick(chooser->CmdClose, Qt::Key_Return);
        QVERIFY(!chooser->isVisible());
        QCOMPARE(strExtractPath, QDir::toNativeSeparators(at(QStringLiteral("diskA/work/beta"))));
    }

    void doneWithoutAMainWindowBringsNoneBack()
    {
        FrmBrowse* chooser = openChooser();
        QVERIFY(chooser);
        QVERIFY(!WindowRefs::hasMain());
        QTest::mouseClick(chooser->CmdClose, Qt::LeftButton);
        QCOMPARE(strExtractPath, QDir::toNativeSeparators(at(QStringLiteral("diskA/work"))));
        QVERIFY(!WindowRefs::hasMain());
    }
};

QTEST_MAIN(FrmBrowseTest)
#include "FrmBrowseTest.moc"
