#include "ui/CommDiag.h"

#include "ui/Platform.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QPointer>
#include <QWidget>

namespace glintmark::ui {

namespace {

CommDiag::DialogRunner& dialogRunner()
{
    static CommDiag::DialogRunner runner;
    return runner;
}

} // namespace

CommDiag::CommDiag(QWidget* owner) : QObject(owner), m_owner(owner)
{
    setObjectName(QStringLiteral("CommDiag"));
}

QString CommDiag::dialogObjectName()
{
    return QStringLiteral("CommDiagOpen");
}

void CommDiag::setFlags(int flags)
{
    m_flags = flags;
}

int CommDiag::flags() const
{
    return m_flags;
}

void CommDiag::setFilter(const QString& filter)
{
    m_filter = filter;
}

void CommDiag::showOpen()
{
    // The dialog belongs to the owner window; if that window (and with it this component) is
    // destroyed while the dialog runs, nothing may be touched afterwards.
    const QPointer<CommDiag> self(this);
    const OpenRequest request = openRequest();
    const DialogRunner& runner = dialogRunner();
    const QString chosen = runner ? runner(request) : runDialog(request);
    if (!self)
        return;
    // A cancel, or a confirmation without a name, keeps the file confirmed before. Qt's dialog
    // shows a name that is not UTF-8 with U+FFFD in it; it is taken back to the name on disk.
    if (!chosen.isEmpty())
        m_fileName = QDir::toNativeSeparators(platform::exactName(chosen));
}

CommDiag::OpenRequest CommDiag::openRequest() const
{
    return OpenRequest{nameFilters(m_filter), startFolder(), m_flags};
}

QString CommDiag::runDialog(const OpenRequest& request)
{
    if (platform::hasSystemOpenDialog())
        return platform::showSystemOpenDialog(m_owner, request.nameFilters, request.startFolder,
                                              request.flags);

    // Qt's dialog would restore its last folder and history from the user's settings and save
    // them when it goes; this program keeps nothing between runs.
    platform::keepNoSettings();
    const QPointer<QFileDialog> dialog = new QFileDialog(m_owner);
    dialog->setObjectName(dialogObjectName());
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    dialog->setOption(QFileDialog::ReadOnly, false);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::AnyFile);
    if (!request.nameFilters.isEmpty())
        dialog->setNameFilters(request.nameFilters);
    dialog->setDirectory(request.startFolder);

    // Nothing of this component is touched after exec: its owner may be gone by then.
    const int result = dialog->exec();
    QString chosen;
    if (dialog && result == QDialog::Accepted && !dialog->selectedFiles().isEmpty())
        chosen = dialog->selectedFiles().constFirst();
    delete dialog.data();
    return chosen;
}

void CommDiag::setFileName(const QString& file)
{
    m_fileName =
        file.isEmpty() ? QString() : QDir::toNativeSeparators(QFileInfo(file).absoluteFilePath());
}

QString CommDiag::startFolder() const
{
    const QFileInfo source(m_fileName);
    if (!m_fileName.isEmpty() && source.absoluteDir().exists())
        return source.absolutePath();
    return QDir::currentPath();
}

QString CommDiag::fileName() const
{
    return m_fileName;
}

QStringList CommDiag::nameFilters(const QString& filter)
{
    QStringList entries;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts.at(i).trimmed();
        const QStringList patternList = parts.at(i + 1).split(QLatin1Char(';'), Qt::SkipEmptyParts);
        QStringList patterns;
        for (const QString& pattern : patternList) {
            if (!pattern.trimmed().isEmpty())
                patterns.append(pattern.trimmed());
        }
        if (patterns.isEmpty())
            continue;
        const QString joined = patterns.join(QLatin1Char(' '));
        const QString tail = QLatin1Char('(') + joined + QLatin1Char(')');
        const QString writtenTail = QLatin1Char('(') + parts.at(i + 1).trimmed() + QLatin1Char(')');
        // Qt reads the patterns from the entry's last parentheses; a description that already
        // ends with them is used as it stands, with ";" between patterns read as a space.
        if (description.endsWith(tail))
            entries.append(description);
        else if (description.endsWith(writtenTail))
            entries.append(description.chopped(writtenTail.size()) + tail);
        else if (description.isEmpty())
            entries.append(joined + QLatin1Char(' ') + tail);
        else
            entries.append(description + QLatin1Char(' ') + tail);
    }
    return entries;
}

void CommDiag::setDialogRunner(DialogRunner runner)
{
    dialogRunner() = std::move(runner);
}

} // namespace glintmark::ui
