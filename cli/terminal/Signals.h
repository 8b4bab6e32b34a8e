#pragma once

namespace glintmark::cli {

// Makes SIGINT, SIGTERM and SIGHUP ask the running extraction to stop at its next block (a wait
// for a pipe is cut short), and ignores SIGXFSZ and SIGPIPE, so that a file size limit or a
// closed output pipe becomes an ordinary error instead of killing the program mid-image. A
// resized terminal (SIGWINCH) is only noted, for takeTerminalResized().
void installSignalHandlers();

// Whether the terminal was resized since the last call; always false on Windows, which sends no
// such signal.
bool takeTerminalResized();

// The signal that asked the program to stop, or 0 while none has.
int stopSignal();

// The usual name of `signal` ("SIGINT"), or "signal N".
const char* signalName(int signal);

} // namespace glintmark::cli
