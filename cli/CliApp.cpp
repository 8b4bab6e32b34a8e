#include "cli/CliApp.h"

#include "cli/CliListener.h"
#include "cli/CliOptions.h"
#include "cli/ExitCode.h"
#include "cli/SourcesView.h"
#include "cli/report/OutputWatch.h"
#include "cli/report/PutBackReport.h"
#include "cli/terminal/ControlEscapes.h"
#include "cli/terminal/PhaseBars.h"
#include "cli/terminal/Signals.h"
#include "cli/terminal/WholeLines.h"
#include "engine/io/PathText.h"
#include "features/game/SourcesRun.h"
#include "features/putback/PutBackRun.h"

#include <exception>
#include <ostream>

namespace glintmark::cli {
namespace {

constexpr const char* kProgram = "glintmark-cli: ";

// What the options ask of the run over the sources.
features::SourcesRequest sourcesRequest(const CliOptions& options)
{
    features::SourcesRequest request;
    request.sources = options.sources;
    request.outputDir = options.outputDir;
    request.folderPerSource = options.folderPerSource;
    request.mode = options.list ? RunMode::ListOnly : RunMode::Write;
    request.trim = options.trim;
    request.check = options.check;
    request.gallery = options.gallery;
    request.dedupe = options.dedupe;
    request.force = options.force;
    request.index = !options.noIndex;
    request.writers = options.writers;
    return request;
}

// How the whole run over the sources went, for the report.
RunSummary runSummary(const features::SourcesOutcome& outcome, const SourcesView& view)
{
    RunSummary summary;
    switch (outcome.status) {
    case features::SourcesStatus::Completed:
        summary.status = RunStatus::Completed;
        break;
    case features::SourcesStatus::Stopped:
        summary.status = RunStatus::Stopped;
        break;
    default:
        summary.status = RunStatus::Failed;
        break;
    }
    summary.problems = view.problems();
    summary.error = outcome.folderError ? outcome.folderError : outcome.filesError;
    return summary;
}

// The exit status of a run over the sources that got past its planning, or ended before it
// for want of a level or at a stop, with the last lines it calls for on `err`. The report is
// finished whatever happened, so the JSON is one whole document.
int endOfSources(const features::SourcesOutcome& outcome, SourcesView& view, OutputWatch& watch,
                 std::ostream& err)
{
    view.openReport();
    if (outcome.folderError) {
        err << kProgram << outcome.folderError->message << '\n';
        view.levelsNotRun(*outcome.folderError);
    }
    if (outcome.filesError)
        err << kProgram << outcome.filesError->message << '\n';
    else if (outcome.status != features::SourcesStatus::Stopped && outcome.textures)
        view.gameFilesWritten();
    view.report()->summary(runSummary(outcome, view));
    view.report()->finish();
    if (!watch.check()) {
        err << watch.failureLine() << std::flush;
        return kExitFailure;
    }
    if (stopSignal() != 0) {
        if (!view.interruptionTold())
            err << kProgram << "interrupted by " << signalName(stopSignal()) << '\n';
        return 128 + stopSignal();
    }
    return outcome.status == features::SourcesStatus::Completed ? kExitSuccess : kExitFailure;
}

// Extracts (or lists) every source, with a bar per phase on `barStream`: the raw error stream,
// where `err` is the same with its control characters shown.
int runSources(const CliOptions& options, std::ostream& out, std::ostream& err,
               std::ostream& barStream, const CliEnvironment& environment)
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
    OutputWatch watch(reportOut);
    SourcesView view(options, bars, watch, reportOut, err);

    const features::SourcesOutcome outcome = features::runSources(sourcesRequest(options), view);
    if (outcome.status == features::SourcesStatus::Refused) {
        err << kProgram << outcome.refusal << '\n';
        return kExitUsage;
    }
    return endOfSources(outcome, view, watch, err);
}

// What the options ask of a put-back.
features::PutBackSettings putBackSettings(const CliOptions& options)
{
    features::PutBackSettings settings;
    settings.source = options.sources.front();
    settings.folder = *options.putBack;
    settings.into = options.into;
    settings.fit = options.fit;
    settings.ignoreUnmatched = options.ignoreUnmatched;
    settings.everywhere = options.everywhere;
    settings.dryRun = options.list;
    settings.pack = options.pack;
    return settings;
}

// What a put-back stopped on the way did not write: nothing in a dry run, else the new level or
// the game's new levels.
std::string notWritten(const features::PutBackRun& run, const features::PutBackSettings& settings)
{
    if (settings.dryRun)
        return "nothing was written";
    if (std::holds_alternative<features::GamePutBackRun>(run.run))
        return "no level under " + displayPath(settings.into) + " was written";
    return displayPath(settings.into) + " was not written";
}

// Puts the edited images back into the one source (a level, or every level of a game folder),
// with a bar per phase on `barStream`, the raw error stream.
int runPutBack(const CliOptions& options, std::ostream& rawOut, std::ostream& err,
               std::ostream& barStream, const CliEnvironment& environment)
{
    ControlEscapes escapes(rawOut);
    std::ostream shownOut(&escapes);
    std::ostream& out = options.json ? rawOut : shownOut;
    const features::PutBackSettings settings = putBackSettings(options);

    OutputWatch watch(out);
    PhaseBars bars(environment.stderrIsTerminal && !options.quiet ? &barStream : nullptr,
                   escapeControls(displayPath(settings.source.filename())), true,
                   environment.terminalColumns);
    CliListener listener(bars, nullptr, watch);
    const features::PutBackRun run = features::putBackSource(settings, listener);
    bars.finish();
    if (run.everywhereNeedsGame) {
        err << kProgram << "--everywhere puts textures back into a game folder; "
            << displayPath(settings.source) << " is not a folder\n";
        return kExitUsage;
    }
    if (run.packRefused) {
        err << kProgram << run.packRefused->message << "; nothing was read or written\n";
        return kExitFailure;
    }

    reportPutBack(run, settings.pack, options.json, options.quiet, options.verbose, out, err);
    if (!watch.check()) {
        err << watch.failureLine() << std::flush;
        return kExitFailure;
    }
    if (run.status() == PutBackStatus::Stopped) {
        err << kProgram << "interrupted by " << signalName(stopSignal()) << "; "
            << notWritten(run, settings) << '\n';
        return 128 + stopSignal();
    }
    const bool done =
        run.status() == PutBackStatus::Written || run.status() == PutBackStatus::DryRun;
    return done ? kExitSuccess : kExitFailure;
}

} // namespace

int runCli(int argc, const char* const* argv, std::ostream& out, std::ostream& rawErr,
           const CliEnvironment& environment)
{
    // Error lines name files: a name's control characters are shown, never obeyed.
    ControlEscapes escapes(rawErr);
    std::ostream err(&escapes);
    try {
        const ParsedCommandLine parsed =
            parseCommandLine(argc, argv, out, err, environment.helpColumns);
        if (!parsed.options)
            return parsed.exitCode;
        if (parsed.options->putBack)
            return runPutBack(*parsed.options, out, err, rawErr, environment);
        return runSources(*parsed.options, out, err, rawErr, environment);
    } catch (const std::exception& error) {
        err << kProgram << error.what() << '\n';
        return kExitFailure;
    }
}

} // namespace glintmark::cli
