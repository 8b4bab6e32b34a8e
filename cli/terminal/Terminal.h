#pragma once

namespace glintmark::cli {

// Whether the process's standard error stream is attached to a terminal.
bool stderrIsTerminal();

// Whether the process's standard output stream is attached to a terminal.
bool stdoutIsTerminal();

// The width in columns of the terminal on standard error, or 80 where it does not tell. Asked
// of the system once and again after each resize (on Windows, at every call), so it is cheap to
// call at every redraw.
int stderrColumns();

// How wide --help is laid out: the width of the terminal on standard output up to `widest`, or
// `usual` when standard output is not a terminal or it does not tell.
int helpColumns(int widest, int usual);

} // namespace glintmark::cli
