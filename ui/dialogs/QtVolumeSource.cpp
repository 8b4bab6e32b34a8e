#include "ui/dialogs/QtVolumeSource.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

#include <algorithm>
#include <iterator>
#include <string_view>

namespace glintmark::ui {

namespace {

// File systems that hold no user files, or only the inner layers of another mount.
constexpr std::string_view kPseudoFileSystems[] = {
    "autofs",      "binfmt_misc", "bpf",       "cgroup",   "cgroup2",    "configfs",
    "debugfs",     "devfs",       "devpts",    "devtmpfs", "efivarfs",   "fuse.gvfsd-fuse",
    "fuse.portal", "fusectl",     "hugetlbfs", "mqueue",   "nsfs",       "nullfs",
    "overlay",     "proc",        "pstore",    "ramfs",    "rpc_pipefs", "securityfs",
    "selinuxfs",   "squashfs",    "sysfs",     "tracefs",  "fuse.lxcfs", "rootfs"};

// Places where the system mounts things for its own use. Removable media that a desktop
// mounts under /run/media stay.
constexpr std::string_view kSystemAreas[] = {"/proc",    "/sys",      "/dev",  "/run",
                                             "/var/run", "/var/lock", "/snap", "/System/Volumes"};

bool under(const QString& root, std::string_view area)
{
    const QString prefix = QString::fromLatin1(area.data(), static_cast<qsizetype>(area.size()));
    return root == prefix || root.startsWith(prefix + QLatin1Char('/'));
}

} // namespace

bool QtVolumeSource::isUserVolume(const QString& root, const QByteArray& fileSystemType,
                                  bool isFolder)
{
    if (root == QLatin1String("/"))
        return true;
    if (!isFolder || root.isEmpty())
        return false;
    const std::string_view type(fileSystemType.constData(),
                                static_cast<std::size_t>(fileSystemType.size()));
    if (std::find(std::begin(kPseudoFileSystems), std::end(kPseudoFileSystems), type) !=
        std::end(kPseudoFileSystems))
        return false;
    if (under(root, "/run/media"))
        return true;
    return std::none_of(std::begin(kSystemAreas), std::end(kSystemAreas),
                        [&root](std::string_view area) { return under(root, area); });
}

QList<VolumeSource::Volume> QtVolumeSource::volumes() const
{
    QList<Volume> drives;
#ifdef Q_OS_WIN
    // Every drive letter, also a removable drive without a medium.
    const QFileInfoList letters = QDir::drives();
    for (const QFileInfo& letter : letters) {
        const QString root = letter.absoluteFilePath();
        const QStorageInfo storage(root);
        drives.append({root, storage.isValid() ? storage.name() : QString()});
    }
#else
    const QList<QStorageInfo> mounted = QStorageInfo::mountedVolumes();
    for (const QStorageInfo& storage : mounted) {
        const QString root = storage.rootPath();
        if (!isUserVolume(root, storage.fileSystemType(), QFileInfo(root).isDir()))
            continue;
        const bool seen = std::any_of(drives.cbegin(), drives.cend(),
                                      [&root](const Volume& drive) { return drive.root == root; });
        if (!seen)
            drives.append({root, storage.name()});
    }
    if (std::none_of(drives.cbegin(), drives.cend(),
                     [](const Volume& drive) { return drive.root == QLatin1String("/"); }))
        drives.append({QStringLiteral("/"), QString()});
    // "/" first, then the other volumes by their root.
    std::sort(drives.begin(), drives.end(), [](const Volume& a, const Volume& b) {
        const bool aIsRoot = a.root == QLatin1String("/");
        const bool bIsRoot = b.root == QLatin1String("/");
        if (aIsRoot != bIsRoot)
            return aIsRoot;
        return a.root < b.root;
    });
#endif
    return drives;
}

} // namespace glintmark::ui
