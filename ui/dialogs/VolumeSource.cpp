#include "ui/dialogs/VolumeSource.h"

#include "ui/dialogs/QtVolumeSource.h"

#include <QDir>

namespace glintmark::ui {

namespace {

constexpr Qt::CaseSensitivity kPathCase =
#ifdef Q_OS_WIN
    Qt::CaseInsensitive;
#else
    Qt::CaseSensitive;
#endif

std::shared_ptr<const VolumeSource>& activeSource()
{
    static std::shared_ptr<const VolumeSource> source;
    return source;
}

} // namespace

VolumeSource::~VolumeSource() = default;

QString VolumeSource::currentFolder() const
{
    return QDir::currentPath();
}

bool VolumeSource::holds(const QString& root, const QString& folder)
{
    if (root.isEmpty() || !folder.startsWith(root, kPathCase))
        return false;
    if (folder.size() == root.size() || root.endsWith(QLatin1Char('/')))
        return true;
    return folder.at(root.size()) == QLatin1Char('/');
}

qsizetype VolumeSource::indexHolding(const QList<Volume>& drives, const QString& folder)
{
    qsizetype best = -1;
    for (qsizetype i = 0; i < drives.size(); ++i) {
        if (holds(drives.at(i).root, folder) &&
            (best < 0 || drives.at(i).root.size() > drives.at(best).root.size()))
            best = i;
    }
    return best;
}

QString VolumeSource::startFolder(const QList<Volume>& drives, const Volume& drive,
                                  const QString& currentFolder)
{
    const qsizetype holder = indexHolding(drives, currentFolder);
    if (holder >= 0 && drives.at(holder).root.compare(drive.root, kPathCase) == 0)
        return currentFolder;
    return drive.root;
}

std::shared_ptr<const VolumeSource> VolumeSource::active()
{
    if (!activeSource())
        activeSource() = std::make_shared<QtVolumeSource>();
    return activeSource();
}

void VolumeSource::setActive(std::shared_ptr<const VolumeSource> source)
{
    activeSource() = std::move(source);
}

} // namespace glintmark::ui
