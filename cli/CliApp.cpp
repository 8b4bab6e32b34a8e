#include "cli/CliApp.h"

#include "cli/CliListener.h"
#include "cli/CliOptions.h"
#include "cli/ExitCode.h"
#include "cli/OutputPlan.h"
#include "cli/SourceList.h"
#include "cli/report/GamePutBackReport.h"
#include "cli/report/HumanReport.h"
#include "cli/report/JsonReport.h"
#include "cli/report/OutputWatch.h"
#include "cli/report/PutBackReport.h"
#include "cli/report/Report.h"
#include "cli/terminal/ControlEscapes.h"
#include "cli/terminal/PhaseBars.h"
#include "cli/terminal/Signals.h"
#include "cli/terminal/WholeLines.h"
#include "engine/LockedFolder.h"
#include "engine/io/PathText.h"
#include "features/LevelExtraction.h"
#include "features/game/GameGallery.h"
#include "features/game/GameTextures.h"
#include "features/putback/GamePutBack.h"
#include "features/putback/PutBack.h"

#include <exception>
#include <memory>
#include <optional>
#include <ostream>

namespace glintmark::cli {
namespace {

// The game's index of its distinct textures, beside the level folders.
constexpr std::string_view kIndexName = "textures.json";

// Opens and locks the output folder of a game into `folder` (creating it with its parents), for
// the files the game's run writes there itself; on failure says why on `err` and returns false.
bool openGameFolder(const std::filesystem::path& outputDir, std::optional<LockedFolder>& folder,
                    std::ostream& err)
{
    std::error_code ec;
    std::filesystem::create_directories(outputDir, ec);
    std::optional<ExtractError> error;
    folder.emplace(LockedFolder::openBeside(outputDir / std::string(kIndexName), FileIdentity{},
                                            "the texture index", "run", error));
    if (error) {
        err << "glintmark-cli: " << error->message << '\n';
        folder.reset();
    }
    return folder.has_value();
}

// Writes the game's index and, with `gallery`, its page through the game's locked folder; says
// on `err` why one cannot be written. False when one could not.
bool writeGameFiles(const CliOptions& options, const OutputPlan& plan,
                    const features::GameTextures& textures, LockedFolder& folder, std::ostream& err)
{
    const auto keepGoing = [] { return stopSignal() == 0; };
    std::optional<ExtractError> error =
        folder.writeFile(std::string(kIndexName), "the texture index", [&](FileWriter& file) {
            return features::writeIndexJson(
                textures.index(), [&file](std::string_view piece) { return file.write(piece); },
                keepGoing);
        });
    if (!error && options.gallery && keepGoing()) {
        std::vector<std::filesystem::path> levelFolders;
        for (const std::filesystem::path& levelFolder : plan.folders)
            levelFolders.push_back(levelFolder.lexically_relative(options.outputDir));
        const std::string title =
            displayPath(options.sources.size() == 1 ? options.sources.front() : options.outputDir);
        error =
            features::writeGameGallery(textures.index(), levelFolders, title, folder, keepGoing);
    }
    if (error)
        err << "glintmark-cli: " << error->message << '\n';
    return !error;
}

// What a source's bar is called: its name (a game's level by its path in the game), counted
// off among several ("[2/40] maps/castle.ldb").
std::string barName(const SourceList& list, std::size_t i)
{
    std::string shown =
        escapeControls(displayPath(list.game ? list.names[i] : list.files[i].filename()));
    if (list.files.size() < 2)
        return shown;
    return "[" + std::to_string(i + 1) + "/" + std::to_string(list.files.size()) + "] " + shown;
}

// How each level is to be run.
features::LevelRunSettings levelSettings(const CliOptions& options, RunMode mode)
{
    features::LevelRunSettings settings;
    settings.mode = mode;
    settings.trim = options.trim;
    settings.check = options.check;
    settings.gallery = options.gallery;
    settings.writers = options.writers;
    return settings;
}

// Says on `err` how a source's run ended, unless it simply completed; true when that was an
// interruption by a signal.
bool tellLevelEnd(const CliOptions& options, const LevelOutcome& outcome, std::ostream& err)
{
    const RunMode mode = options.list ? RunMode::ListOnly : RunMode::Write;
    bool interrupted = false;
    if (outcome.result.status == RunStatus::Stopped && stopSignal() != 0) {
        err << interruptedLine(outcome, mode, signalName(stopSignal()));
        interrupted = true;
    } else if (outcome.result.status != RunStatus::Stopped) {
        err << errorLines(outcome, mode);
    }
    if (outcome.result.status == RunStatus::Completed && outcome.result.count == 0 &&
        !options.quiet)
        err << "glintmark-cli: No JFIF signature found in " << displayPath(outcome.source) << '\n';
    err << std::flush;
    return interrupted;
}

// Says once why images that could have been links were written as copies, if any were.
void tellCopies(const features::GameTextures& textures, std::ostream& err)
{
    if (const auto& problem = textures.linkProblem()) {
        err << "glintmark-cli: " << displayPath(problem->file)
            << ": cannot be a hard link to the earlier file with the same bytes: "
            << problem->reason.message() << "; " << textures.copies()
            << (textures.copies() == 1 ? " image was" : " images were") << " written as copies\n";
    }
}

// Extracts (or lists) every source, with a bar per phase on `barStream`: the raw error stream,
// where `err` is the same with its control characters shown.
int runSources(const CliOptions& options, const SourceList& list, const OutputPlan& plan,
               std::ostream& out, std::ostream& err, std::ostream& barStream,
               const CliEnvironment& environment)
{
    const bool drawn = environment.stderrIsTerminal && !options.quiet;
    PhaseBars bars(drawn ? &barStream : nullptr, {}, false, environment.terminalColumns);
    // Where the report shares the bar's terminal, it goes out in whole lines, the bar wiped first.
    WholeLines lines(out, [&bars] { bars.wipe(); });
    std::ostream linesOut(&lines);
    std::ostream& wholeOut = drawn && environment.stdoutIsTerminal ? linesOut : out;
    // The human report shows the names in it with their control characters written out; JSON
    // escapes its own.
    ControlEscapes escapes(wholeOut);
    std::ostream shownOut(&escapes);
    std::ostream& reportOut = options.json ? wholeOut : shownOut;

    const RunMode mode = options.list ? RunMode::ListOnly : RunMode::Write;
    std::unique_ptr<Report> report;
    if (options.json)
        report = std::make_unique<JsonReport>(reportOut, mode);
    else
        report = std::make_unique<HumanReport>(reportOut, mode, options.quiet, options.check);
    OutputWatch watch(reportOut);
    features::LevelRunSettings settings = levelSettings(options, mode);

    // A game (or a deduplicated run) learns every texture's digest; a writing game keeps its
    // output folder locked throughout for the index and the page it writes there at the end.
    std::optional<features::GameTextures> textures;
    if (list.game || options.dedupe)
        textures.emplace(options.trim, options.dedupe && mode == RunMode::Write);
    std::optional<LockedFolder> gameFolder;
    if (list.game && mode == RunMode::Write) {
        if (!openGameFolder(options.outputDir, gameFolder, err))
            return kExitFailure;
    }
    settings.textures = textures ? &*textures : nullptr;

    bool anyFailed = !list.problems.empty();
    bool interruptionTold = false;
    std::uint64_t bytesBefore = 0;
    const std::size_t count = list.files.size();
    for (std::size_t i = 0; i < count && stopSignal() == 0 && watch.check(); ++i) {
        const std::filesystem::path& source = list.files[i];
        bars.setName(barName(list, i));
        report->beginSource(source, plan.folders[i]);
        watch.check();
        CliListener listener(bars, report.get(), watch);
        if (count > 1)
            listener.coverWholeSet(bytesBefore, list.totalBytes);
        bytesBefore += list.sizes[i];
        if (textures)
            textures->beginLevel(list.names[i], plan.folders[i]);
        const LevelOutcome outcome =
            features::extractLevel(source, plan.folders[i], settings, listener);
        // Nothing more of this source is drawn: its closing lines take the bar's place.
        bars.finish();
        report->endSource(outcome);
        watch.check();
        anyFailed = anyFailed || outcome.result.status != RunStatus::Completed;
        interruptionTold = tellLevelEnd(options, outcome, err) || interruptionTold;
    }
    if (textures && stopSignal() == 0) {
        report->textures(*textures);
        tellCopies(*textures, err);
        if (gameFolder && watch.check() &&
            !writeGameFiles(options, plan, *textures, *gameFolder, err))
            anyFailed = true;
    }
    report->finish();

    if (!watch.check()) {
        err << watch.failureLine() << std::flush;
        return kExitFailure;
    }
    if (stopSignal() != 0) {
        if (!interruptionTold)
            err << "glintmark-cli: interrupted by " << signalName(stopSignal()) << '\n';
        return 128 + stopSignal();
    }
    return anyFailed ? kExitFailure : kExitSuccess;
}

// Puts the edited images back into a copy of the one source, with a bar per phase on
// `barStream`, the raw error stream.
int runPutBack(const CliOptions& options, std::ostream& rawOut, std::ostream& err,
               std::ostream& barStream, const CliEnvironment& environment)
{
    ControlEscapes escapes(rawOut);
    std::ostream shownOut(&escapes);
    std::ostream& out = options.json ? rawOut : shownOut;
    PutBackRequest request;
    request.source = options.sources.front();
    request.folder = *options.putBack;
    request.into = options.into;
    request.fit = options.fit;
    request.ignoreUnmatched = options.ignoreUnmatched;
    request.dryRun = options.list;

    OutputWatch watch(out);
    PhaseBars bars(environment.stderrIsTerminal && !options.quiet ? &barStream : nullptr,
                   escapeControls(displayPath(request.source.filename())), true,
                   environment.terminalColumns);
    CliListener listener(bars, nullptr, watch);
    const PutBackOutcome outcome = putBack(request, listener);
    bars.finish();

    reportPutBack(request, outcome, options.json, options.quiet, out, err);
    if (!watch.check()) {
        err << watch.failureLine() << std::flush;
        return kExitFailure;
    }
    if (outcome.status == PutBackStatus::Stopped) {
        err << "glintmark-cli: interrupted by " << signalName(stopSignal()) << "; "
            << (request.dryRun ? std::string("nothing") : displayPath(request.into))
            << " was not written\n";
        return 128 + stopSignal();
    }
    const bool done =
        outcome.status == PutBackStatus::Written || outcome.status == PutBackStatus::DryRun;
    return done ? kExitSuccess : kExitFailure;
}

// Puts the edited images back into every level of the game folder that is the one source, as
// new levels under the folder --into names.
int runGamePutBack(const CliOptions& options, std::ostream& rawOut, std::ostream& err,
                   std::ostream& barStream, const CliEnvironment& environment)
{
    ControlEscapes escapes(rawOut);
    std::ostream shownOut(&escapes);
    std::ostream& out = options.json ? rawOut : shownOut;
    features::GamePutBackRequest request;
    request.game = options.sources.front();
    request.folder = *options.putBack;
    request.into = options.into;
    request.fit = options.fit;
    request.ignoreUnmatched = options.ignoreUnmatched;
    request.everywhere = options.everywhere;
    request.dryRun = options.list;

    OutputWatch watch(out);
    PhaseBars bars(environment.stderrIsTerminal && !options.quiet ? &barStream : nullptr,
                   escapeControls(displayPath(request.game.filename())), true,
                   environment.terminalColumns);
    CliListener listener(bars, nullptr, watch);
    const features::GamePutBackOutcome outcome = features::putBackGame(request, listener);
    bars.finish();

    reportGamePutBack(request, outcome, options.json, options.quiet, out, err);
    if (!watch.check()) {
        err << watch.failureLine() << std::flush;
        return kExitFailure;
    }
    if (outcome.status == PutBackStatus::Stopped) {
        err << "glintmark-cli: interrupted by " << signalName(stopSignal()) << "; "
            << (request.dryRun ? std::string("nothing")
                               : "no level under " + displayPath(request.into))
            << " was written\n";
        return 128 + stopSignal();
    }
    const bool done =
        outcome.status == PutBackStatus::Written || outcome.status == PutBackStatus::DryRun;
    return done ? kExitSuccess : kExitFailure;
}

// Puts edited images back into the one source: a game when it is a folder, else one level.
// --everywhere needs a game.
int runAnyPutBack(const CliOptions& options, std::ostream& out, std::ostream& err,
                  std::ostream& barStream, const CliEnvironment& environment)
{
    std::error_code ec;
    if (std::filesystem::is_directory(options.sources.front(), ec))
        return runGamePutBack(options, out, err, barStream, environment);
    if (options.everywhere) {
        err << "glintmark-cli: --everywhere puts textures back into a game folder; "
            << displayPath(options.sources.front()) << " is not a folder\n";
        return kExitUsage;
    }
    return runPutBack(options, out, err, barStream, environment);
}

} // namespace

int runCli(int argc, const char* const* argv, std::ostream& out, std::ostream& rawErr,
           const CliEnvironment& environment)
{
    // Error lines name files: a name's control characters are shown, never obeyed.
    ControlEscapes escapes(rawErr);
    std::ostream err(&escapes);
    try {
        const ParsedCommandLine parsed = parseCommandLine(argc, argv, out, err);
        if (!parsed.options)
            return parsed.exitCode;

        if (parsed.options->putBack)
            return runAnyPutBack(*parsed.options, out, err, rawErr, environment);
        const SourceList list =
            expandSources(parsed.options->sources, [] { return stopSignal() == 0; });
        for (const std::string& problem : list.problems)
            err << "glintmark-cli: " << problem << '\n';
        if (stopSignal() != 0) {
            err << "glintmark-cli: interrupted by " << signalName(stopSignal()) << '\n';
            return 128 + stopSignal();
        }
        if (list.files.empty())
            return kExitFailure;
        const OutputPlan plan = planOutputFolders(list.files, parsed.options->outputDir,
                                                  parsed.options->folderPerSource, list.subfolders);
        if (!plan.problem.empty() && !parsed.options->list) {
            err << "glintmark-cli: " << plan.problem << '\n';
            return kExitUsage;
        }
        // All sources against all folders, before the first byte is read: a later source must
        // not be written over, or swept, by an earlier one's run.
        if (const std::string clash =
                sourceInAnotherFolder(list.files, plan, parsed.options->gallery);
            !clash.empty() && !parsed.options->list) {
            err << "glintmark-cli: " << clash << '\n';
            return kExitUsage;
        }
        return runSources(*parsed.options, list, plan, out, err, rawErr, environment);
    } catch (const std::exception& error) {
        err << "glintmark-cli: " << error.what() << '\n';
        return kExitFailure;
    }
}

} // namespace glintmark::cli
