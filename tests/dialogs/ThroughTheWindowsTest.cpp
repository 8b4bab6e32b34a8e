// Whole uses of the program through its windows: a source picked with the real open dialog, a
// folder picked in the chooser, Extract and the count message; choices made during a run; and
// the program's end with the secondary windows shown or hidden.
#include "DialogsTestSupport.h"

#include "ui/CommDiag.h"
#include "ui/FrmMain.h"
#include "ui/ModGlobal.h"
#include "ui/WindowRefs.h"
#include "ui/dialogs/DirListBox.h"
#include "ui/dialogs/FrmAbout.h"
#include "ui/dialogs/FrmBrowse.h"

#include "support/LevelBuilder.h"

#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QWindow>

#include <optional>

using namespace glintmark::ui;

namespace {

// Writes a level database: some bytes of its own, then one image per size, each a signature
// followed by bytes that never form another one. Returns the images in order.
QList<QByteArray> writeLevelDatabase(const QString& file, const QList<int>& imageSizes,
                                     quint32 seed)
{
    glintmark::testsupport::LevelBuilder level(seed, {0xEF});
    level.filler(777);
    QList<QByteArray> images;
    for (int size : imageSizes) {
        level.plainImage(static_cast<std::size_t>(size));
        images.append(QByteArray::fromStdString(level.image(level.imageCount() - 1)));
    }
    const QByteArray content = QByteArray::fromStdString(level.bytes());
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(content) != content.size())
        return {};
    return images;
}

QByteArray contentsOf(const QString& file)
{
    QFile in(file);
    return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
}

QStringList imagesIn(const QString& folder)
{
    return QDir(folder).entryList({QStringLiteral("*.jpg")}, QDir::Files, QDir::Name);
}

// Answers the count message with OK once it appears, noting its title and text.
void answerCountMessage(QString* title, QString* text)
{
    whenModalOpens([title, text](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box)
            return;
        *title = box->windowTitle();
        *text = box->text();
        box->button(QMessageBox::Ok)->click();
    });
}

void doubleClickFolder(DirListBox* list, const QString& folder)
{
    QTreeWidgetItem* item = nullptr;
    for (QTreeWidgetItemIterator it(list); *it && !item; ++it) {
        if ((*it)->data(0, DirListBox::FolderRole).toString() == folder)
            item = *it;
    }
    QVERIFY2(item, qPrintable(folder));
    list->scrollToItem(item);
    const QPoint at = list->viewport()->mapTo(list->window(), list->visualItemRect(item).center());
    QTest::mouseDClick(list->window()->windowHandle(), Qt::LeftButton, {}, at);
    QCOMPARE(list->path(), QDir::toNativeSeparators(folder));
}

// Runs the application's event loop with `start` as its first job, as main() does after
// showing the main window. Returns exec()'s code, or -1 when the loop had to be ended for it.
int runProgram(const std::function<void()>& start)
{
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(-1); });
    watchdog.start(30000);
    QTimer::singleShot(0, qApp, start);
    const int code = QCoreApplication::exec();
    flushDeletions();
    return code;
}

} // namespace

class ThroughTheWindowsTest : public QObject
{
    Q_OBJECT

private:
    std::optional<ScratchTree> m_tree;
    std::optional<CurrentFolderGuard> m_inTree;

    QString at(const QString& relative) const { return m_tree->path(relative); }

    FrmMain* openMain()
    {
        FrmMain* main = WindowRefs::frmMain();
        main->Form_Load();
        main->showCentred();
        return QTest::qWaitForWindowExposed(main) ? main : nullptr;
    }

    // Picks a folder just below the scratch root in the chooser and confirms it with "&Done".
    void confirmFolder(FrmMain* main, const QString& relative)
    {
        QTest::mouseClick(main->CmdOutBrowse, Qt::LeftButton);
        FrmBrowse* chooser = WindowRefs::frmBrowse();
        QVERIFY(QTest::qWaitForWindowExposed(chooser));
        // Up to the scratch root (always listed, as an ancestor or the open folder), then down.
        doubleClickFolder(chooser->Dir1, m_tree->path());
        doubleClickFolder(chooser->Dir1, at(relative));
        QTest::mouseClick(chooser->CmdClose, Qt::LeftButton);
        QCOMPARE(main->txtExtract->text(), QDir::toNativeSeparators(at(relative)));
    }

private slots:
    void init()
    {
        m_tree.emplace();
        QVERIFY(m_tree->isValid());
        m_inTree.emplace(m_tree->path());
        VolumeSource::setActive(std::make_shared<FakeVolumeSource>(
            QList<VolumeSource::Volume>{{m_tree->path(), QStringLiteral("Games")}}));
        CommDiag::setDialogRunner({});
        strExtractPath.clear();
    }

    void cleanup()
    {
        CommDiag::setDialogRunner({});
        WindowRefs::unloadSecondaries();
        if (WindowRefs::hasMain())
            delete WindowRefs::frmMain();
        flushDeletions();
        VolumeSource::setActive(nullptr);
        m_inTree.reset();
        m_tree.reset();
        strExtractPath.clear();
    }

    void wholeExtraction()
    {
        m_tree->make(QStringLiteral("levels"));
        const QString out = m_tree->make(QStringLiteral("textures/out"));
        const QString source = at(QStringLiteral("levels/castle.ldb"));
        const QList<QByteArray> images = writeLevelDatabase(source, {2500, 640, 4100}, 7);
        QCOMPARE(images.size(), 3);
        FrmMain* main = openMain();
        QVERIFY(main);

        // The source, typed into the real open dialog (answered for the user where the dialog
        // is the system's own, which a test cannot drive).
#ifdef Q_OS_WIN
        CommDiag::setDialogRunner([&source](const CommDiag::OpenRequest&) { return source; });
#else
        whenModalOpens([&source](QWidget* modal) {
            auto* edit = modal->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            QVERIFY(edit);
            edit->setText(source);
            QTest::keyClick(edit, Qt::Key_Return);
        });
#endif
        QTest::mouseClick(main->CmdInBrowse, Qt::LeftButton);
        QCOMPARE(main->txtSource->text(), QDir::toNativeSeparators(source));

        // The folder, opened step by step in the chooser.
        QTest::mouseClick(main->CmdOutBrowse, Qt::LeftButton);
        FrmBrowse* chooser = WindowRefs::frmBrowse();
        QVERIFY(QTest::qWaitForWindowExposed(chooser));
        doubleClickFolder(chooser->Dir1, at(QStringLiteral("textures")));
        doubleClickFolder(chooser->Dir1, out);
        QTest::mouseClick(chooser->CmdClose, Qt::LeftButton);
        QCOMPARE(main->txtExtract->text(), QDir::toNativeSeparators(out));

        QString title;
        QString text;
        answerCountMessage(&title, &text);
        QTest::mouseClick(main->CmdExtract, Qt::LeftButton);
        QCOMPARE(title, QStringLiteral("Done!"));
        QCOMPARE(text, QStringLiteral(" 3 Textures Extracted"));
        QCOMPARE(imagesIn(out),
                 (QStringList{"Vorlesk_0001.jpg", "Vorlesk_0002.jpg", "Vorlesk_0003.jpg"}));
        for (int i = 0; i < images.size(); ++i) {
            const auto name = glintmark::testsupport::imageName(static_cast<unsigned>(i + 1));
            QCOMPARE(contentsOf(out + '/' + QString::fromStdString(name)), images.at(i));
        }
    }

    void choicesDuringARunApplyToTheNextRun()
    {
        m_tree->make(QStringLiteral("levels"));
        const QString first = at(QStringLiteral("levels/first.ldb"));
        const QString second = at(QStringLiteral("levels/second.ldb"));
        QVERIFY(!writeLevelDatabase(first, {90000, 90000, 90000}, 1).isEmpty());
        QVERIFY(!writeLevelDatabase(second, {3000, 3000}, 2).isEmpty());
        const QString outA = m_tree->make(QStringLiteral("outA"));
        const QString outB = m_tree->make(QStringLiteral("outB"));
        FrmMain* main = openMain();
        QVERIFY(main);
        main->setBlockSize(1000);

        // The open dialog, answered with whichever file is due.
        QString pick = first;
        CommDiag::setDialogRunner([&pick](const CommDiag::OpenRequest&) { return pick; });
        QTest::mouseClick(main->CmdInBrowse, Qt::LeftButton);
        confirmFolder(main, QStringLiteral("outA"));

        // While the run yields: the About window opens and closes, another file and another
        // folder are confirmed.
        bool choseDuringRun = false;
        QTimer::singleShot(0, this, [&] {
            QVERIFY(main->isExtracting());
            QTest::mouseClick(main->CmdAbout, Qt::LeftButton);
            QVERIFY(WindowRefs::frmAbout()->isVisible());
            QTest::mouseClick(WindowRefs::frmAbout()->CmdClose, Qt::LeftButton);
            pick = second;
            QTest::mouseClick(main->CmdInBrowse, Qt::LeftButton);
            confirmFolder(main, QStringLiteral("outB"));
            choseDuringRun = main->isExtracting();
        });
        QString title;
        QString text;
        answerCountMessage(&title, &text);
        QTest::mouseClick(main->CmdExtract, Qt::LeftButton);
        QVERIFY(choseDuringRun);
        QCOMPARE(text, QStringLiteral(" 3 Textures Extracted"));
        QCOMPARE(imagesIn(outA).size(), qsizetype(3));
        QVERIFY(imagesIn(outB).isEmpty());
        QCOMPARE(main->txtSource->text(), QDir::toNativeSeparators(second));
        QCOMPARE(main->txtExtract->text(), QDir::toNativeSeparators(outB));

        answerCountMessage(&title, &text);
        QTest::mouseClick(main->CmdExtract, Qt::LeftButton);
        QCOMPARE(text, QStringLiteral(" 2 Textures Extracted"));
        QCOMPARE(imagesIn(outB).size(), qsizetype(2));
        QCOMPARE(imagesIn(outA).size(), qsizetype(3));
    }

    void closingTheMainWindowEndsTheProgram_data()
    {
        QTest::addColumn<QString>("about");
        QTest::addColumn<QString>("chooser");
        QTest::newRow("About shown") << "shown"
                                     << "none";
        QTest::newRow("About hidden with Close") << "hidden"
                                                 << "none";
        QTest::newRow("About closed from its title bar, then shown again") << "reloaded"
                                                                           << "none";
        QTest::newRow("chooser shown") << "none"
                                       << "shown";
        QTest::newRow("chooser hidden with Done") << "none"
                                                  << "hidden";
        QTest::newRow("both shown") << "shown"
                                    << "shown";
        QTest::newRow("both hidden") << "hidden"
                                     << "hidden";
    }
    void closingTheMainWindowEndsTheProgram()
    {
        QFETCH(QString, about);
        QFETCH(QString, chooser);
        const int code = runProgram([&] {
            FrmMain* main = openMain();
            QVERIFY(main);
            if (about != QLatin1String("none")) {
                QTest::mouseClick(main->CmdAbout, Qt::LeftButton);
                if (about == QLatin1String("hidden"))
                    QTest::mouseClick(WindowRefs::frmAbout()->CmdClose, Qt::LeftButton);
                if (about == QLatin1String("reloaded")) {
                    WindowRefs::frmAbout()->close();
                    flushDeletions();
                    QTest::mouseClick(main->CmdAbout, Qt::LeftButton);
                }
            }
            if (chooser != QLatin1String("none")) {
                QTest::mouseClick(main->CmdOutBrowse, Qt::LeftButton);
                if (chooser == QLatin1String("hidden"))
                    QTest::mouseClick(WindowRefs::frmBrowse()->CmdClose, Qt::LeftButton);
            }
            main->close();
        });
        QCOMPARE(code, 0);
        QVERIFY(!WindowRefs::hasMain());
        QVERIFY(!WindowRefs::hasAbout());
        QVERIFY(!WindowRefs::hasBrowse());
        for (QWidget* window : QApplication::topLevelWidgets())
            QVERIFY2(!window->isVisible(), qPrintable(window->objectName()));
    }
};

QTEST_MAIN(ThroughTheWindowsTest)
#include "ThroughTheWindowsTest.moc"
