#include "MessageBoxCatcher.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QPointer>
#include <QTimer>

MessageBoxCatcher::MessageBoxCatcher()
{
    qApp->installEventFilter(this);
}

MessageBoxCatcher::~MessageBoxCatcher()
{
    qApp->removeEventFilter(this);
}

bool MessageBoxCatcher::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Show) {
        if (auto* box = qobject_cast<QMessageBox*>(watched)) {
            const qsizetype index = m_shown.size();
            m_shown.append({box->windowTitle(), box->text(), box->icon(), false});
            // Dismiss it from the box's own event loop, the way a user would press OK; by then
            // it must be the widget that blocks the rest of the program.
            QTimer::singleShot(0, box, [this, index, guard = QPointer<QMessageBox>(box)] {
                if (!guard)
                    return;
                m_shown[index].modal = QApplication::activeModalWidget() == guard.data();
                const auto* label = guard->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
                m_shown[index].rewrapped = label && label->wordWrap();
                guard->button(QMessageBox::Ok)->click();
            });
        }
    }
    return QObject::eventFilter(watched, event);
}
