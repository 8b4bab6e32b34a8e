#include "cli/CliOptions.h"

#include "cli/ExitCode.h"
#include "engine/ErrorText.h"

#include <CLI/CLI.hpp>

#include <ostream>
#include <string>

namespace glintmark::cli {
namespace {

constexpr const char* kDescription =
    "Pulls the JFIF textures out of level database files (*.ldb).\n"
    "Every texture found in a SOURCE is written as Vorlesk_0001.jpg, Vorlesk_0002.jpg, ...\n"
    "With several sources, each one's textures go into a folder named after it inside DIR\n"
    "(levels/castle.ldb into DIR/castle), so their numbers never collide.\n";

constexpr const char* kFooter =
    "\nExamples:\n"
    "  glintmark-cli -o textures levels/castle.ldb\n"
    "      write castle's textures into textures/ (created if missing)\n"
    "  glintmark-cli -o out levels/*.ldb\n"
    "      one folder per level: out/castle, out/harbour, ...\n"
    "  glintmark-cli --list levels/castle.ldb\n"
    "      show where each texture sits, its size, dimensions and status; write nothing\n"
    "  glintmark-cli --json -q levels/castle.ldb > castle.json\n"
    "      the same run, reported as JSON for scripts\n"
    "  glintmark-cli --trim --check --gallery -o textures levels/castle.ldb\n"
    "      cut each texture at its end marker, decode each one, and write\n"
    "      textures/index.html, a page of thumbnails to open in a browser\n"
    "\nEnvironment (for --check):\n"
    "  GLINTMARK_CHECK_THREADS=N     decode on N threads (default: one per processor)\n"
    "  GLINTMARK_CHECK_IMAGE_MIB=N   decode no image larger than N MiB once decoded,\n"
    "                                width x height x components (default 256)\n"
    "  GLINTMARK_CHECK_MEMORY_MIB=N  let each decoding thread use at most N MiB (default 512)\n"
    "  An image over a limit is reported as not checked, with the limit and by how much.\n"
    "\nExit codes:\n"
    "  0  every source was extracted (damaged textures found by --check included)\n"
    "  1  at least one source failed (the others were still extracted)\n"
    "  2  bad usage: an unknown option, no SOURCE, or two sources that would share a folder\n";

std::string rejectEmpty(std::string& value)
{
    return value.empty() ? std::string("must not be empty") : std::string();
}

std::string failureMessage(const CLI::App* app, const CLI::Error& error)
{
    (void)app;
    return std::string("glintmark-cli: ") + error.what() +
           "\nRun with --help for more information.\n";
}

} // namespace

ParsedCommandLine parseCommandLine(int argc, const char* const* argv, std::ostream& out,
                                   std::ostream& err)
{
    CliOptions options;
    std::string outputDir = displayPath(options.outputDir);
    std::vector<std::string> sources;
    const CLI::Validator notEmpty(rejectEmpty, "", "NOT_EMPTY");

    CLI::App app(kDescription, "glintmark-cli");
    app.footer(kFooter);
    app.failure_message(failureMessage);
    // "/x" is a path, also on Windows; options are spelled the same everywhere.
    app.allow_windows_style_options(false);
    app.set_version_flag("--version", std::string("glintmark-cli ") + GLINTMARK_VERSION);
    app.add_option("-o,--output", outputDir,
                   "Folder to write the images into; created with its parents if missing")
        ->option_text("DIR [.]")
        ->check(notEmpty);
    CLI::Option* list = app.add_flag(
        "--list", options.list,
        "Print each image's number, offset, size, dimensions and status instead of writing it");
    app.add_flag("--trim", options.trim,
                 "Write each image only through its end marker (FF D9); one without is written "
                 "whole")
        ->excludes(list);
    app.add_flag("--check", options.check,
                 "Decode every image in full; report whether each decodes without a warning "
                 "(limits below)");
    app.add_flag("--gallery", options.gallery,
                 "Also write index.html, a page of thumbnails to sort and filter, into each "
                 "output folder")
        ->excludes(list);
    app.add_flag("--json", options.json,
                 "Print one JSON report on standard output and nothing else there");
    app.add_flag("-q,--quiet", options.quiet,
                 "No summary lines and no progress bar; errors are still reported");
    // Not marked required: an unknown option must be named even when no SOURCE is given, and
    // the parser would report the missing SOURCE first.
    app.add_option("SOURCE", sources, "Level database files to extract")
        ->type_name("FILE")
        ->check(notEmpty);

    try {
        app.parse(argc, argv);
        if (sources.empty())
            throw CLI::RequiredError("SOURCE");
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error, out, err);
        return {std::nullopt, code == 0 ? kExitSuccess : kExitUsage};
    }

    options.outputDir = pathFromUtf8(outputDir);
    for (const std::string& source : sources)
        options.sources.push_back(pathFromUtf8(source));
    return {std::move(options), kExitSuccess};
}

} // namespace glintmark::cli
