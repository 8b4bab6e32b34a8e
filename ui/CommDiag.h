#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class QFileDialog;
class QWidget;

// The open-file dialog component of the main window: the four operations the source file
// chooser uses, over Qt's own (non-native) file dialog, so it looks and behaves the same on
// every platform. It keeps the file name confirmed last for as long as it lives.
//
// The dialog accepts any name the user confirms, also one that does not exist or does not
// match the filter; the extraction run finds out about a wrong name later.
class CommDiag : public QObject
{
    Q_OBJECT
public:
    // Hides the read-only check box. Qt's dialog never has one, so this flag changes nothing
    // that can be seen; the dialog is always opened with QFileDialog::ReadOnly off. Other flag
    // bits are kept but have no effect either.
    static constexpr int cdlOFNHideReadOnly = 4;

    // Runs a prepared open dialog and returns its QDialog result code.
    using DialogRunner = std::function<int(QFileDialog& dialog)>;

    explicit CommDiag(QWidget* owner);

    // The object name the open dialog carries while it is shown.
    static QString dialogObjectName();

    // Sets the dialog's option flags.
    void setFlags(int flags);
    // The option flags set last.
    int flags() const;
    // Sets the file type list from "description|pattern|description|pattern..." text.
    void setFilter(const QString& filter);
    // Shows the modal open dialog; returns when the user confirms a file or cancels.
    void showOpen();
    // The full path of the file confirmed last; empty before the first confirmation.
    QString fileName() const;
    // The folder the dialog opens in: that of the file confirmed last while it still exists,
    // otherwise the current folder. Nothing of it outlives the program.
    QString startFolder() const;

    // The dialog's file type entries for a filter text: one "description (patterns)" entry a
    // pair, patterns separated by spaces; a description without a pattern is left out.
    static QStringList nameFilters(const QString& filter);

    // Replaces the way the open dialog is run (normally QDialog::exec); an empty runner
    // restores the normal way. Lets tests drive the real dialog without a nested event loop.
    static void setDialogRunner(DialogRunner runner);

private:
    QWidget* m_owner;
    int m_flags = 0;
    QString m_filter;
    QString m_fileName;
};
