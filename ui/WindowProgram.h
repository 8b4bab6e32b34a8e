#pragma once

namespace glintmark::ui {

// Runs the window program with its command line: --help and --version as text, --screenshot DIR
// to draw every window and quit, otherwise the main window (with FILE as its source, when given)
// until it is closed. Returns the exit code: 0, 1 when screenshots could not be written, 2 for
// bad usage.
int runWindowProgram(int& argc, char* argv[]);

} // namespace glintmark::ui
