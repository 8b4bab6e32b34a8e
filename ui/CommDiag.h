#pragma once

#include <QObject>
#include <QString>

class QWidget;

// The open-file dialog component of the main window: the four operations the source file
// chooser uses, over Qt's own (non-native) file dialog.
class CommDiag : public QObject
{
    Q_OBJECT
public:
    // Hides the read-only check box (the dialog has none; kept for the flag's meaning).
    static constexpr int cdlOFNHideReadOnly = 4;

    explicit CommDiag(QWidget* owner);

    // Sets the dialog's option flags.
    void setFlags(int flags);
    // Sets the file type list from "description|pattern|description|pattern..." text.
    void setFilter(const QString& filter);
    // Shows the modal open dialog; returns when the user confirms a file or cancels.
    void showOpen();
    // The full path of the file confirmed last; empty before the first confirmation.
    QString fileName() const;

private:
    QWidget* m_owner;
    int m_flags = 0;
    QString m_filter;
    QString m_fileName;
};
