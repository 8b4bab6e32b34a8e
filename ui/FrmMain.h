#pragma once

#include <QWidget>

class CommDiag;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

// The start-up window: source and output paths, Extract, About, logo and progress display.
class FrmMain : public QWidget
{
    Q_OBJECT
public:
    explicit FrmMain(QWidget* parent = nullptr);

    // The window's controls, named as in its layout.
    QGroupBox* FraLogo = nullptr;
    QLabel* ImgLogo = nullptr;
    QGroupBox* fraMain = nullptr;
    QLabel* lblSource = nullptr;
    QLabel* lblExtract = nullptr;
    QLineEdit* txtSource = nullptr;
    QPushButton* CmdInBrowse = nullptr;
    QLineEdit* txtExtract = nullptr;
    QPushButton* CmdOutBrowse = nullptr;
    QPushButton* CmdAbout = nullptr;
    QPushButton* CmdExtract = nullptr;
    QGroupBox* FraProccess = nullptr;
    QLabel* lblPerc = nullptr;
    QProgressBar* ProgBar = nullptr;
    ::CommDiag* CommDiag = nullptr;
};
