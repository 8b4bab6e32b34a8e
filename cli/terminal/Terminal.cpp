#include "cli/terminal/Terminal.h"

#include "cli/terminal/Signals.h"

#include <algorithm>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <cstdio>
#include <io.h>
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace glintmark::cli {
namespace {

constexpr int kUsualColumns = 80;

// What the system says the width of the terminal on standard error (or standard output) is;
// `usual` when it says nothing.
int askColumns(bool output = false, int usual = kUsualColumns)
{
#ifdef _WIN32
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (GetConsoleScreenBufferInfo(GetStdHandle(output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE),
                                   &info) == 0)
        return usual;
    const int columns = info.srWindow.Right - info.srWindow.Left + 1;
#else
    winsize size{};
    if (::ioctl(output ? STDOUT_FILENO : STDERR_FILENO, TIOCGWINSZ, &size) != 0)
        return usual;
    const int columns = size.ws_col;
#endif
    return columns > 0 ? columns : usual;
}

} // namespace

bool stderrIsTerminal()
{
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}

bool stdoutIsTerminal()
{
#ifdef _WIN32
    return _isatty(_fileno(stdout)) != 0;
#else
    return isatty(STDOUT_FILENO) != 0;
#endif
}

int stderrColumns()
{
#ifdef _WIN32
    return askColumns();
#else
    static int columns = 0;
    if (columns == 0 || takeTerminalResized())
        columns = askColumns();
    return columns;
#endif
}

int helpColumns(int widest, int usual)
{
    if (!stdoutIsTerminal())
        return usual;
    return std::min(widest, askColumns(true, usual));
}

} // namespace glintmark::cli
