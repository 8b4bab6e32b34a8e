// The open-file dialog component: its filter text, and the real Qt dialog driven by a user
// who confirms or cancels.
#include "DialogsTestSupport.h"

#include "ui/CommDiag.h"

#include <QComboBox>
#include <QDateTime>
#include <QDirIterator>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QSettings>
#include <QTest>

namespace {

const QString kLevelFilter = QStringLiteral("Vorlesk Level Database (*.ldb)|*.ldb");

// Types a name into the open dialog's file name field and confirms it with Enter.
void confirmName(QWidget* modal, const QString& name)
{
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    QVERIFY(dialog);
    auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    QVERIFY(edit);
    edit->setFocus();
    edit->setText(name);
    QTest::keyClick(edit, Qt::Key_Return);
    // Qt's dialog stays open when it does not take the name; leave no modal loop behind.
    if (dialog->isVisible())
        dialog->reject();
}

void cancel(QWidget* modal)
{
    QTest::keyClick(modal, Qt::Key_Escape);
}

} // namespace

class CommDiagTest : public QObject
{
    Q_OBJECT

private:
    // A scratch home for the whole run, holding a settings file Qt's dialog would read.
    ScratchTree m_home;

private slots:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        qputenv("HOME", QFile::encodeName(m_home.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home.make(QStringLiteral("config"))));
        QFile stored(m_home.path(QStringLiteral("config/QtProject.conf")));
        QVERIFY(stored.open(QIODevice::WriteOnly));
        stored.write("[FileDialog]\nlastVisited=file://" +
                     QFile::encodeName(m_home.make(QStringLiteral("elsewhere"))) +
                     "\nviewMode=List\n");
    }

    void init() { CommDiag::setDialogRunner({}); }
    void cleanup() { CommDiag::setDialogRunner({}); }

    void nameFilters_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QStringList>("entries");
        QTest::newRow("level database")
            << kLevelFilter << QStringList{"Vorlesk Level Database (*.ldb)"};
        QTest::newRow("description without patterns")
            << "Level files|*.ldb" << QStringList{"Level files (*.ldb)"};
        QTest::newRow("two pairs")
            << "Levels (*.ldb)|*.ldb|All (*.*)|*.*" << QStringList{"Levels (*.ldb)", "All (*.*)"};
        QTest::newRow("semicolon patterns")
            << "Images (*.jpg;*.jpeg)|*.jpg;*.jpeg" << QStringList{"Images (*.jpg *.jpeg)"};
        QTest::newRow("other parentheses kept")
            << "Levels (old)|*.ldb" << QStringList{"Levels (old) (*.ldb)"};
        QTest::newRow("no description") << "|*.ldb" << QStringList{"*.ldb (*.ldb)"};
        QTest::newRow("description without its pattern is left out")
            << "Levels (*.ldb)|*.ldb|Dangling" << QStringList{"Levels (*.ldb)"};
        QTest::newRow("empty pattern is left out") << "Nothing| " << QStringList{};
        QTest::newRow("empty") << "" << QStringList{};
    }
    void nameFilters()
    {
        QFETCH(QString, filter);
        QFETCH(QStringList, entries);
        QCOMPARE(CommDiag::nameFilters(filter), entries);
    }

    void showOpenPreparesTheDialog()
    {
        QWidget owner;
        CommDiag diag(&owner);
        diag.setFlags(CommDiag::cdlOFNHideReadOnly);
        diag.setFilter(kLevelFilter);
        bool ran = false;
        CommDiag::setDialogRunner([&](QFileDialog& dialog) {
            ran = true;
            checkPrepared(dialog);
            return int(QDialog::Rejected);
        });
        diag.showOpen();
        QVERIFY(ran);
        QCOMPARE(diag.fileName(), QString());
        QCOMPARE(diag.flags(), 4);
    }

    void cancelOnFirstUseLeavesNoName()
    {
        QWidget owner;
        CommDiag diag(&owner);
        diag.setFilter(kLevelFilter);
        whenModalOpens(cancel);
        diag.showOpen();
        QCOMPARE(diag.fileName(), QString());
        QVERIFY(!QApplication::activeModalWidget());
    }

    void confirmedNamesAreKeptAcrossCancel_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("create");
        QTest::newRow("existing level database") << "level.ldb" << true;
        QTest::newRow("name that does not exist") << "missing.ldb" << false;
        QTest::newRow("name not ending in .ldb") << "notes.txt" << false;
        QTest::newRow("existing file of another type") << "readme.md" << true;
        QTest::newRow("name with spaces") << "my level.ldb" << false;
    }
    void confirmedNamesAreKeptAcrossCancel()
    {
        QFETCH(QString, name);
        QFETCH(bool, create);
        ScratchTree tree;
        QVERIFY(tree.isValid());
        const QString full = tree.make(QStringLiteral("levels")) + QLatin1Char('/') + name;
        if (create) {
            QFile file(full);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }

        QWidget owner;
        CommDiag diag(&owner);
        diag.setFlags(CommDiag::cdlOFNHideReadOnly);
        diag.setFilter(kLevelFilter);
        whenModalOpens([&](QWidget* modal) { confirmName(modal, full); });
        diag.showOpen();
        QCOMPARE(diag.fileName(), QDir::toNativeSeparators(full));

        // A second show that the user cancels keeps the first file.
        whenModalOpens(cancel);
        diag.showOpen();
        QCOMPARE(diag.fileName(), QDir::toNativeSeparators(full));
    }

    void laterConfirmationReplacesEarlier()
    {
        ScratchTree tree;
        QVERIFY(tree.isValid());
        const QString first = tree.make(QStringLiteral("a")) + QStringLiteral("/one.ldb");
        const QString second = tree.make(QStringLiteral("b")) + QStringLiteral("/two.ldb");
        QWidget owner;
        CommDiag diag(&owner);
        diag.setFilter(kLevelFilter);
        for (const QString& name : {first, second}) {
            whenModalOpens([&](QWidget* modal) { confirmName(modal, name); });
            diag.showOpen();
            QCOMPARE(diag.fileName(), QDir::toNativeSeparators(name));
        }
    }

    void ownerDestroyedWhileDialogIsOpen()
    {
        // The main window can go away while its dialog is up; nothing may be touched then.
        auto* owner = new QWidget;
        auto* diag = new CommDiag(owner);
        diag->setFilter(kLevelFilter);
        whenModalOpens([owner](QWidget*) { delete owner; });
        diag->showOpen();
        QVERIFY(!QApplication::activeModalWidget());
    }

    void keepsNoSettingsAndStartsAtTheSourceFolder()
    {
        const auto listing = [this] {
            QStringList files;
            for (QDirIterator it(m_home.path(),
                                 QDir::AllEntries | QDir::Hidden | QDir::System |
                                     QDir::NoDotAndDotDot,
                                 QDirIterator::Subdirectories);
                 it.hasNext();) {
                it.next();
                files.append(it.filePath() + QLatin1Char(' ') +
                             it.fileInfo().lastModified().toString(Qt::ISODateWithMs));
            }
#ifdef Q_OS_WIN
            // Qt's own store on Windows is the registry.
            const QSettings registry(QStringLiteral("HKEY_CURRENT_USER\\Software\\QtProject"),
                                     QSettings::NativeFormat);
            for (const QString& key : registry.allKeys())
                files.append(key + QLatin1Char('=') +
                             registry.value(key).toStringList().join(QLatin1Char('|')) +
                             registry.value(key).toString());
#endif
            return files;
        };
        const QStringList before = listing();
        ScratchTree tree;
        const QString work = tree.make(QStringLiteral("work"));
        const QString level = tree.make(QStringLiteral("levels")) + QStringLiteral("/castle.ldb");
        const CurrentFolderGuard inWork(work);
        QStringList openedIn;
        QList<QFileDialog::ViewMode> views;
        QString pick;
        CommDiag::setDialogRunner([&](QFileDialog& dialog) {
            openedIn.append(dialog.directory().absolutePath());
            views.append(dialog.viewMode());
            if (pick.isEmpty())
                return int(QDialog::Rejected);
            dialog.selectFile(pick);
            return int(QDialog::Accepted);
        });
        {
            QWidget owner;
            CommDiag diag(&owner);
            for (const QString& name : {QString(), level, QString()}) {
                pick = name;
                diag.showOpen();
            }
        }
        // A new component, as in the next run of the program, remembers nothing.
        QWidget owner;
        CommDiag next(&owner);
        pick.clear();
        next.showOpen();

        QCOMPARE(openedIn, (QStringList{work, work, QFileInfo(level).absolutePath(), work}));
        QVERIFY(!views.contains(QFileDialog::List));
        QCOMPARE(listing(), before);
    }

private:
    static void checkPrepared(QFileDialog& dialog)
    {
        QCOMPARE(dialog.objectName(), CommDiag::dialogObjectName());
        QVERIFY(dialog.testOption(QFileDialog::DontUseNativeDialog));
        QVERIFY(!dialog.testOption(QFileDialog::ReadOnly));
        QCOMPARE(dialog.acceptMode(), QFileDialog::AcceptOpen);
        QCOMPARE(dialog.fileMode(), QFileDialog::AnyFile);
        QCOMPARE(dialog.nameFilters(), QStringList{"Vorlesk Level Database (*.ldb)"});
        QCOMPARE(dialog.selectedNameFilter(), QStringLiteral("Vorlesk Level Database (*.ldb)"));
        auto* types = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        QVERIFY(types);
        QCOMPARE(types->count(), 1);
        QCOMPARE(types->itemText(0), QStringLiteral("Vorlesk Level Database (*.ldb)"));
        QVERIFY(dialog.defaultSuffix().isEmpty());
    }
};

QTEST_MAIN(CommDiagTest)
#include "CommDiagTest.moc"
