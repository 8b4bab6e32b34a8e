#include "cli/CliApp.h"
#include "cli/Signals.h"
#include "cli/Terminal.h"

#include <iostream>

int main(int argc, char* argv[])
{
    glintmark::cli::installSignalHandlers();
    CliEnvironment environment;
    environment.stderrIsTerminal = glintmark::cli::stderrIsTerminal();
    return runCli(argc, argv, std::cout, std::cerr, environment);
}
