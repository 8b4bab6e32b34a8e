#pragma once

#include <QWidget>

class QFrame;
class QLabel;
class QPushButton;

namespace glintmark::ui {

// The About window: program name on a coloured band, the icon on a strip down the left, and a
// sunken panel with author, contact address and version. "&Close" hides it.
class FrmAbout : public QWidget
{
    Q_OBJECT
public:
    explicit FrmAbout(QWidget* parent = nullptr);

    // The colour of the top band behind the program name.
    static QColor bandColour();

    // The window's elements, named as in its layout, from back to front.
    QWidget* Shape1 = nullptr;
    QLabel* Image1 = nullptr;
    QWidget* Shape2 = nullptr;
    QLabel* Label1 = nullptr;
    QFrame* Picture1 = nullptr;
    QLabel* lblAuthor = nullptr;
    QLabel* lblEmail = nullptr;
    QLabel* lblVersion = nullptr;
    QPushButton* CmdClose = nullptr;

private:
    QLabel* addLabel(QWidget* container, const char* name, const QString& text, int left, int top,
                     qreal pointSize);
    void Form_Load();
    void CmdClose_Click();
};

} // namespace glintmark::ui
