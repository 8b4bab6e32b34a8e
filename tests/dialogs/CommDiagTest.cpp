// The open-file dialog component: its filter text, what it asks the dialog for, and the real Qt
// dialog driven by a user who confirms or cancels. On Windows the dialog is the system's own,
// which a test cannot drive: there the request and the system's filter and flags are checked.
#include "DialogsTestSupport.h"

#include "ui/CommDiag.h"
#include "ui/Platform.h"

#include <QComboBox>
#include <QDateTime>
#include <QDirIterator>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QSettings>
#include <QTest>

#include <filesystem>
#include <memory>
#include <string>

#ifdef Q_OS_WIN
#include <windows.h>

#include <commdlg.h>
#include <dlgs.h>

#include <string>
#endif

using namespace glintmark::ui;

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

#ifdef Q_OS_WIN
// The name the next system open dialog is answered with; empty for a cancel.
std::wstring& systemDialogAnswer()
{
    static std::wstring answer;
    return answer;
}

BOOL CALLBACK answerIfDialog(HWND window, LPARAM answered)
{
    wchar_t name[16] = {};
    GetClassNameW(window, name, 16);
    if (std::wstring(name) != L"#32770" || !IsWindowVisible(window))
        return TRUE;
    const std::wstring& answer = systemDialogAnswer();
    if (!answer.empty())
        SetDlgItemTextW(window, cmb13, answer.c_str());
    PostMessageW(window, WM_COMMAND, answer.empty() ? IDCANCEL : IDOK, 0);
    *reinterpret_cast<bool*>(answered) = true;
    return FALSE;
}

void CALLBACK answerOnTimer(HWND, UINT, UINT_PTR timer, DWORD)
{
    bool answered = false;
    EnumThreadWindows(GetCurrentThreadId(), answerIfDialog, reinterpret_cast<LPARAM>(&answered));
    if (answered)
        KillTimer(nullptr, timer);
}

// Answers the system's open dialog, once it is shown, as a user typing answer would.
void answerSystemDialog(const QString& answer)
{
    systemDialogAnswer() = answer.toStdWString();
    SetTimer(nullptr, 0, 50, answerOnTimer);
}
#endif

} // namespace

// Tests that drive Qt's dialog by hand have nothing to drive where the dialog is the system's.
#ifdef Q_OS_WIN
#define SKIP_WITH_SYSTEM_DIALOG() QSKIP("the open dialog is the system's own here")
#else
#define SKIP_WITH_SYSTEM_DIALOG() (void)0
#endif

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

    void systemOpenFilter_data()
    {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QString>("filter");
        const QChar nul(0);
        QTest::newRow("level database")
            << CommDiag::nameFilters(kLevelFilter)
            << QStringLiteral("Vorlesk Level Database (*.ldb)") + nul + "*.ldb" + nul + nul;
        QTest::newRow("two entries, two patterns")
            << QStringList{"Images (*.jpg *.jpeg)", "All (*.*)"}
            << QStringLiteral("Images (*.jpg *.jpeg)") + nul + "*.jpg;*.jpeg" + nul + "All (*.*)" +
                   nul + "*.*" + nul + nul;
        QTest::newRow("entry without patterns is left out")
            << QStringList{"Levels", "Empty ()", "Levels (*.ldb)"}
            << QStringLiteral("Levels (*.ldb)") + nul + "*.ldb" + nul + nul;
        QTest::newRow("none") << QStringList{} << QString(nul);
    }
    void systemOpenFilter()
    {
        QFETCH(QStringList, entries);
        QFETCH(QString, filter);
        QCOMPARE(platform::systemOpenFilter(entries), filter);
    }

#ifndef Q_OS_WIN
    // A file name is bytes. Whatever they are, the text a window shows for them turns back into
    // the same bytes: from the command line, from a folder list, and from Qt's own dialog, which
    // shows a byte that is not UTF-8 as U+FFFD. UTF-8 names read as their characters.
    void nativeNamesSurviveTheWindows_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<bool>("utf8");
        QTest::newRow("0xFF") << QByteArray("bad\xff.ldb") << false;
        QTest::newRow("lone 0x80") << QByteArray("a\x80z") << false;
        QTest::newRow("multi-byte")
            << QByteArray("Burg\xc3\xa9 \xe2\x82\xac \xf0\x9f\x8f\xb0") << true;
        QTest::newRow("ends in a space") << QByteArray("level ") << true;
        QTest::newRow("U+FFFD itself") << QByteArray("r\xef\xbf\xbd") << true;
        QTest::newRow("a surrogate, encoded") << QByteArray("s\xed\xb3\xbf") << false;
        QTest::newRow("overlong slash") << QByteArray("o\xc0\xaf") << false;
        QTest::newRow("cut short at the end") << QByteArray("c\xe2\x82") << false;
        QTest::newRow("lead then ASCII") << QByteArray("\xc3(x") << false;
        QTest::newRow("beyond U+10FFFF") << QByteArray("\xf4\x90\x80\x80") << false;
        QTest::newRow("highest code point") << QByteArray("\xf4\x8f\xbf\xbf") << true;
        QTest::newRow("last before surrogates") << QByteArray("\xed\x9f\xbf") << true;
        QTest::newRow("0xFE and 0xFF in a row") << QByteArray("\xfe\xff") << false;
    }
    void nativeNamesSurviveTheWindows()
    {
        QFETCH(QByteArray, name);
        QFETCH(bool, utf8);
        const std::string bytes = name.toStdString();
        const auto hex = [](const std::string& b) {
            return QByteArray::fromStdString(b).toHex(' ');
        };
        const QString text = platform::fromPath(bytes);
        QCOMPARE(hex(platform::toPath(text).native()), hex(bytes));
        QCOMPARE(hex(platform::toPath(platform::fromArgument(name.constData())).native()),
                 hex(bytes));
        if (utf8)
            QVERIFY(text == QString::fromUtf8(name));
        else
            QVERIFY(!text.contains(QChar(QChar::ReplacementCharacter)));

        // As Qt's dialog and lists give it back, the name on disk is found again.
        ScratchTree tree;
        const std::filesystem::path folder = platform::toPath(tree.path()) / bytes;
        std::filesystem::create_directory(folder);
        // Qt cannot remove a name it cannot spell; the folder goes by its bytes.
        const std::shared_ptr<void> removal(nullptr, [&folder](void*) {
            std::error_code ec;
            std::filesystem::remove_all(folder, ec);
        });
        const QString shown = tree.path() + QLatin1Char('/') + QFile::decodeName(name);
        QCOMPARE(hex(platform::toPath(platform::exactName(shown)).native()), hex(folder.native()));
        QCOMPARE(platform::subfolderNames(tree.path()), QStringList{text});
        QVERIFY(platform::isReadableFolder(platform::fromPath(folder)));
    }
#endif

    void showOpenPreparesTheDialog()
    {
        ScratchTree tree;
        QVERIFY(tree.isValid());
        const CurrentFolderGuard inWork(tree.make(QStringLiteral("work")));
        QWidget owner;
        CommDiag diag(&owner);
        diag.setFlags(CommDiag::cdlOFNHideReadOnly);
        diag.setFilter(kLevelFilter);
        QList<CommDiag::OpenRequest> requests;
        CommDiag::setDialogRunner([&](const CommDiag::OpenRequest& request) {
            requests.append(request);
            return QString();
        });
        diag.showOpen();
        QCOMPARE(requests.size(), 1);
        QCOMPARE(requests.constFirst().nameFilters, QStringList{"Vorlesk Level Database (*.ldb)"});
        QCOMPARE(requests.constFirst().startFolder, QDir::currentPath());
        QCOMPARE(requests.constFirst().flags, CommDiag::cdlOFNHideReadOnly);
        QCOMPARE(diag.fileName(), QString());
        QCOMPARE(diag.flags(), 4);
#ifdef Q_OS_WIN
        // The read-only box hidden; any name accepted; the current folder and the recent
        // documents left alone.
        const unsigned long flags = platform::systemOpenFlags(diag.flags());
        QVERIFY(platform::hasSystemOpenDialog());
        QCOMPARE(flags & (OFN_HIDEREADONLY | OFN_EXPLORER | OFN_NOCHANGEDIR | OFN_DONTADDTORECENT),
                 static_cast<unsigned long>(OFN_HIDEREADONLY | OFN_EXPLORER | OFN_NOCHANGEDIR |
                                            OFN_DONTADDTORECENT));
        QCOMPARE(flags & (OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_ALLOWMULTISELECT), 0ul);
#else
        // Qt's own dialog, as the user sees it.
        QVERIFY(!platform::hasSystemOpenDialog());
        CommDiag::setDialogRunner({});
        bool shown = false;
        whenModalOpens([&](QWidget* modal) {
            shown = true;
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            QVERIFY(dialog);
            checkPrepared(*dialog);
            dialog->reject();
        });
        diag.showOpen();
        QVERIFY(shown);
        QCOMPARE(diag.fileName(), QString());
#endif
    }

    void cancelOnFirstUseLeavesNoName()
    {
        SKIP_WITH_SYSTEM_DIALOG();
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
        SKIP_WITH_SYSTEM_DIALOG();
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
        SKIP_WITH_SYSTEM_DIALOG();
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
        SKIP_WITH_SYSTEM_DIALOG();
        // The main window can go away while its dialog is up; nothing may be touched then.
        auto* owner = new QWidget;
        auto* diag = new CommDiag(owner);
        diag->setFilter(kLevelFilter);
        whenModalOpens([owner](QWidget*) { delete owner; });
        diag->showOpen();
        QVERIFY(!QApplication::activeModalWidget());
    }

#ifdef Q_OS_WIN
    // The system's own dialog, answered through its window: a typed name is confirmed, a
    // cancel keeps it, and Qt's registry group shared by every Qt program stays untouched.
    void systemDialogConfirmsAndCancels()
    {
        // Headless (Wine without a display) the system can show no dialog at all.
        if (HWND probe = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 1, 1, nullptr, nullptr,
                                         nullptr, nullptr))
            DestroyWindow(probe);
        else
            QSKIP("no window system to show the system's dialog on");
        ScratchTree tree;
        QVERIFY(tree.isValid());
        const QString level = tree.make(QStringLiteral("levels")) + QStringLiteral("/castle.ldb");
        QFile file(level);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        const QSettings qtGroup(QStringLiteral("HKEY_CURRENT_USER\\Software\\QtProject"),
                                QSettings::NativeFormat);
        const QStringList before = qtGroup.allKeys();

        QWidget owner;
        CommDiag diag(&owner);
        diag.setFlags(CommDiag::cdlOFNHideReadOnly);
        diag.setFilter(kLevelFilter);
        for (const QString& answer : {QDir::toNativeSeparators(level), QString()}) {
            answerSystemDialog(answer);
            diag.showOpen();
            QCOMPARE(diag.fileName(), QDir::toNativeSeparators(level));
        }
        QCOMPARE(qtGroup.allKeys(), before);
    }
#endif

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
        // Answers the next dialog with pick, or cancels it when pick is empty: Qt's dialog by
        // hand, the system's through the runner.
        const auto answerNext = [&](const QString& pick) {
#ifdef Q_OS_WIN
            CommDiag::setDialogRunner([&openedIn, pick](const CommDiag::OpenRequest& request) {
                openedIn.append(request.startFolder);
                return pick;
            });
#else
            whenModalOpens([&openedIn, &views, pick](QWidget* modal) {
                auto* dialog = qobject_cast<QFileDialog*>(modal);
                QVERIFY(dialog);
                openedIn.append(dialog->directory().absolutePath());
                views.append(dialog->viewMode());
                if (pick.isEmpty())
                    dialog->reject();
                else
                    confirmName(dialog, pick);
            });
#endif
        };
        {
            QWidget owner;
            CommDiag diag(&owner);
            for (const QString& name : {QString(), level, QString()}) {
                answerNext(name);
                diag.showOpen();
            }
        }
        // A new component, as in the next run of the program, remembers nothing.
        QWidget owner;
        CommDiag next(&owner);
        answerNext(QString());
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
