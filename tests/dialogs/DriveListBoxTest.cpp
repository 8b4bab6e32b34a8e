// Drives: which volume holds a folder, where a drive opens, which mounts are offered, and the
// drive list built on them.
#include "DialogsTestSupport.h"

#include "ui/dialogs/DriveListBox.h"
#include "ui/dialogs/QtVolumeSource.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

using namespace glintmark::ui;

using Volume = VolumeSource::Volume;

class DriveListBoxTest : public QObject
{
    Q_OBJECT

private slots:
    void indexHolding_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<int>("index");
        QTest::newRow("root itself") << "/" << 0;
        QTest::newRow("plain folder on root") << "/usr/share" << 0;
        QTest::newRow("mount point itself") << "/home" << 1;
        QTest::newRow("below a mount point") << "/home/ann/work" << 1;
        QTest::newRow("deepest mount wins") << "/home/ann/usb/photos" << 2;
        QTest::newRow("name sharing a prefix is not below") << "/homeless" << 0;
        QTest::newRow("relative folder is on none") << "home" << -1;
    }
    void indexHolding()
    {
        QFETCH(QString, folder);
        QFETCH(int, index);
        const QList<Volume> drives{{"/", {}}, {"/home", {}}, {"/home/ann/usb", {}}};
        QCOMPARE(VolumeSource::indexHolding(drives, folder), qsizetype(index));
    }

    void startFolder_data()
    {
        QTest::addColumn<QString>("drive");
        QTest::addColumn<QString>("current");
        QTest::addColumn<QString>("start");
        QTest::newRow("current folder lies on the drive") << "/home"
                                                          << "/home/ann"
                                                          << "/home/ann";
        QTest::newRow("current folder on another drive") << "/media/stick"
                                                         << "/home/ann"
                                                         << "/media/stick";
        QTest::newRow("root is not the drive of a folder on a mount") << "/"
                                                                      << "/home/ann"
                                                                      << "/";
        QTest::newRow("root holds a plain folder") << "/"
                                                   << "/usr/share"
                                                   << "/usr/share";
    }
    void startFolder()
    {
        QFETCH(QString, drive);
        QFETCH(QString, current);
        QFETCH(QString, start);
        const QList<Volume> drives{{"/", {}}, {"/home", {}}, {"/media/stick", {}}};
        QCOMPARE(VolumeSource::startFolder(drives, {drive, {}}, current), start);
    }

    void isUserVolume_data()
    {
        QTest::addColumn<QString>("root");
        QTest::addColumn<QByteArray>("type");
        QTest::addColumn<bool>("folder");
        QTest::addColumn<bool>("offered");
        QTest::newRow("root even as an overlay") << "/" << QByteArray("overlay") << true << true;
        QTest::newRow("home partition") << "/home" << QByteArray("ext4") << true << true;
        QTest::newRow("boot partition") << "/boot/efi" << QByteArray("vfat") << true << true;
        QTest::newRow("usb stick") << "/media/ann/STICK" << QByteArray("vfat") << true << true;
        QTest::newRow("desktop removable media")
            << "/run/media/ann/CARD" << QByteArray("exfat") << true << true;
        QTest::newRow("tmp in memory") << "/tmp" << QByteArray("tmpfs") << true << true;
        QTest::newRow("proc") << "/proc" << QByteArray("proc") << true << false;
        QTest::newRow("sysfs") << "/sys" << QByteArray("sysfs") << true << false;
        QTest::newRow("cgroup") << "/sys/fs/cgroup" << QByteArray("cgroup2") << true << false;
        QTest::newRow("devpts") << "/dev/pts" << QByteArray("devpts") << true << false;
        QTest::newRow("shared memory") << "/dev/shm" << QByteArray("tmpfs") << true << false;
        QTest::newRow("tmpfs under /run")
            << "/run/user/1000" << QByteArray("tmpfs") << true << false;
        QTest::newRow("container layer")
            << "/var/lib/docker/overlay2/x/merged" << QByteArray("overlay") << true << false;
        QTest::newRow("snap package") << "/snap/core/1" << QByteArray("squashfs") << true << false;
        QTest::newRow("file bind-mounted") << "/etc/hosts" << QByteArray("ext4") << false << false;
        QTest::newRow("system volume on a mac")
            << "/System/Volumes/Data" << QByteArray("apfs") << true << false;
    }
    void isUserVolume()
    {
        QFETCH(QString, root);
        QFETCH(QByteArray, type);
        QFETCH(bool, folder);
        QFETCH(bool, offered);
        QCOMPARE(QtVolumeSource::isUserVolume(root, type, folder), offered);
    }

    void systemSourceOffersRootFirst()
    {
        // The only assumption about this machine: it has a root, offered once and first. On
        // Windows: only drive letters, the current folder's among them.
        const QList<Volume> drives = QtVolumeSource().volumes();
        QVERIFY(!drives.isEmpty());
#ifdef Q_OS_WIN
        const QRegularExpression letter(QStringLiteral("^[A-Z]:/$"));
        for (const Volume& drive : drives)
            QVERIFY2(letter.match(drive.root).hasMatch(), qPrintable(drive.root));
        QVERIFY(VolumeSource::indexHolding(drives, QDir::currentPath()) >= 0);
#else
        QCOMPARE(drives.constFirst().root, QStringLiteral("/"));
        qsizetype roots = 0;
        for (const Volume& drive : drives)
            roots += drive.root == QLatin1String("/") ? 1 : 0;
        QCOMPARE(roots, qsizetype(1));
#endif
    }

    void displayText_data()
    {
        QTest::addColumn<QString>("root");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("text");
        QTest::newRow("no label") << "/"
                                  << "" << QDir::toNativeSeparators("/");
        QTest::newRow("label") << "/media/stick"
                               << "STICK" << QDir::toNativeSeparators("/media/stick") + " [STICK]";
    }
    void displayText()
    {
        QFETCH(QString, root);
        QFETCH(QString, label);
        QFETCH(QString, text);
        QCOMPARE(DriveListBox::displayText({root, label}), text);
    }

    void startsAtTheCurrentDrive()
    {
        ScratchTree tree;
        const QString work = tree.make(QStringLiteral("diskB/work"));
        tree.make(QStringLiteral("diskA"));
        const CurrentFolderGuard inWork(work);
        const auto source = std::make_shared<FakeVolumeSource>(
            QList<Volume>{{tree.path(QStringLiteral("diskA")), QStringLiteral("A")},
                          {tree.path(QStringLiteral("diskB")), QStringLiteral("B")}});
        const DriveListBox list(source);
        QCOMPARE(list.count(), 2);
        QCOMPARE(list.currentIndex(), 1);
        QCOMPARE(list.drive(), QDir::toNativeSeparators(tree.path(QStringLiteral("diskB"))));
        QCOMPARE(list.driveFolder(), work);
    }

    void refreshKeepsTheShownDrive()
    {
        ScratchTree tree;
        const QString a = tree.make(QStringLiteral("diskA"));
        const QString b = tree.make(QStringLiteral("diskB"));
        const QString c = tree.make(QStringLiteral("diskC"));
        const CurrentFolderGuard inB(b);
        const auto source = std::make_shared<FakeVolumeSource>(QList<Volume>{{a, {}}, {b, {}}});
        DriveListBox list(source);
        QSignalSpy changes(&list, &QComboBox::currentIndexChanged);

        // A drive that appears is listed, and the shown one stays shown.
        source->driveList = {{c, {}}, {a, {}}, {b, {}}};
        list.refresh();
        QCOMPARE(list.count(), 3);
        QCOMPARE(list.drive(), QDir::toNativeSeparators(b));

        // The shown drive going away keeps it shown until another is picked.
        source->driveList = {{a, {}}};
        list.refresh();
        QCOMPARE(list.count(), 2);
        QCOMPARE(list.drive(), QDir::toNativeSeparators(b));
        QCOMPARE(changes.count(), 0);
    }

    void noDriveShownWhenNoneHoldsTheCurrentFolder()
    {
        ScratchTree tree;
        const QString elsewhere = tree.make(QStringLiteral("elsewhere"));
        const CurrentFolderGuard inElsewhere(elsewhere);
        const auto source = std::make_shared<FakeVolumeSource>(
            QList<Volume>{{tree.make(QStringLiteral("diskA")), {}}});
        const DriveListBox list(source);
        QCOMPARE(list.currentIndex(), -1);
        QCOMPARE(list.drive(), QString());
        QCOMPARE(list.driveFolder(), QString());
    }
};

QTEST_MAIN(DriveListBoxTest)
#include "DriveListBoxTest.moc"
