#pragma once

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QString>

// Watches for message boxes while it lives, records each one and dismisses it with OK as soon
// as it is up, so a test can go through code that waits for the user.
class MessageBoxCatcher : public QObject
{
    Q_OBJECT
public:
    struct Shown
    {
        QString title;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        bool modal = false;
        // The box had to wrap the text's lines again itself, wherever its breaks fell.
        bool rewrapped = false;
    };

    MessageBoxCatcher();
    ~MessageBoxCatcher() override;

    // The boxes shown so far, oldest first.
    const QList<Shown>& shown() const { return m_shown; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QList<Shown> m_shown;
};
