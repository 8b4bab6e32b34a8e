#include "cli/CliApp.h"
#include "cli/Terminal.h"

#include <iostream>

int main(int argc, char* argv[])
{
    CliEnvironment environment;
    environment.stderrIsTerminal = glintmark::cli::stderrIsTerminal();
    return runCli(argc, argv, std::cout, std::cerr, environment);
}
