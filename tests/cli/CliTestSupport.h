#pragma once

#include "cli/CliApp.h"
#include "support/LevelBuilder.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#ifdef __linux__
#include <sys/types.h>
#endif

namespace glintmark::clitest {

using cli::CliEnvironment;
using cli::runCli;
using testsupport::imageName;
using testsupport::kSignature;
using testsupport::LevelBuilder;
using testsupport::signature;

// What one run of the extractor returned and printed.
struct CliRun
{
    int code = -1;
    std::string out;
    std::string err;
};

// Runs the extractor with these arguments (the program name is added in front).
CliRun runWith(const std::vector<std::string>& args, const CliEnvironment& environment = {});

// A run whose error stream is a terminal `columns` wide, and with `output` its output too.
CliEnvironment onTerminal(bool output = false, int columns = 80);

#ifdef __linux__
// What the built program wrote to a pseudo-terminal and to a file.
struct TerminalRun
{
    int code = -1;
    std::string terminal;
    std::string file;
};

// Runs the built glintmark-cli with the descriptor `onTerminal` (1 or 2) on a fresh
// pseudo-terminal and the other of standard output and standard error on `file`; a run that
// takes over a minute is killed and fails the test.
TerminalRun runBuiltWithTerminal(const std::vector<std::string>& args, int onTerminal,
                                 const std::filesystem::path& file);

// What a test does while the program runs: `child` is the program, `master` the terminal's other
// end, and `shown` what the terminal has shown so far, to be added to while reading it.
using WhileRunning = std::function<void(pid_t child, int master, std::string& shown)>;

// Runs the built glintmark-cli with standard output and standard error on one fresh
// pseudo-terminal `columns` wide, as a user at a terminal runs it, doing `whileRunning` (if
// given) once it has started.
TerminalRun runBuiltOnTerminal(const std::vector<std::string>& args, unsigned short columns,
                               const WhileRunning& whileRunning = {});

// Reads the terminal into `shown` until it holds `text`; false when a minute passes first.
bool readTerminalUntil(int master, std::string& shown, const std::string& text);

// Writes `bytes` to the non-blocking `fd`, reading the terminal into `shown` whenever `fd` is
// full, so the program never waits on the terminal; false at an error or after a minute.
bool feedWhileReadingTerminal(int fd, std::string_view bytes, int master, std::string& shown);
#endif

// Runs the extractor with its output and its errors on one terminal `columns` wide; returns
// everything written to either, in the order it was written.
std::string runOnOneTerminal(const std::vector<std::string>& args, int columns);

// What a terminal `columns` wide shows once `written` is written to it: its rows, each
// without the spaces at its end, a line wider than the terminal wrapped onto the next row, no
// empty rows at the bottom.
std::vector<std::string> screenOf(const std::string& written, int columns);

// The progress lines in `written`: every piece between carriage returns and line ends that
// holds a percentage, or the megabytes read from a pipe.
std::vector<std::string> barLinesOf(const std::string& written);

// An empty folder of its own for the running test.
std::filesystem::path freshTestFolder();

// The sample level database, and the record of what it holds.
std::filesystem::path demoLdb();
nlohmann::json demoManifest();

// Image `number` of the sample as it was made, its frame header patched to claim
// `width` x `height` pixels; the data is left as it was, so it runs out long before.
std::string claimingImage(int number, unsigned width, unsigned height);

// A file's whole contents, or the test fails.
std::string readBytes(const std::filesystem::path& file);
void writeBytes(const std::filesystem::path& file, const std::string& bytes);

// The names of the regular files in a folder, sorted; empty when it does not exist.
std::vector<std::string> fileNames(const std::filesystem::path& folder);

// The names of the hidden entries (starting with a dot) in a folder, such as unfinished files.
std::vector<std::string> hiddenIn(const std::filesystem::path& folder);

} // namespace glintmark::clitest
