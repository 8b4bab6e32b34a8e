#include "cli/CliOptions.h"

#include "cli/CliHelp.h"
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

constexpr const char* kVersion = "glintmark-cli " GLINTMARK_VERSION "\n"
                                 "Copyright (c) 2026 Glintmark maintainers\n"
                                 "\n"
                                 "MIT licence: free to use, change and share; no warranty.";

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

// What --put-back cannot go with: it writes one new level, not images. A DIR given with -o
// was most likely meant as the new level.
void checkPutBack(const CLI::App& app, const std::vector<std::string>& sources,
                  const CLI::Option& into, const std::string& outputDir, bool list)
{
    if (app.get_option("--output")->count() > 0) {
        throw CLI::ExcludesError("--put-back writes its new level with --into, not --output: did "
                                 "you mean --into " +
                                     outputDir + "?",
                                 CLI::ExitCodes::ExcludesError);
    }
    for (const char* name : {"--trim", "--check", "--gallery", "--folder-per-source", "--writers",
                             "--dedupe", "--no-index"}) {
        if (app.get_option(name)->count() > 0) {
            throw CLI::ExcludesError(std::string("--put-back writes only the new level, so it "
                                                 "takes no ") +
                                         name,
                                     CLI::ExitCodes::ExcludesError);
        }
    }
    if (sources.size() != 1)
        throw CLI::ValidationError("SOURCE", "--put-back takes exactly one SOURCE");
    if (into.count() == 0 && !list)
        throw CLI::RequiredError("--into (or --list, to see what would be done)");
}

// What --list cannot go with: the options that only shape the files a run writes.
void checkList(const CLI::App& app)
{
    for (const char* name : {"--trim", "--gallery", "--writers", "--dedupe", "--no-index"}) {
        if (app.get_option(name)->count() > 0) {
            throw CLI::ExcludesError(std::string("--list writes nothing, so it takes no ") + name,
                                     CLI::ExitCodes::ExcludesError);
        }
    }
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
    app.failure_message(failureMessage);
    // "/x" is a path, also on Windows; options are spelled the same everywhere.
    app.allow_windows_style_options(false);
    app.set_version_flag("-V,--version", kVersion);
    // Unknown arguments are collected and answered with the nearest option (refuseExtras).
    app.allow_extras();
}

// --writers, which only a run that writes images takes.
void addWriters(CLI::App& app, unsigned& writers)
{
    app.add_option("--writers", writers)
        ->type_name("N")
        ->check(CLI::Validator(rejectWriterCount, "", "WRITERS"));
}

// The flags that shape a put-back, which only --put-back takes.
void addPutBackFlags(CLI::App& app, CliOptions& options, CLI::Option* putBack)
{
    app.add_flag("--fit", options.fit)->needs(putBack);
    app.add_flag("--ignore-unmatched", options.ignoreUnmatched)->needs(putBack);
    app.add_flag("--everywhere", options.everywhere)->needs(putBack);
}

} // namespace

ParsedCommandLine parseCommandLine(int argc, const char* const* argv, std::ostream& out,
                                   std::ostream& err, int helpColumns)
{
    CliOptions options;
    std::string outputDir = displayPath(options.outputDir);
    std::vector<std::string> sources;
    std::string putBackDir;
    std::string intoFile;
    std::string packDir;
    const CLI::Validator notEmpty(rejectEmpty, "", "NOT_EMPTY");

    CLI::App app("", "glintmark-cli");
    describeProgram(app);
    app.add_option("-o,--output", outputDir)->type_name("DIR")->check(notEmpty);
    app.add_flag("--folder-per-source", options.folderPerSource);
    app.add_flag("--list", options.list);
    app.add_flag("--trim", options.trim);
    app.add_flag("--check", options.check);
    app.add_flag("--gallery", options.gallery);
    addWriters(app, options.writers);
    app.add_flag("--dedupe", options.dedupe);
    app.add_flag("--force", options.force);
    app.add_flag("--no-index", options.noIndex);
    CLI::Option* putBack =
        app.add_option("--put-back", putBackDir)->type_name("DIR")->check(notEmpty);
    CLI::Option* into = app.add_option("--into", intoFile)
                            ->type_name("NEW.ldb|NEWDIR")
                            ->check(notEmpty)
                            ->needs(putBack);
    addPutBackFlags(app, options, putBack);
    app.add_option("--pack", packDir)->type_name("PACKDIR")->check(notEmpty)->needs(putBack);
    app.add_flag("--json", options.json);
    app.add_flag("-v,--verbose", options.verbose);
    app.add_flag("-q,--quiet", options.quiet);
    // Not marked required: an unknown option must be named even when no SOURCE is given, and
    // the parser would report the missing SOURCE first.
    app.add_option("SOURCE", sources)->type_name("FILE")->check(notEmpty);

    try {
        app.parse(argc, argv);
        refuseExtras(app);
        if (sources.empty())
            throw CLI::RequiredError("SOURCE");
        if (putBack->count() > 0)
            checkPutBack(app, sources, *into, outputDir, options.list);
        else if (options.list)
            checkList(app);
    } catch (const CLI::CallForHelp&) {
        out << helpText(helpColumns) << std::flush;
        return {std::nullopt, kExitSuccess};
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
        if (!packDir.empty())
            options.pack = pathFromUtf8(packDir);
    }
    if (!takeWritersVariable(options, err))
        return {std::nullopt, kExitUsage};
    return {std::move(options), kExitSuccess};
}

} // namespace glintmark::cli
