#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

namespace glintmark::ui {

// The open-file dialog component of the main window: the four operations the source file
// chooser uses. On Windows it shows the system's own open dialog; elsewhere Qt's own
// (non-native) file dialog. It keeps the file name confirmed last for as long as it lives.
//
// The dialog accepts any name the user confirms, also one that does not exist or does not
// match the filter; the extraction run finds out about a wrong name later.
class CommDiag : public QObject
{
    Q_OBJECT
public:
    // Hides the read-only check box. The system's dialog takes the flags as they are; Qt's
    // dialog never has the check box, and is always opened with QFileDialog::ReadOnly off.
    static constexpr int cdlOFNHideReadOnly = 4;

    // What an open dialog is asked to show.
    struct OpenRequest
    {
        // The file type entries, as nameFilters() gives them.
        QStringList nameFilters;
        // The folder it opens in (startFolder()).
        QString startFolder;
        // The option flags (flags()).
        int flags = 0;
    };

    // Answers an open dialog: the full path confirmed, or an empty string for a cancel.
    using DialogRunner = std::function<QString(const OpenRequest& request)>;

    explicit CommDiag(QWidget* owner);

    // The object name the open dialog carries while it is shown.
    static QString dialogObjectName();

    // Sets the option flags (cdl* values) that the next open dialog is shown with.
    void setFlags(int flags);
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

    // The request the next showOpen() makes.
    OpenRequest openRequest() const;

    // Answers the open dialog in place of the user (tests); an empty runner shows the real
    // dialog again.
    static void setDialogRunner(DialogRunner runner);

    // Takes a file as if the user had confirmed it in the dialog (a file named on the command
    // line): kept as a full path with the system's separators.
    void setFileName(const QString& file);

private:
    QString runDialog(const OpenRequest& request);

    QWidget* m_owner;
    int m_flags = 0;
    QString m_filter;
    QString m_fileName;
};

} // namespace glintmark::ui
