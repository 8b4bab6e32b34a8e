#include "ui/dialogs/FrmBrowse.h"

FrmBrowse::FrmBrowse(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("FrmBrowse"));
}
