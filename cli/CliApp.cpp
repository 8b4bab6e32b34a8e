#include "cli/CliApp.h"

#include "cli/CliListener.h"
#include "cli/CliOptions.h"
#include "cli/ExitCode.h"
#include "cli/OutputPlan.h"
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
#include "engine/io/PathText.h"
#include "features/LevelExtraction.h"
#include "features/putback/GamePutBack.h"
#include "features/putback/PutBack.h"

#include <exception>
#include <memory>
#include <ostream>

namespace glintmark::cli {
namespace {

// Extracts (or lists) every source, with a bar per phase on `barStream`: the raw error stream,
// where `err` is the same with its control characters shown.
int runSources(const CliOptions& options, const OutputPlan& plan, std::ostream& out,
               std::ostream& err, std::ostream& barStream, const CliEnvironment& environment)
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

    features::LevelRunSettings settings;
    settings.mode = mode;
    settings.trim = options.trim;
    settings.check = options.check;
    settings.gallery = options.gallery;
    settings.writers = options.writers;

    bool anyFailed = false;
    bool interruptionTold = false;
    for (std::size_t i = 0; i < options.sources.size() && stopSignal() == 0 && watch.check(); ++i) {
        const std::filesystem::path& source = options.sources[i];
        bars.setName(escapeControls(displayPath(source.filename())));
        report->beginSource(source, plan.folders[i]);
        watch.check();
        CliListener listener(bars, report.get(), watch);
        const LevelOutcome outcome =
            features::extractLevel(source, plan.folders[i], settings, listener);
        // Nothing more of this source is drawn: its closing lines take the bar's place.
        bars.finish();
        report->endSource(outcome);
        watch.check();
        anyFailed = anyFailed || outcome.result.status != RunStatus::Completed;
        if (outcome.result.status == RunStatus::Stopped && stopSignal() != 0) {
            err << interruptedLine(outcome, mode, signalName(stopSignal()));
            interruptionTold = true;
        } else if (outcome.result.status != RunStatus::Stopped) {
            err << errorLines(outcome, mode);
        }
        if (outcome.result.status == RunStatus::Completed && outcome.result.count == 0 &&
            !options.quiet)
            err << "glintmark-cli: No JFIF signature found in " << displayPath(source) << '\n';
        err << std::flush;
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
        const OutputPlan plan = planOutputFolders(
            parsed.options->sources, parsed.options->outputDir, parsed.options->folderPerSource);
        if (!plan.problem.empty() && !parsed.options->list) {
            err << "glintmark-cli: " << plan.problem << '\n';
            return kExitUsage;
        }
        // All sources against all folders, before the first byte is read: a later source must
        // not be written over, or swept, by an earlier one's run.
        if (const std::string clash =
                sourceInAnotherFolder(parsed.options->sources, plan, parsed.options->gallery);
            !clash.empty() && !parsed.options->list) {
            err << "glintmark-cli: " << clash << '\n';
            return kExitUsage;
        }
        return runSources(*parsed.options, plan, out, err, rawErr, environment);
    } catch (const std::exception& error) {
        err << "glintmark-cli: " << error.what() << '\n';
        return kExitFailure;
    }
}

} // namespace glintmark::cli
