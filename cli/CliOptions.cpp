#include "cli/CliOptions.h"

#include "cli/ExitCode.h"
#include "engine/ExtractTypes.h"
#include "engine/io/Environment.h"
#include "engine/io/PathText.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <ostream>
#include <string>

namespace glintmark::cli {
namespace {

constexpr const char* kDescription =
    "Pulls the JFIF textures out of level database files (*.ldb).\n"
    "Every texture found in a SOURCE is written as Vorlesk_0001.jpg, Vorlesk_0002.jpg\n"
    "and on. One SOURCE writes into DIR itself; with several, each one's textures go\n"
    "into a folder named after it inside DIR (levels/castle.ldb into DIR/castle), so\n"
    "their numbers never collide. --folder-per-source uses DIR/castle for one SOURCE\n"
    "too. A SOURCE of - reads standard input. A SOURCE that is a folder is a game:\n"
    "every *.ldb below it goes into DIR/<its path without extension>, and\n"
    "DIR/textures.json indexes the distinct textures and where each is used. With\n"
    "--put-back, the edited textures in a folder go back into a copy of SOURCE, or\n"
    "of every level of a game folder.\n";

constexpr const char* kVersion = "glintmark-cli " GLINTMARK_VERSION "\n"
                                 "Copyright (c) 2026 Glintmark maintainers\n"
                                 "MIT licence: free to use, change and share; no warranty.";

constexpr const char* kFooter =
    "\nExamples:\n"
    "  glintmark-cli -o textures levels/castle.ldb\n"
    "      write castle's textures into textures/ (created if missing)\n"
    "  glintmark-cli -o out levels/*.ldb\n"
    "      one folder per level: out/castle, out/harbour, ...\n"
    "  glintmark-cli --list levels/castle.ldb\n"
    "      show where each texture sits, its size, dimensions and status; write\n"
    "      nothing\n"
    "  glintmark-cli --json -q levels/castle.ldb > castle.json\n"
    "      the same run, reported as JSON for scripts\n"
    "  glintmark-cli --trim --check --gallery -o textures levels/castle.ldb\n"
    "      cut each texture at its end marker, decode each one, and write\n"
    "      textures/index.html, a page of thumbnails to open in a browser\n"
    "  glintmark-cli --trim --dedupe --gallery -o out game/\n"
    "      every level of the game: out/maps/castle, ..., out/textures.json, and\n"
    "      out/index.html with each distinct texture once; a texture used again is\n"
    "      stored once, as hard links\n"
    "  glintmark-cli --put-back textures --into castle-new.ldb levels/castle.ldb\n"
    "      write castle-new.ldb: castle.ldb with every texture in textures/ that was\n"
    "      edited put in the place of the original; all other bytes stay as they were\n"
    "  glintmark-cli --put-back out --everywhere --into new game\n"
    "      game/ is a folder of levels extracted into out/<level path without .ldb>;\n"
    "      each level that changes is written under new/ at its path in the game, and\n"
    "      an edited texture goes into every level wherever its original stands\n"
    "\nEnvironment:\n"
    "  GLINTMARK_WRITERS=N           images are written on N threads while the source\n"
    "                                is read on, as --writers (default 2; 1 on a\n"
    "                                single processor)\n"
    "  GLINTMARK_CHECK_THREADS=N     --check decodes on N threads (default: one per\n"
    "                                processor)\n"
    "  GLINTMARK_CHECK_IMAGE_MIB=N   --check decodes no image larger than N MiB once\n"
    "                                decoded, width x height x components (default\n"
    "                                256)\n"
    "  GLINTMARK_CHECK_MEMORY_MIB=N  each decoding thread uses at most N MiB (default\n"
    "                                512)\n"
    "  An image over a limit is reported as not checked, with the limit and by how\n"
    "  much.\n"
    "\nPutting textures back:\n"
    "  An edited Vorlesk_NNNN.jpg replaces texture NNNN when it has the same width,\n"
    "  height, colour components and coding (baseline, progressive) as the original,\n"
    "  decodes cleanly, and fits in the original's bytes through its end marker;\n"
    "  what is left over is filled with zero bytes, so no offset in the level moves.\n"
    "  With --fit, one too large or coded otherwise is encoded again in the\n"
    "  original's coding at the highest quality from 95 down to 30 that fits. Files\n"
    "  equal to their originals are left alone. A file named almost as a texture\n"
    "  (Vorlesk_3.jpg, vorlesk_0003.JPG, .jpeg) or numbered beyond the level's\n"
    "  textures is refused, unless --ignore-unmatched. If any edited texture is\n"
    "  refused, nothing is written.\n"
    "  A SOURCE that is a folder is a game: each level in it (any depth) takes the\n"
    "  edits in DIR/<its path without .ldb>, and each level that changes is written\n"
    "  to NEWDIR/<its path>; levels without edits are listed, not written. With\n"
    "  --everywhere, an edited texture replaces every texture of every level whose\n"
    "  bytes through its end marker are its original's; two different edits of one\n"
    "  texture are refused. All new levels are written and checked before any is\n"
    "  put in place: a refusal, a failure or a stop leaves none of them.\n"
    "\nExit codes:\n"
    "  0  every source was extracted (damaged textures found by --check included);\n"
    "     with --put-back, the new level (or levels) was written (or, with --list,\n"
    "     could be)\n"
    "  1  at least one source failed (the others were still extracted); with\n"
    "     --put-back, an edited texture was refused or a file could not be used\n"
    "  2  bad usage: an unknown option, no SOURCE, two sources that would share a\n"
    "     folder, a SOURCE in another's folder under a name its run writes, a\n"
    "     SOURCE or folder named as a Windows device (CON, NUL, COM1, ...),\n"
    "     or --put-back without --into, with more than one SOURCE, or with -o,\n"
    "     --trim, --check, --gallery, --writers or --dedupe, or --everywhere\n"
    "     with a SOURCE that is not a folder\n"
    "  128+N  stopped by signal N (130 for Ctrl+C); only complete files are kept\n";

std::string rejectEmpty(std::string& value)
{
    return value.empty() ? std::string("must not be empty") : std::string();
}

constexpr const char* kWriterCountRule = "must be a number from 1 to 64";

std::string rejectWriterCount(std::string& value)
{
    return writerCountFrom(value) ? std::string() : std::string(kWriterCountRule);
}

// The writer count GLINTMARK_WRITERS sets for a run that writes images and was given no
// --writers, read by the same rule as --writers; false (the refusal said on `err`) when the
// variable holds anything else.
bool takeWritersVariable(CliOptions& options, std::ostream& err)
{
    if (options.writers != 0 || options.list || options.putBack)
        return true;
    const std::optional<std::string> value = environmentText(kWritersVariable);
    if (!value)
        return true;
    if (const std::optional<unsigned> count = writerCountFrom(*value)) {
        options.writers = *count;
        return true;
    }
    err << "glintmark-cli: " << kWritersVariable << "=" << *value << ": " << kWriterCountRule
        << "\nRun with --help for more information.\n";
    return false;
}

std::string failureMessage(const CLI::App* app, const CLI::Error& error)
{
    (void)app;
    return std::string("glintmark-cli: ") + error.what() +
           "\nRun with --help for more information.\n";
}

// What --put-back cannot go with: it writes one new level, not images.
void checkPutBack(const CLI::App& app, const std::vector<std::string>& sources,
                  const CLI::Option& into, bool list)
{
    for (const char* name : {"--output", "--trim", "--check", "--gallery", "--folder-per-source",
                             "--writers", "--dedupe"}) {
        if (app.get_option(name)->count() > 0)
            throw CLI::ExcludesError("--put-back", name);
    }
    if (sources.size() != 1)
        throw CLI::ValidationError("SOURCE", "--put-back takes exactly one SOURCE");
    if (into.count() == 0 && !list)
        throw CLI::RequiredError("--into (or --list, to see what would be done)");
}

// How far apart two words are: the fewest letters to insert, remove or change to turn one into
// the other.
std::size_t editDistance(const std::string& a, const std::string& b)
{
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] =
                std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// The option a mistyped `word` most likely meant ("--chek": "--check"), or nothing when none is
// near enough.
std::string nearestOption(const CLI::App& app, const std::string& word)
{
    const std::string typed = word.substr(0, word.find('='));
    std::string best;
    std::size_t bestDistance = typed.size() <= 4 ? 1 : 2;
    for (const CLI::Option* option : app.get_options()) {
        for (const std::string& name : option->get_lnames()) {
            const std::size_t distance = editDistance(typed, "--" + name);
            if (distance <= bestDistance && (best.empty() || distance < bestDistance)) {
                best = "--" + name;
                bestDistance = distance;
            }
        }
    }
    return best;
}

// Refuses the arguments the parser did not take, suggesting the nearest option for each.
void refuseExtras(const CLI::App& app)
{
    const std::vector<std::string> extras = app.remaining();
    if (extras.empty())
        return;
    std::string message = extras.size() == 1 ? "The following argument was not expected:"
                                             : "The following arguments were not expected:";
    for (const std::string& extra : extras) {
        message += " " + extra;
        if (const std::string nearest = nearestOption(app, extra); !nearest.empty())
            message += " (did you mean " + nearest + "?)";
    }
    throw CLI::ExtrasError(message, CLI::ExitCodes::ExtrasError);
}

// The path of a SOURCE argument; "-" is standard input.
std::filesystem::path sourcePath(const std::string& argument)
{
#ifndef _WIN32
    if (argument == "-")
        return "/dev/stdin";
#endif
    return pathFromUtf8(argument);
}

// The program's texts and the parser's manners, before any option is added.
void describeProgram(CLI::App& app)
{
    app.footer(kFooter);
    app.failure_message(failureMessage);
    // "/x" is a path, also on Windows; options are spelled the same everywhere.
    app.allow_windows_style_options(false);
    app.set_version_flag("--version", kVersion);
    // Unknown arguments are collected and answered with the nearest option (refuseExtras).
    app.allow_extras();
}

// --writers, which --list excludes: it writes nothing.
void addWriters(CLI::App& app, unsigned& writers, CLI::Option* list)
{
    app.add_option("--writers", writers,
                   "Write the images on N threads (1 to 64) while\nthe source is read on; 1 "
                   "writes each image as\nit is read [2, or GLINTMARK_WRITERS]")
        ->type_name("N")
        ->check(CLI::Validator(rejectWriterCount, "", "WRITERS"))
        ->excludes(list);
}

// --dedupe, which only a run that writes images takes.
void addDedupe(CLI::App& app, bool& dedupe, CLI::Option* list)
{
    app.add_flag("--dedupe", dedupe,
                 "Write an image whose bytes an earlier one's\nequal as a hard link to that "
                 "file (a copy where\nlinks cannot be made); with --trim every use\nof a "
                 "texture is stored once")
        ->excludes(list);
}

// The flags that shape a put-back, which only --put-back takes.
void addPutBackFlags(CLI::App& app, CliOptions& options, CLI::Option* putBack)
{
    app.add_flag("--fit", options.fit,
                 "With --put-back, encode again an edited texture\nthat is too large or coded "
                 "otherwise than the\noriginal")
        ->needs(putBack);
    app.add_flag("--ignore-unmatched", options.ignoreUnmatched,
                 "With --put-back, pass over files in DIR that\nmatch no texture instead of "
                 "refusing them")
        ->needs(putBack);
    app.add_flag("--everywhere", options.everywhere,
                 "With --put-back into a game folder, put each\nedited texture into every level "
                 "wherever its\noriginal stands")
        ->needs(putBack);
}

} // namespace

ParsedCommandLine parseCommandLine(int argc, const char* const* argv, std::ostream& out,
                                   std::ostream& err)
{
    CliOptions options;
    std::string outputDir = displayPath(options.outputDir);
    std::vector<std::string> sources;
    std::string putBackDir;
    std::string intoFile;
    const CLI::Validator notEmpty(rejectEmpty, "", "NOT_EMPTY");

    CLI::App app(kDescription, "glintmark-cli");
    describeProgram(app);
    app.add_option("-o,--output", outputDir,
                   "Folder to write the images into; created with\nits parents if missing")
        ->type_name("DIR")
        ->option_text("DIR [.]")
        ->check(notEmpty);
    app.add_flag("--folder-per-source", options.folderPerSource,
                 "Write each SOURCE into DIR/<its name without\nextension>, also when there is "
                 "only one");
    CLI::Option* list = app.add_flag(
        "--list", options.list,
        "Print each image's number, offset, size,\ndimensions and status instead of writing it");
    app.add_flag("--trim", options.trim,
                 "Write each image only through its end marker\n(FF D9); one without is written "
                 "whole")
        ->excludes(list);
    app.add_flag("--check", options.check,
                 "Decode every image in full; report whether each\ndecodes without a warning "
                 "(limits below)");
    app.add_flag("--gallery", options.gallery,
                 "Also write index.html, a page of thumbnails to\nsort and filter, into each "
                 "output folder")
        ->excludes(list);
    addWriters(app, options.writers, list);
    addDedupe(app, options.dedupe, list);
    CLI::Option* putBack =
        app.add_option("--put-back", putBackDir,
                       "Put the edited textures in DIR back into a copy\nof SOURCE (see below)")
            ->type_name("DIR")
            ->check(notEmpty);
    CLI::Option* into =
        app.add_option("--into", intoFile,
                       "The new level database --put-back writes; for\na game folder, the "
                       "folder of the new levels")
            ->type_name("NEW.ldb|NEWDIR")
            ->check(notEmpty)
            ->needs(putBack);
    addPutBackFlags(app, options, putBack);
    app.add_flag("--json", options.json,
                 "Print one JSON report on standard output and\nnothing else there");
    app.add_flag("-q,--quiet", options.quiet,
                 "No summary lines and no progress bar; errors are\nstill reported");
    // Not marked required: an unknown option must be named even when no SOURCE is given, and
    // the parser would report the missing SOURCE first.
    app.add_option("SOURCE", sources, "Level database files, or game folders, to\nextract")
        ->type_name("FILE")
        ->check(notEmpty);

    try {
        app.parse(argc, argv);
        refuseExtras(app);
        if (sources.empty())
            throw CLI::RequiredError("SOURCE");
        if (putBack->count() > 0)
            checkPutBack(app, sources, *into, options.list);
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error, out, err);
        return {std::nullopt, code == 0 ? kExitSuccess : kExitUsage};
    }

    options.outputDir = pathFromUtf8(outputDir);
    for (const std::string& source : sources)
        options.sources.push_back(sourcePath(source));
    if (putBack->count() > 0) {
        options.putBack = pathFromUtf8(putBackDir);
        options.into = pathFromUtf8(intoFile);
    }
    if (!takeWritersVariable(options, err))
        return {std::nullopt, kExitUsage};
    return {std::move(options), kExitSuccess};
}

} // namespace glintmark::cli
