#pragma once

#include <QMap>
#include <QString>
#include <QVariant>

#include <filesystem>

// The thin layer between window code and the operating system. Everything that differs
// between Windows, macOS and Linux outside Qt itself lives behind these functions.
namespace platform {

// A path typed or chosen in a window, as the engine's file-system path (no narrowing on Windows).
std::filesystem::path toPath(const QString& text);

// An engine path or message, as text for a window.
QString fromPath(const std::filesystem::path& path);

// Text that came from the engine (UTF-8), for a window.
QString fromUtf8(const std::string& text);

// Points the settings files of the process (Qt's own file dialog keeps one) where nothing can
// be found or created, so the program reads and writes no settings. Safe to call often.
void keepNoSettings();

// Makes a file size limit fail the write that hits it, with its reason, instead of ending the
// program (and leaving the image being written unfinished). Nothing to do where there are none.
void ignoreFileSizeSignal();

// While it lives, Qt's file dialog finds none of its settings (folder history, last folder),
// and what it saves meanwhile is undone when it goes. Where keepNoSettings cannot point them
// elsewhere (the Windows registry, macOS preferences), those settings are shared with every
// other Qt program, and are put back as they were.
class DialogSettingsKeeper
{
public:
    DialogSettingsKeeper();
    ~DialogSettingsKeeper();
    DialogSettingsKeeper(const DialogSettingsKeeper&) = delete;
    DialogSettingsKeeper& operator=(const DialogSettingsKeeper&) = delete;

private:
    QMap<QString, QVariant> m_saved;
};

} // namespace platform
