#include "ui/FrmMain.h"

FrmMain::FrmMain(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("FrmMain"));
}
