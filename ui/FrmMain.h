#pragma once

#include "engine/ExtractTypes.h"

#include <QString>
#include <QWidget>

#include <cstddef>
#include <filesystem>
#include <string>

class QCloseEvent;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace glintmark::ui {

class CommDiag;

// The start-up window: source and output paths, Extract, About, logo and progress display.
// Closing it ends the program.
class FrmMain : public QWidget, private glintmark::ExtractObserver
{
    Q_OBJECT
public:
    // Builds the window and its controls in their initial state (CmdOutBrowse still hidden).
    explicit FrmMain(QWidget* parent = nullptr);
    ~FrmMain() override;

    // The caption shown in the title bar.
    static QString windowCaption();

    // The job the next run would start with, built from the job fields.
    glintmark::ExtractJob extractJob() const;
    // True while an extraction run is in progress.
    bool isExtracting() const { return m_running; }
    // Bytes read per block (one caption and bar update and one yield per block).
    void setBlockSize(std::size_t bytes) { m_blockSize = bytes; }

    // Shows the window at the centre of its screen.
    void showCentred();

    // Takes file as the source exactly as if it had been confirmed in the open dialog (the
    // file the program was started with).
    void chooseSource(const QString& file);

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
    ui::CommDiag* CommDiag = nullptr;

public slots:
    // The load step: draws the four command buttons flat (which also shows CmdOutBrowse).
    void Form_Load();
    // The unload step: the window goes and the program-wide reference to it is cleared.
    void Form_Unload();
    // Picks the source file with the open-file dialog and shows it in txtSource.
    void CmdInBrowse_Click();
    // Shows the folder chooser.
    void CmdOutBrowse_Click();
    // Shows the About window.
    void CmdAbout_Click();
    // Sets the job fields from the two text boxes and runs the extraction.
    void CmdExtract_Click();
    // The extraction run over the job fields, with progress display and final message.
    void ExtractTextures();

protected:
    // Closing the main window unloads it and ends the program.
    void closeEvent(QCloseEvent* event) override;
    // Keeps the path boxes readable when the palette changes.
    void changeEvent(QEvent* event) override;
    // Enter presses the button that has the focus; no button is pressed by Enter otherwise.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildControls();
    bool onProgress(const glintmark::Progress& progress) override;
    bool onWaiting() override;
    // Lets the windows repaint and take clicks during a run; false once the run is to stop.
    bool yieldToEvents();
    void showPercent(int percent);
    void showChosenSource();

    // Job fields: set by every press of Extract, read by the run.
    QString strSourceFile;
    std::filesystem::path strOutPrefix;
    std::string strOutExt;
    std::string strSignature;

    std::size_t m_blockSize = glintmark::kDefaultBlockSize;
    bool m_running = false;
    bool m_stopRequested = false;
    bool m_unloaded = false;
};

} // namespace glintmark::ui
