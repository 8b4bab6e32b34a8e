#include "cli/terminal/Terminal.h"

#include "cli/terminal/Signals.h"

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

// What the system says the terminal's width is; kUsualColumns when it says nothing.
int askColumns()
{
#ifdef _WIN32
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info) == 0)
        return kUsualColumns;
    const int columns = info.srWindow.Right - info.srWindow.Left + 1;
#else
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0)
        return kUsualColumns;
    const int columns = size.ws_col;
#endif
    return columns > 0 ? columns : kUsualColumns;
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

} // namespace glintmark::cli
