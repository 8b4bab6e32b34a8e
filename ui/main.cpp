#include "ui/FrmMain.h"
#include "ui/WindowRefs.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    FrmMain* window = WindowRefs::frmMain();
    window->show();
    const int code = app.exec();
    WindowRefs::unloadSecondaries();
    delete window;
    return code;
}
