#include "cli/CliApp.h"

// TODO(cli): options, progress and reports.
int runCli(int, const char* const*, std::ostream&, std::ostream&)
{
    return 0;
}
