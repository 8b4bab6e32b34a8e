// The system's own open dialog on Windows. Qt's file dialog saves its folder history into a
// registry group every Qt program shares, whatever it is told; the system's dialog keeps
// nothing of ours.
#include "ui/Platform.h"

#include <QDir>
#include <QGuiApplication>
#include <QWidget>

#ifdef _WIN32
#include <windows.h>

#include <commdlg.h>

#include <vector>
#endif

namespace glintmark::ui {

namespace platform {

QString systemOpenFilter(const QStringList& nameFilters)
{
    QString filter;
    for (const QString& entry : nameFilters) {
        const QString trimmed = entry.trimmed();
        const qsizetype open = trimmed.lastIndexOf(QLatin1Char('('));
        if (open < 0 || !trimmed.endsWith(QLatin1Char(')')))
            continue;
        const QStringList patterns = trimmed.mid(open + 1, trimmed.size() - open - 2)
                                         .split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (patterns.isEmpty())
            continue;
        filter += trimmed + QChar(0) + patterns.join(QLatin1Char(';')) + QChar(0);
    }
    return filter + QChar(0);
}

#ifdef _WIN32

bool hasSystemOpenDialog()
{
    return true;
}

unsigned long systemOpenFlags(int flags)
{
    return static_cast<unsigned long>(flags) | OFN_EXPLORER | OFN_ENABLESIZING | OFN_NOCHANGEDIR |
           OFN_DONTADDTORECENT;
}

QString showSystemOpenDialog(QWidget* owner, const QStringList& nameFilters,
                             const QString& startFolder, int flags)
{
    const std::wstring filter = systemOpenFilter(nameFilters).toStdWString();
    const std::wstring folder = QDir::toNativeSeparators(startFolder).toStdWString();
    // Room for the longest path Windows knows, plus the terminator.
    std::vector<wchar_t> name(32768, L'\0');

    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    // Only the Windows platform has real window handles (not the offscreen one, for instance).
    const bool handles = QGuiApplication::platformName() == QLatin1String("windows");
    dialog.hwndOwner =
        owner && handles ? reinterpret_cast<HWND>(owner->window()->winId()) : nullptr;
    dialog.lpstrFilter = filter.size() > 1 ? filter.c_str() : nullptr;
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = name.data();
    dialog.nMaxFile = static_cast<DWORD>(name.size());
    dialog.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    dialog.Flags = systemOpenFlags(flags);
    if (!GetOpenFileNameW(&dialog)) {
        // A cancel reports no error; anything else is said where a developer looks for it.
        if (const DWORD error = CommDlgExtendedError())
            qWarning("glintmark: the open dialog failed (common dialog error %lu)", error);
        return QString();
    }
    return QString::fromWCharArray(name.data());
}

#else

bool hasSystemOpenDialog()
{
    return false;
}

QString showSystemOpenDialog(QWidget*, const QStringList&, const QString&, int)
{
    return QString();
}

#endif

} // namespace platform

} // namespace glintmark::ui
