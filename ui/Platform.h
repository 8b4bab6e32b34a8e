#pragma once

#include <QString>
#include <QStringList>

#include <filesystem>

class QWidget;

namespace glintmark::ui {

// The thin layer between window code and the operating system. Everything that differs
// between Windows, macOS and Linux outside Qt itself lives behind these functions.
namespace platform {

// A path typed or chosen in a window, as the engine's file-system path, byte for byte as
// fromPath() or fromArgument() spelled it (no narrowing on Windows).
std::filesystem::path toPath(const QString& text);

// A file-system path as text for a window, which toPath() turns back into the same path: on
// Linux and macOS a byte that is not part of well-formed UTF-8 is kept as the lone surrogate
// U+DC80 + (byte - 0x80), so a name that is not UTF-8 survives the trip.
QString fromPath(const std::filesystem::path& path);

// A command-line argument as text for a window, a file name kept as fromPath() keeps it.
QString fromArgument(const char* argument);

// A path that Qt's file dialog or file lists gave, whose names Qt reads with U+FFFD in place of
// bytes that are not UTF-8, as the text of the file it stands for (as fromPath() spells it): a
// part that does not exist as spelled is matched against the entries of its folder and taken
// when exactly one reads the same. Any other path comes back unchanged.
QString exactName(const QString& shown);

// True when `folder` (as toPath() reads it) is a folder whose entries can be listed.
bool isReadableFolder(const QString& folder);

// The names of the folders in `folder`, links to folders included and hidden ones left out,
// by name without regard to case, each spelled as fromPath() spells it.
QStringList subfolderNames(const QString& folder);

// Text that came from the engine (UTF-8), for a window.
QString fromUtf8(const std::string& text);

// Points the settings files of the process (Qt's own file dialog keeps one) where nothing can
// be found or created, so the program reads and writes no settings. Safe to call often.
void keepNoSettings();

// Makes a file size limit fail the write that hits it, with its reason, instead of ending the
// program (and leaving the image being written unfinished). Nothing to do where there are none.
void ignoreFileSizeSignal();

// The file type list of the system's open dialog for Qt-style entries ("description (*.a *.b)"):
// each entry as shown, a NUL, its patterns joined by ";", a NUL; the list ends with one more NUL.
// An entry without patterns in parentheses is left out.
QString systemOpenFilter(const QStringList& nameFilters);

// True where the open dialog is the system's own (Windows) rather than Qt's.
bool hasSystemOpenDialog();

#ifdef _WIN32
// The option bits for the system's open dialog: the caller's bits (such as the one hiding the
// read-only check box), plus those that keep the current folder and the recent documents as
// they are. Any name the user confirms is accepted, as with Qt's dialog elsewhere.
unsigned long systemOpenFlags(int flags);
#endif

// Shows the system's own modal open dialog above owner's window, opening in startFolder, and
// returns the full path confirmed, or an empty string for a cancel. Nothing is stored anywhere
// by this program. Where there is no system dialog (hasSystemOpenDialog() is false), returns an
// empty string at once.
QString showSystemOpenDialog(QWidget* owner, const QStringList& nameFilters,
                             const QString& startFolder, int flags);

} // namespace platform

} // namespace glintmark::ui
