#pragma once

#include <QWidget>

#include <memory>

class QPushButton;

namespace glintmark::ui {

class DirListBox;
class DriveListBox;
class VolumeSource;

// The folder chooser: a drive list, a directory list and "&Done", which confirms the folder
// the directory list has open as the output folder of the main window.
class FrmBrowse : public QWidget
{
    Q_OBJECT
public:
    // A chooser over the drives of VolumeSource::active().
    explicit FrmBrowse(QWidget* parent = nullptr);
    // A chooser over the given drives.
    explicit FrmBrowse(std::shared_ptr<const VolumeSource> volumes, QWidget* parent = nullptr);

    // The window's controls, named as in its layout.
    DriveListBox* Drive1 = nullptr;
    DirListBox* Dir1 = nullptr;
    QPushButton* CmdClose = nullptr;

private:
    void Form_Load();
    void Drive1_Change();
    void CmdClose_Click();
};

} // namespace glintmark::ui
