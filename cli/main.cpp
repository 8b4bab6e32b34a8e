#include "cli/CliApp.h"
#include "cli/CliHelp.h"
#include "cli/terminal/DescriptorBuffer.h"
#include "cli/terminal/Signals.h"
#include "cli/terminal/Terminal.h"

#include <iostream>

#ifdef _WIN32
#include "cli/terminal/WindowsArgs.h"
#else
#include <unistd.h>
#endif
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

// The features read, decode and let go of one image after another, each of them up to a few
// MiB. glibc hands such blocks back to the system as soon as they are freed, and every next image
// then pays for its pages again (on 5,000 edits of 1 MB, a put-back's comparing took 40 % longer
// for it). Freed memory up to the size of the largest textures is kept for the next one instead.
void keepFreedMemoryForReuse()
{
#ifdef __GLIBC__
    (void)mallopt(M_MMAP_THRESHOLD, 32 << 20);
    (void)mallopt(M_TRIM_THRESHOLD, 64 << 20);
#endif
}

int run(int argc, const char* const* argv)
{
    keepFreedMemoryForReuse();
    glintmark::cli::installSignalHandlers();
    glintmark::cli::CliEnvironment environment;
    environment.stderrIsTerminal = glintmark::cli::stderrIsTerminal();
    environment.stdoutIsTerminal = glintmark::cli::stdoutIsTerminal();
    environment.terminalColumns = glintmark::cli::stderrColumns;
    environment.helpColumns = glintmark::cli::helpColumns(glintmark::cli::kHelpWidestColumns,
                                                          glintmark::cli::kHelpUsualColumns);
#ifdef _WIN32
    return glintmark::cli::runCli(argc, argv, std::cout, std::cerr, environment);
#else
    // The streams write to the descriptors themselves, finishing what a signal interrupts.
    using glintmark::cli::DescriptorBuffer;
    DescriptorBuffer outBuffer(1, ::isatty(1) ? DescriptorBuffer::Gather::Lines
                                              : DescriptorBuffer::Gather::Blocks);
    DescriptorBuffer errBuffer(2, DescriptorBuffer::Gather::Nothing);
    std::ostream out(&outBuffer);
    std::ostream err(&errBuffer);
    return glintmark::cli::runCli(argc, argv, out, err, environment);
#endif
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
