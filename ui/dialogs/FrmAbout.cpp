#include "ui/dialogs/FrmAbout.h"

#include "ui/BtnFlat.h"
#include "ui/ClassicFont.h"
#include "ui/Twips.h"
#include "ui/dialogs/ProgramIcon.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>

namespace glintmark::ui {

namespace {

// A filled rectangle without a border.
QWidget* addShape(QWidget* window, const char* name, const QRect& geometry, const QColor& colour)
{
    auto* shape = new QWidget(window);
    shape->setObjectName(QString::fromLatin1(name));
    shape->setGeometry(geometry);
    QPalette palette = shape->palette();
    palette.setColor(QPalette::Window, colour);
    shape->setPalette(palette);
    shape->setAutoFillBackground(true);
    return shape;
}

} // namespace

FrmAbout::FrmAbout(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("FrmAbout"));
    setWindowTitle(QStringLiteral("About"));
    setWindowIcon(programIcon());
    setFixedSize(twips::size(5310, 2775));

    // Built from back to front: a later sibling lies in front of an earlier one. The strip
    // and the band reach past the window's edges and are cut off there.
    Shape1 =
        addShape(this, "Shape1", twips::rect(0, 0, 735, 3375), palette().color(QPalette::Base));

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(twips::rect(120, 120, 480, 480));
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Image1->setScaledContents(false);
    Image1->setPixmap(programIconImage(32));

    Shape2 = addShape(this, "Shape2", twips::rect(720, 0, 4695, 615), bandColour());

    Label1 = addLabel(this, "Label1", QStringLiteral("Glintmark"), 840, 120, 18);
    QPalette titlePalette = Label1->palette();
    titlePalette.setColor(QPalette::WindowText, QColor(255, 255, 255));
    Label1->setPalette(titlePalette);

    Picture1 = new QFrame(this);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->setGeometry(twips::rect(840, 840, 4335, 1215));
    Picture1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Picture1->setLineWidth(2);
    // Reached with Tab and holding the focus when the window opens; a click changes nothing.
    Picture1->setFocusPolicy(Qt::TabFocus);

    lblAuthor =
        addLabel(Picture1, "lblAuthor", QStringLiteral("Program Author: Veldrane"), 120, 120, 9.75);
    lblEmail = addLabel(Picture1, "lblEmail", QStringLiteral("Email Address: veldrane@example.com"),
                        120, 480, 9.75);
    lblVersion = addLabel(Picture1, "lblVersion", QStringLiteral("Program Version: 1.0.0 (Beta)"),
                          120, 840, 9.75);

    CmdClose = new QPushButton(QStringLiteral("&Close"), this);
    CmdClose->setObjectName(QStringLiteral("CmdClose"));
    CmdClose->setGeometry(twips::rect(3600, 2160, 1575, 495));
    CmdClose->setFont(classicFont(9.75));
    // Enter presses the button only while it has the focus; it is never the window's default.
    CmdClose->setAutoDefault(true);
    CmdClose->setDefault(false);

    setTabOrder(Picture1, CmdClose);
    Picture1->setFocus();

    connect(CmdClose, &QPushButton::clicked, this, &FrmAbout::CmdClose_Click);

    Form_Load();
}

QColor FrmAbout::bandColour()
{
    return QColor(160, 166, 218);
}

QLabel* FrmAbout::addLabel(QWidget* container, const char* name, const QString& text, int left,
                           int top, qreal pointSize)
{
    auto* label = new QLabel(text, container);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    label->setFont(classicFont(pointSize));
    // Positions inside the panel count from the inside of its border.
    const auto* frame = qobject_cast<const QFrame*>(container);
    const int inset = frame ? frame->frameWidth() : 0;
    label->move(twips::px(left) + inset, twips::px(top) + inset);
    // The label sizes itself to its text.
    label->adjustSize();
    return label;
}

void FrmAbout::Form_Load()
{
    btnFlat(CmdClose);
}

void FrmAbout::CmdClose_Click()
{
    hide();
}

} // namespace glintmark::ui
