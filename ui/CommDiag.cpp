#include "ui/CommDiag.h"

#include <QWidget>

CommDiag::CommDiag(QWidget* owner) : QObject(owner), m_owner(owner)
{
    setObjectName(QStringLiteral("CommDiag"));
}

void CommDiag::setFlags(int flags)
{
    m_flags = flags;
}

void CommDiag::setFilter(const QString& filter)
{
    m_filter = filter;
}

// TODO(dialogs): show Qt's file dialog.
void CommDiag::showOpen() {}

QString CommDiag::fileName() const
{
    return m_fileName;
}
