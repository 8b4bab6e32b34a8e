#include "cli/CliApp.h"
#include "cli/Terminal.h"

#include <iostream>

#ifdef _WIN32
#include "cli/WindowsArgs.h"
#endif

namespace {

int run(int argc, const char* const* argv)
{
    CliEnvironment environment;
    environment.stderrIsTerminal = glintmark::cli::stderrIsTerminal();
    return runCli(argc, argv, std::cout, std::cerr, environment);
}

} // namespace

#ifdef _WIN32
// Windows: the UTF-16 command line, and UTF-8 on the console.
int wmain(int argc, wchar_t* argv[])
{
    const glintmark::cli::Utf8Console console;
    const glintmark::cli::Utf8Arguments arguments(argc, argv);
    return run(arguments.count(), arguments.data());
}
#else
int main(int argc, char* argv[])
{
    return run(argc, argv);
}
#endif
