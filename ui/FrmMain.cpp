#include "ui/FrmMain.h"

#include "engine/Extraction.h"
#include "engine/HexDecode.h"
#include "engine/ModMisc.h"
#include "engine/names/ImageNames.h"
#include "ui/BtnFlat.h"
#include "ui/ClassicFont.h"
#include "ui/CommDiag.h"
#include "ui/MsgBox.h"
#include "ui/PathBox.h"
#include "ui/Platform.h"
#include "ui/Twips.h"
#include "ui/WindowRefs.h"
#include "ui/dialogs/FrmAbout.h"
#include "ui/dialogs/FrmBrowse.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGroupBox>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QStyleFactory>

#include <algorithm>
#include <exception>

namespace glintmark::ui {

namespace {

constexpr qreal kSmallPt = 9.75;
constexpr qreal kLargePt = 12.0;

// Removes leading and trailing spaces (only spaces: a path may hold other blanks).
QString trimSpaces(const QString& text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first) == QLatin1Char(' '))
        ++first;
    while (last > first && text.at(last - 1) == QLatin1Char(' '))
        --last;
    return text.mid(first, last - first);
}

// Labels take the size of their text and keep their top left corner.
void sizeToText(QLabel* label)
{
    label->resize(label->sizeHint());
}

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, const QRect& geometry,
                  qreal pointSize)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setFont(classicFont(pointSize));
    label->setGeometry(geometry);
    sizeToText(label);
    return label;
}

QLineEdit* makeTextBox(QWidget* parent, const char* name, const QRect& geometry)
{
    auto* box = new QLineEdit(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setFont(classicFont(kSmallPt));
    box->setGeometry(geometry);
    // Only the choosers write the paths; the user cannot type into them.
    box->setEnabled(false);
    PathBox::prepare(box, parent->palette());
    return box;
}

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption,
                        const QRect& geometry, qreal pointSize)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setFont(classicFont(pointSize));
    button->setGeometry(geometry);
    // Enter presses only the focused button, Esc none.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

// Frames are drawn the classic way, with the border line running through the caption, which is
// what the layout's positions inside the frames assume. Only the frames themselves use it.
QStyle* classicFrameStyle()
{
    static QPointer<QStyle> style;
    if (!style) {
        style = QStyleFactory::create(QStringLiteral("Windows"));
        if (style)
            style->setParent(qApp);
    }
    return style;
}

QGroupBox* makeFrame(QWidget* parent, const char* name, const QString& caption,
                     const QRect& geometry)
{
    auto* frame = new QGroupBox(caption, parent);
    frame->setObjectName(QString::fromLatin1(name));
    if (QStyle* style = classicFrameStyle())
        frame->setStyle(style);
    frame->setGeometry(geometry);
    return frame;
}

} // namespace

FrmMain::FrmMain(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("FrmMain"));
    setWindowTitle(windowCaption());
    setWindowIcon(QIcon(QStringLiteral(":/glintmark.ico")));
    // On Windows the close button comes with the system menu: without its hint there is none.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(twips::size(8220, 4560));
    buildControls();
}

FrmMain::~FrmMain() = default;

QString FrmMain::windowCaption()
{
    return QStringLiteral("Glintmark : Version 1.0.0 (Beta)");
}

void FrmMain::buildControls()
{
    // Frames first: everything created afterwards on the window lies in front of them.
    FraLogo = makeFrame(this, "FraLogo", QString(), twips::rect(120, 120, 2610, 4245));
    ImgLogo = new QLabel(FraLogo);
    ImgLogo->setObjectName(QStringLiteral("ImgLogo"));
    ImgLogo->setGeometry(twips::rect(30, 120, 2520, 4065));
    ImgLogo->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    ImgLogo->setPixmap(QPixmap(QStringLiteral(":/logo.bmp")));

    fraMain = makeFrame(this, "fraMain", QString(), twips::rect(2760, 120, 5310, 1890));
    lblSource = makeLabel(fraMain, "lblSource", QStringLiteral("Source File"),
                          twips::rect(120, 240, 1020, 240), kSmallPt);
    lblExtract = makeLabel(fraMain, "lblExtract", QStringLiteral("Extraction Folder"),
                           twips::rect(120, 1050, 1500, 240), kSmallPt);

    FraProccess = makeFrame(this, "FraProccess", QStringLiteral("&Progress"),
                            twips::rect(2760, 2760, 5295, 1605));
    FraProccess->setFont(classicFont(kLargePt));
    lblPerc =
        makeLabel(FraProccess, "lblPerc", QString(), twips::rect(2160, 360, 540, 300), kLargePt);

    txtSource = makeTextBox(this, "txtSource", twips::rect(2880, 630, 4335, 315));
    CmdInBrowse = makeButton(this, "CmdInBrowse", QStringLiteral("..."),
                             twips::rect(7245, 630, 690, 315), kLargePt);
    txtExtract = makeTextBox(this, "txtExtract", twips::rect(2880, 1440, 4335, 315));
    CmdOutBrowse = makeButton(this, "CmdOutBrowse", QStringLiteral("..."),
                              twips::rect(7245, 1440, 690, 315), kLargePt);
    // Stored hidden; the load step shows it.
    CmdOutBrowse->setVisible(false);
    CmdAbout = makeButton(this, "CmdAbout", QStringLiteral("&About"),
                          twips::rect(4800, 2160, 1575, 495), kSmallPt);
    CmdExtract = makeButton(this, "CmdExtract", QStringLiteral("&Extract"),
                            twips::rect(6480, 2160, 1575, 495), kSmallPt);

    ProgBar = new QProgressBar(this);
    ProgBar->setObjectName(QStringLiteral("ProgBar"));
    ProgBar->setGeometry(twips::rect(2880, 3480, 4995, 255));
    ProgBar->setRange(0, 100);
    ProgBar->setValue(0);
    ProgBar->setTextVisible(false);

    CommDiag = new ui::CommDiag(this);

    for (QWidget* front : {static_cast<QWidget*>(txtSource), static_cast<QWidget*>(CmdInBrowse),
                           static_cast<QWidget*>(txtExtract), static_cast<QWidget*>(CmdOutBrowse),
                           static_cast<QWidget*>(ProgBar)})
        front->raise();

    // Only the four buttons take the focus; the source "..." comes first.
    setTabOrder(CmdInBrowse, CmdOutBrowse);
    setTabOrder(CmdOutBrowse, CmdExtract);
    setTabOrder(CmdExtract, CmdAbout);
    CmdInBrowse->setFocus();

    connect(CmdInBrowse, &QPushButton::clicked, this, &FrmMain::CmdInBrowse_Click);
    connect(CmdOutBrowse, &QPushButton::clicked, this, &FrmMain::CmdOutBrowse_Click);
    connect(CmdAbout, &QPushButton::clicked, this, &FrmMain::CmdAbout_Click);
    connect(CmdExtract, &QPushButton::clicked, this, &FrmMain::CmdExtract_Click);
}

void FrmMain::showCentred()
{
    WindowRefs::showCentred(this);
}

glintmark::ExtractJob FrmMain::extractJob() const
{
    glintmark::ExtractJob job;
    job.sourceFile = platform::toPath(strSourceFile);
    // The prefix is the folder with its separator, then the stem: the folder keeps its text as
    // typed, so the paths the run reports read exactly as folder and stem joined.
    job.outputFolder = strOutPrefix;
    job.outputFolder.remove_filename();
    job.stem = strOutPrefix.filename();
    job.outExt = strOutExt;
    job.signature = strSignature;
    job.blockSize = m_blockSize;
    return job;
}

void FrmMain::Form_Load()
{
    btnFlat(CmdInBrowse);
    btnFlat(CmdOutBrowse);
    btnFlat(CmdExtract);
    btnFlat(CmdAbout);
}

void FrmMain::Form_Unload()
{
    m_unloaded = true;
    // A run on the stack still uses this window: it stops at its next block and the window
    // goes once it has returned.
    if (m_running)
        m_stopRequested = true;
    else
        deleteLater();
    WindowRefs::clearMain();
}

void FrmMain::closeEvent(QCloseEvent* event)
{
    Form_Unload();
    WindowRefs::unloadSecondaries();
    event->accept();
    QCoreApplication::quit();
}

void FrmMain::changeEvent(QEvent* event)
{
    // A new palette (another theme) gets the path boxes' text made readable again.
    if (event->type() == QEvent::PaletteChange && txtSource && txtExtract) {
        const QPalette readable = PathBox::readablePalette(palette());
        txtSource->setPalette(readable);
        txtExtract->setPalette(readable);
    }
    QWidget::changeEvent(event);
}

void FrmMain::keyPressEvent(QKeyEvent* event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && event->modifiers() == Qt::NoModifier) {
        auto* button = qobject_cast<QPushButton*>(focusWidget());
        if (button && button->window() == this && button->isEnabled()) {
            button->click();
            return;
        }
    }
    QWidget::keyPressEvent(event);
}

void FrmMain::CmdInBrowse_Click()
{
    CommDiag->setFlags(ui::CommDiag::cdlOFNHideReadOnly);
    CommDiag->setFilter(QStringLiteral("Vorlesk Level Database (*.ldb)|*.ldb"));
    CommDiag->showOpen();
    // A cancel leaves the file name as it was, so these steps run after a cancel too.
    showChosenSource();
}

void FrmMain::chooseSource(const QString& file)
{
    CommDiag->setFileName(file);
    showChosenSource();
}

void FrmMain::showChosenSource()
{
    txtSource->setText(CommDiag->fileName());
    strSourceFile = txtSource->text();
    CmdExtract->setEnabled(true);
}

void FrmMain::CmdOutBrowse_Click()
{
    WindowRefs::showSecondary(WindowRefs::frmBrowse());
}

void FrmMain::CmdAbout_Click()
{
    WindowRefs::showSecondary(WindowRefs::frmAbout());
}

void FrmMain::CmdExtract_Click()
{
    // A press during a run (while it yields) is ignored: the run holds its own copy of the job.
    if (m_running)
        return;
    // Both boxes hold names exactly as the choosers wrote them, which the user cannot type over:
    // a name that ends in a space is that name, not another file or folder beside it.
    strOutPrefix = glintmark::AddSlash(platform::toPath(txtExtract->text()));
    strOutPrefix += std::string(glintmark::kImageStem);
    strOutExt = std::string(glintmark::kImageExt);
    strSourceFile = txtSource->text();
    strSignature = glintmark::HexToBytes(glintmark::kJfifSignatureHex);
    ExtractTextures();
}

void FrmMain::ExtractTextures()
{
    if (m_running)
        return;
    // Nothing to do until both paths are there. A folder of spaces only counts as none: it
    // would otherwise name the file-system root.
    if (txtSource->text().isEmpty() || txtExtract->text().isEmpty() ||
        trimSpaces(txtExtract->text()).isEmpty())
        return;

    const glintmark::ExtractJob job = extractJob();
    m_running = true;
    m_stopRequested = false;
    glintmark::ExtractResult result;
    QString failure;
    try {
        result = glintmark::runExtraction(job, this);
        if (result.status == glintmark::RunStatus::Failed) {
            failure = result.error ? platform::fromUtf8(result.error->message)
                                   : tr("The extraction failed.");
        }
    } catch (const std::exception& e) {
        result.status = glintmark::RunStatus::Failed;
        failure = tr("The extraction failed: %1").arg(platform::fromUtf8(e.what()));
    }
    m_running = false;

    // The window was closed during the run: it says nothing more and goes now.
    if (m_unloaded) {
        deleteLater();
        return;
    }
    if (result.status == glintmark::RunStatus::Failed) {
        // A run that failed before reading anything has extracted nothing worth counting.
        if (!glintmark::failedBeforeReading(result))
            failure += QStringLiteral("\n\nTextures extracted before the failure: ") +
                       QString::number(result.count);
        MsgBox::warning(this, failure, QStringLiteral("Glintmark"));
        return;
    }
    if (result.status == glintmark::RunStatus::Completed) {
        MsgBox::information(this,
                            QLatin1Char(' ') + QString::number(result.count) +
                                QStringLiteral(" Textures Extracted"),
                            QStringLiteral("Done!"));
    }
}

bool FrmMain::onProgress(const glintmark::Progress& progress)
{
    if (m_stopRequested)
        return false;
    showPercent(progress.percent);
    return yieldToEvents();
}

bool FrmMain::onWaiting()
{
    // A source that sends nothing (a pipe whose writer is silent or not there yet) must not
    // freeze the windows: they go on taking clicks, and a close stops the run here.
    if (m_stopRequested)
        return false;
    return yieldToEvents();
}

bool FrmMain::yieldToEvents()
{
    // The main window may be closed meanwhile.
    QCoreApplication::processEvents();
    return !m_stopRequested;
}

void FrmMain::showPercent(int percent)
{
    lblPerc->setText(QLatin1Char(' ') + QString::number(percent) + QStringLiteral(" % Done"));
    sizeToText(lblPerc);
    ProgBar->setValue(std::clamp(percent, 0, 100));
}

} // namespace glintmark::ui
