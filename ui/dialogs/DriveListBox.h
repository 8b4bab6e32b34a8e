#pragma once

#include "ui/dialogs/VolumeSource.h"

#include <QComboBox>

#include <memory>

namespace glintmark::ui {

// A drive list: the drives of a VolumeSource, starting at the drive that holds the process's
// current folder. It reads the drives again each time its list is opened.
class DriveListBox : public QComboBox
{
    Q_OBJECT
public:
    explicit DriveListBox(std::shared_ptr<const VolumeSource> source, QWidget* parent = nullptr);

    // The drive shown, as its root with native separators ("/", "C:\"); empty when none.
    QString drive() const;
    // The folder the shown drive opens at: the process's current folder when that lies on the
    // drive, otherwise the drive's root ('/' separators); empty when no drive is shown.
    QString driveFolder() const;
    // Reads the drives again, keeping the drive shown; reports no change of drive.
    void refresh();

    // How a drive is written in the list: its root, then its label in brackets if it has one.
    static QString displayText(const VolumeSource::Volume& drive);

protected:
    void showPopup() override;

private:
    void fill(const QList<VolumeSource::Volume>& drives);

    std::shared_ptr<const VolumeSource> m_source;
    QList<VolumeSource::Volume> m_drives;
};

} // namespace glintmark::ui
