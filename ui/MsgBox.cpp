#include "ui/MsgBox.h"

#include <QMessageBox>

namespace MsgBox {
namespace {

void show(QWidget* parent, QMessageBox::Icon icon, const QString& text, const QString& title)
{
    // The text is shown as it stands: leading spaces and file names must not be read as markup.
    QMessageBox box(icon, title, text, QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("MsgBox"));
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Ok);
    box.exec();
}

} // namespace

void information(QWidget* parent, const QString& text, const QString& title)
{
    show(parent, QMessageBox::Information, text, title);
}

void warning(QWidget* parent, const QString& text, const QString& title)
{
    show(parent, QMessageBox::Warning, text, title);
}

} // namespace MsgBox
