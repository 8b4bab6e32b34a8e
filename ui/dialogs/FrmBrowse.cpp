#include "ui/dialogs/FrmBrowse.h"

#include "ui/BtnFlat.h"
#include "ui/ClassicFont.h"
#include "ui/FrmMain.h"
#include "ui/ModGlobal.h"
#include "ui/Twips.h"
#include "ui/WindowRefs.h"
#include "ui/dialogs/DirListBox.h"
#include "ui/dialogs/DriveListBox.h"
#include "ui/dialogs/ProgramIcon.h"
#include "ui/dialogs/VolumeSource.h"

#include <QLineEdit>
#include <QPushButton>

namespace glintmark::ui {

FrmBrowse::FrmBrowse(QWidget* parent) : FrmBrowse(VolumeSource::active(), parent) {}

FrmBrowse::FrmBrowse(std::shared_ptr<const VolumeSource> volumes, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("FrmBrowse"));
    setWindowTitle(QStringLiteral("Browse"));
    setWindowIcon(programIcon());
    setFixedSize(twips::size(4470, 5835));

    Drive1 = new DriveListBox(std::move(volumes), this);
    Drive1->setObjectName(QStringLiteral("Drive1"));
    Drive1->setGeometry(twips::rect(120, 120, 4215, 315));

    Dir1 = new DirListBox(this);
    Dir1->setObjectName(QStringLiteral("Dir1"));
    Dir1->setGeometry(twips::rect(120, 600, 4215, 4590));

    CmdClose = new QPushButton(QStringLiteral("&Done"), this);
    CmdClose->setObjectName(QStringLiteral("CmdClose"));
    CmdClose->setGeometry(twips::rect(2760, 5280, 1575, 495));
    CmdClose->setFont(classicFont(9.75));
    // Enter presses the button only while it has the focus; it is never the window's default.
    CmdClose->setAutoDefault(true);
    CmdClose->setDefault(false);

    setTabOrder(Dir1, Drive1);
    setTabOrder(Drive1, CmdClose);
    Dir1->setFocus();

    connect(Drive1, &QComboBox::currentIndexChanged, this, &FrmBrowse::Drive1_Change);
    connect(CmdClose, &QPushButton::clicked, this, &FrmBrowse::CmdClose_Click);

    Form_Load();
}

void FrmBrowse::Form_Load()
{
    btnFlat(CmdClose);
}

void FrmBrowse::Drive1_Change()
{
    // A drive that cannot be read leaves the directory list where it was, without a message.
    Dir1->setPath(Drive1->driveFolder());
}

void FrmBrowse::CmdClose_Click()
{
    strExtractPath = Dir1->path();
    hide();
    // Only a main window that is still there is written to; a closed one is not brought back.
    if (!WindowRefs::hasMain())
        return;
    FrmMain* main = WindowRefs::frmMain();
    if (main->txtExtract)
        main->txtExtract->setText(strExtractPath);
    if (main->CmdExtract)
        main->CmdExtract->setEnabled(true);
}

} // namespace glintmark::ui
