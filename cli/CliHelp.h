#pragma once

#include <string>

namespace glintmark::cli {

// The widest and the usual width --help is written to: a terminal's own width up to the
// widest, the usual one when standard output is not a terminal.
inline constexpr int kHelpWidestColumns = 100;
inline constexpr int kHelpUsualColumns = 80;

// The --help text, every line at most `columns` wide (no fewer than 40 are used): what the
// program does, one line for each option, the rules between them said once, a few examples and
// the exit codes. The long explanations are in the man page.
std::string helpText(int columns);

} // namespace glintmark::cli
