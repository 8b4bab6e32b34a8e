#pragma once

#include <iosfwd>

// Runs the command-line extractor with the given arguments and streams; returns the exit code.
int runCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err);
