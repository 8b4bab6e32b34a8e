#include "ui/dialogs/DriveListBox.h"

#include <QDir>
#include <QSignalBlocker>

namespace glintmark::ui {

DriveListBox::DriveListBox(std::shared_ptr<const VolumeSource> source, QWidget* parent)
    : QComboBox(parent), m_source(std::move(source))
{
    setEditable(false);
    const QList<VolumeSource::Volume> drives = m_source->volumes();
    fill(drives);
    setCurrentIndex(
        static_cast<int>(VolumeSource::indexHolding(drives, m_source->currentFolder())));
}

QString DriveListBox::drive() const
{
    const int index = currentIndex();
    if (index < 0 || index >= m_drives.size())
        return QString();
    return QDir::toNativeSeparators(m_drives.at(index).root);
}

QString DriveListBox::driveFolder() const
{
    const int index = currentIndex();
    if (index < 0 || index >= m_drives.size())
        return QString();
    return VolumeSource::startFolder(m_drives, m_drives.at(index), m_source->currentFolder());
}

void DriveListBox::refresh()
{
    const QSignalBlocker blocker(this);
    const int index = currentIndex();
    const bool hadDrive = index >= 0 && index < m_drives.size();
    const VolumeSource::Volume shown = hadDrive ? m_drives.at(index) : VolumeSource::Volume{};
    QList<VolumeSource::Volume> drives = m_source->volumes();
    qsizetype keep = -1;
    for (qsizetype i = 0; hadDrive && i < drives.size(); ++i) {
        if (drives.at(i).root == shown.root)
            keep = i;
    }
    // A drive that went away while it was shown stays in the list until another is picked.
    if (hadDrive && keep < 0) {
        drives.append(shown);
        keep = drives.size() - 1;
    }
    fill(drives);
    setCurrentIndex(static_cast<int>(keep));
}

QString DriveListBox::displayText(const VolumeSource::Volume& drive)
{
    QString text = QDir::toNativeSeparators(drive.root);
    if (!drive.label.isEmpty())
        text += QStringLiteral(" [") + drive.label + QLatin1Char(']');
    return text;
}

void DriveListBox::showPopup()
{
    refresh();
    QComboBox::showPopup();
}

void DriveListBox::fill(const QList<VolumeSource::Volume>& drives)
{
    m_drives = drives;
    clear();
    for (const VolumeSource::Volume& volume : drives)
        addItem(displayText(volume), volume.root);
}

} // namespace glintmark::ui
