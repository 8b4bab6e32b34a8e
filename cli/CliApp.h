#pragma once

#include <functional>
#include <iosfwd>

namespace glintmark::cli {

// What the extractor needs to know about the place it runs in.
struct CliEnvironment
{
    // Whether the error stream is a terminal; only then is a progress bar drawn on it.
    bool stderrIsTerminal = false;
    // Whether the output stream is a terminal, taken to be the one the bar is on: the report then
    // goes out in whole lines, each after the bar is wiped.
    bool stdoutIsTerminal = false;
    // The width of the terminal on the error stream in columns, asked at each redraw of the bar
    // (80 when empty).
    std::function<int()> terminalColumns;
    // How wide --help is laid out: the terminal's width on standard output up to 100 columns,
    // 80 when that is not a terminal.
    int helpColumns = 80;
};

// Runs the command-line extractor with the given arguments (UTF-8 on Windows, the bytes given
// elsewhere) and streams; returns the exit code: 0 every source extracted (put-back: the new level
// written), 1 at least one failed (put-back: refused or failed) or the report was lost, 2 bad
// usage, 128 + N stopped by signal N.
int runCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
           const CliEnvironment& environment = {});

} // namespace glintmark::cli
