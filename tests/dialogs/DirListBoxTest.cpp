// The directory list: what it shows, how folders are opened, and the paths it reads back.
#include "DialogsTestSupport.h"

#include "ui/dialogs/DirListBox.h"
#include "ui/dialogs/FolderIcons.h"

#include <QSignalSpy>
#include <QTest>
#include <QWindow>

using namespace glintmark::ui;

namespace {

// The folders shown, each with its depth in the list, top to bottom.
QStringList shownEntries(const DirListBox& list)
{
    QStringList entries;
    for (QTreeWidgetItemIterator it(const_cast<DirListBox*>(&list)); *it; ++it) {
        int depth = 0;
        for (QTreeWidgetItem* up = (*it)->parent(); up; up = up->parent())
            ++depth;
        entries.append(QString(depth, QLatin1Char('.')) + (*it)->text(0));
    }
    return entries;
}

QTreeWidgetItem* entryFor(const DirListBox& list, const QString& folder)
{
    for (QTreeWidgetItemIterator it(const_cast<DirListBox*>(&list)); *it; ++it) {
        if ((*it)->data(0, DirListBox::FolderRole).toString() == folder)
            return *it;
    }
    return nullptr;
}

QPoint centreOf(DirListBox& list, QTreeWidgetItem* item)
{
    return list.visualItemRect(item).center();
}

} // namespace

class DirListBoxTest : public QObject
{
    Q_OBJECT

private slots:
    void normalFolder_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("expected");
        const QString root = currentRoot();
        QTest::newRow("root") << root << root;
        QTest::newRow("root written twice") << root + "/" << root;
        QTest::newRow("plain") << root + "a/b" << root + "a/b";
        QTest::newRow("trailing separator dropped") << root + "a/b/" << root + "a/b";
        QTest::newRow("dot segments") << root + "a/./c/../b" << root + "a/b";
        QTest::newRow("up past the root") << root + "a/../.." << root;
    }
    void normalFolder()
    {
        QFETCH(QString, input);
        QFETCH(QString, expected);
        QCOMPARE(DirListBox::normalFolder(input), expected);
    }

    void parentFolder_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("parent");
        QTest::newRow("root has none") << "/"
                                       << "";
        QTest::newRow("below root") << "/a"
                                    << "/";
        QTest::newRow("deeper") << "/a/b/c"
                                << "/a/b";
        QTest::newRow("empty") << ""
                               << "";
    }
    void parentFolder()
    {
        QFETCH(QString, folder);
        QFETCH(QString, parent);
        QCOMPARE(DirListBox::parentFolder(folder), parent);
    }

    void startsAtTheCurrentFolder()
    {
        ScratchTree tree;
        const QString work = tree.make(QStringLiteral("work"));
        const CurrentFolderGuard inWork(work);
        const DirListBox list;
        QCOMPARE(list.path(), QDir::toNativeSeparators(work));
    }

    void showsAncestorsThenSubfolders()
    {
        ScratchTree tree;
        tree.make(QStringLiteral("top/open/beta"));
        tree.make(QStringLiteral("top/open/Alpha"));
        tree.make(QStringLiteral("top/open/.hidden"));
        tree.make(QStringLiteral("top/sibling"));
        DirListBox list;
        QVERIFY(list.setPath(tree.path(QStringLiteral("top/open"))));

        // The root as it is shown ("/" or "C:\"), then each folder below it.
        const QString open = tree.path(QStringLiteral("top/open"));
        const qsizetype rootLength = open.indexOf(QLatin1Char('/')) + 1;
        QStringList expected{QDir::toNativeSeparators(open.left(rootLength))};
        const QStringList parts = open.mid(rootLength).split(QLatin1Char('/'), Qt::SkipEmptyParts);
        for (qsizetype i = 0; i < parts.size(); ++i)
            expected.append(QString(i + 1, QLatin1Char('.')) + parts.at(i));
        const QString below(parts.size() + 1, QLatin1Char('.'));
        // Subfolders by name without regard to case; hidden ones and siblings are not shown.
        expected << below + QStringLiteral("Alpha") << below + QStringLiteral("beta");
        QCOMPARE(shownEntries(list), expected);

        // The open folder is the highlighted entry.
        QVERIFY(list.currentItem());
        QCOMPARE(list.currentItem()->data(0, DirListBox::FolderRole).toString(),
                 tree.path(QStringLiteral("top/open")));
    }

    void readsBackPaths_data()
    {
        QTest::addColumn<QString>("relative");
        QTest::addColumn<bool>("atRoot");
        QTest::newRow("root ends in a separator") << "" << true;
        QTest::newRow("folder has no trailing separator") << "x" << false;
        QTest::newRow("folder given with a trailing separator") << "x/" << false;
        QTest::newRow("folder given with dot segments") << "x/./y/.." << false;
    }
    void readsBackPaths()
    {
        QFETCH(QString, relative);
        QFETCH(bool, atRoot);
        ScratchTree tree;
        tree.make(QStringLiteral("x/y"));
        DirListBox list;
        const QString target =
            atRoot ? QStringLiteral("/") : tree.path() + QLatin1Char('/') + relative;
        QVERIFY(list.setPath(target));
        const QString expected = atRoot ? QDir::toNativeSeparators(currentRoot())
                                        : QDir::toNativeSeparators(tree.path(QStringLiteral("x")));
        QCOMPARE(list.path(), expected);
        QCOMPARE(list.path().endsWith(QDir::separator()), atRoot);
    }

    void unreadableFolderChangesNothing_data()
    {
        QTest::addColumn<QString>("target");
        QTest::newRow("missing") << "gone/deeper";
        QTest::newRow("a file") << "file.txt";
        QTest::newRow("empty") << "";
    }
    void unreadableFolderChangesNothing()
    {
        QFETCH(QString, target);
        ScratchTree tree;
        const QString open = tree.make(QStringLiteral("open/child"));
        QFile file(tree.path(QStringLiteral("file.txt")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        DirListBox list;
        QVERIFY(list.setPath(open));
        const QStringList before = shownEntries(list);
        QSignalSpy changes(&list, &DirListBox::pathChanged);

        QVERIFY(!list.setPath(target.isEmpty() ? target : tree.path(target)));
        QCOMPARE(list.path(), QDir::toNativeSeparators(open));
        QCOMPARE(shownEntries(list), before);
        QCOMPARE(changes.count(), 0);
    }

    void openingAFolder_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("opened");
        QTest::newRow("single click only highlights") << "click"
                                                      << "work/alpha"
                                                      << "work";
        QTest::newRow("double-click opens a subfolder") << "double"
                                                        << "work/alpha"
                                                        << "work/alpha";
        QTest::newRow("double-click opens an ancestor") << "double"
                                                        << ""
                                                        << "";
        QTest::newRow("Enter opens the highlighted folder") << "enter"
                                                            << "work/beta"
                                                            << "work/beta";
        QTest::newRow("Return opens it as well") << "return"
                                                 << "work/alpha"
                                                 << "work/alpha";
    }
    void openingAFolder()
    {
        QFETCH(QString, how);
        QFETCH(QString, target);
        QFETCH(QString, opened);
        ScratchTree tree;
        tree.make(QStringLiteral("work/alpha/inner"));
        tree.make(QStringLiteral("work/beta"));
        DirListBox list;
        list.resize(300, 600);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        QVERIFY(list.setPath(tree.path(QStringLiteral("work"))));
        QSignalSpy changes(&list, &DirListBox::pathChanged);

        QTreeWidgetItem* item = entryFor(list, tree.path(target));
        QVERIFY(item);
        list.scrollToItem(item);
        const QPoint at = centreOf(list, item);
        if (how == QLatin1String("click")) {
            QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, at);
            QCOMPARE(list.currentItem(), item);
        } else if (how == QLatin1String("double")) {
            // Through the window system, which turns the second press into a double-click.
            QWindow* window = list.window()->windowHandle();
            const QPoint inWindow = list.viewport()->mapTo(list.window(), at);
            QTest::mouseDClick(window, Qt::LeftButton, {}, inWindow);
        } else {
            list.setCurrentItem(item);
            QTest::keyClick(&list, how == QLatin1String("enter") ? Qt::Key_Enter : Qt::Key_Return);
        }
        QCOMPARE(list.path(), QDir::toNativeSeparators(tree.path(opened)));
        QCOMPARE(changes.count(), opened == QLatin1String("work") ? 0 : 1);
        if (opened != QLatin1String("work"))
            QCOMPARE(changes.constFirst().constFirst().toString(), list.path());
    }

    void folderIconsFollowTheOpenChain_data()
    {
        QTest::addColumn<QString>("open");
        QTest::newRow("folder with subfolders") << "work";
        QTest::newRow("folder without subfolders") << "work/alpha/inner";
        QTest::newRow("a folder above the open one") << "";
    }
    void folderIconsFollowTheOpenChain()
    {
        QFETCH(QString, open);
        ScratchTree tree;
        tree.make(QStringLiteral("work/alpha/inner"));
        tree.make(QStringLiteral("work/beta"));
        DirListBox list;
        QVERIFY(list.setPath(tree.path(QStringLiteral("work/alpha"))));
        const auto picture = [](const QIcon& icon) { return icon.pixmap(16).toImage(); };
        const QImage opened = picture(FolderIcons::open());
        const QImage closed = picture(FolderIcons::closed());
        QVERIFY(opened != closed);
        // Opening changes the opened entry's picture, even where it has nothing below it.
        QTreeWidgetItem* before = entryFor(list, tree.path(open));
        if (before)
            QCOMPARE(picture(before->icon(0)),
                     open.startsWith(QLatin1String("work/alpha/")) ? closed : opened);
        list.setCurrentItem(before);
        QTest::keyClick(&list, Qt::Key_Return);
        QCOMPARE(list.path(), QDir::toNativeSeparators(tree.path(open)));

        const QString target = DirListBox::normalFolder(tree.path(open));
        for (QTreeWidgetItemIterator it(&list); *it; ++it) {
            const QString folder = (*it)->data(0, DirListBox::FolderRole).toString();
            const bool onChain = target == folder || target.startsWith(folder + QLatin1Char('/')) ||
                                 (folder.endsWith(QLatin1Char('/')) && target.startsWith(folder));
            QVERIFY2(picture((*it)->icon(0)) == (onChain ? opened : closed), qPrintable(folder));
        }
    }

    void showingAgainReadsTheDisk_data()
    {
        QTest::addColumn<QString>("gone");
        QTest::addColumn<bool>("asFile");
        QTest::addColumn<QString>("opened");
        QTest::newRow("a subfolder removed") << "work/doomed" << false << "work";
        QTest::newRow("a subfolder replaced by a file") << "work/doomed" << true << "work";
        QTest::newRow("the open folder removed") << "work" << false << "";
    }
    void showingAgainReadsTheDisk()
    {
        QFETCH(QString, gone);
        QFETCH(bool, asFile);
        QFETCH(QString, opened);
        ScratchTree tree;
        tree.make(QStringLiteral("work/doomed"));
        tree.make(QStringLiteral("work/kept"));
        DirListBox list;
        QVERIFY(list.setPath(tree.path(QStringLiteral("work"))));
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        list.hide();
        QVERIFY(QDir(tree.path(gone)).removeRecursively());
        if (asFile) {
            QFile file(tree.path(gone));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        // A folder gone before the list is shown again cannot be opened.
        QTreeWidgetItem* stale = entryFor(list, tree.path(QStringLiteral("work/doomed")));
        QVERIFY(stale);
        list.setCurrentItem(stale);
        QTest::keyClick(&list, Qt::Key_Return);
        QCOMPARE(list.path(), QDir::toNativeSeparators(tree.path(QStringLiteral("work"))));

        list.show();
        QCOMPARE(list.path(), QDir::toNativeSeparators(tree.path(opened)));
        QVERIFY(!entryFor(list, tree.path(QStringLiteral("work/doomed"))));
        QCOMPARE(entryFor(list, tree.path(QStringLiteral("work/kept"))) != nullptr,
                 opened == QLatin1String("work"));
    }
};

QTEST_MAIN(DirListBoxTest)
#include "DirListBoxTest.moc"
