#pragma once

namespace glintmark::cli {

// Whether the process's standard error stream is attached to a terminal.
bool stderrIsTerminal();

} // namespace glintmark::cli
