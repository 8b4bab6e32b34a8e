#include "ui/dialogs/FrmAbout.h"

FrmAbout::FrmAbout(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("FrmAbout"));
}
