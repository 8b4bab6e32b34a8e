#include "cli/CliApp.h"

#include "cli/CliOptions.h"
#include "cli/ExitCode.h"
#include "cli/HumanReport.h"
#include "cli/JsonReport.h"
#include "cli/OutputPlan.h"
#include "cli/ProgressBar.h"
#include "cli/PutBack.h"
#include "cli/PutBackReport.h"
#include "cli/Report.h"
#include "cli/Signals.h"
#include "cli/SourceRun.h"
#include "engine/io/PathText.h"

#include <cerrno>
#include <cstring>
#include <exception>
#include <memory>
#include <ostream>

namespace glintmark::cli {
namespace {

// Watches the output stream: the first write that fails is remembered with the system's reason.
class OutputWatch
{
public:
    explicit OutputWatch(std::ostream& out) : m_out(out) {}

    // Whether everything written so far went out; remembers errno at the first failure, so it
    // is called straight after every write.
    bool check()
    {
        if (m_out.good())
            return true;
        if (!m_failed) {
            m_failed = true;
            m_reason = errno;
        }
        return false;
    }

    // The line for a lost report; none when the reader has gone away (a closed pipe), since
    // there is then nobody left to tell.
    std::string failureLine() const
    {
        if (m_reason == EPIPE)
            return {};
        std::string line = "glintmark-cli: Cannot write to standard output";
        if (m_reason != 0)
            line += std::string(": ") + std::strerror(m_reason);
        return line + "\n";
    }

private:
    std::ostream& m_out;
    bool m_failed = false;
    int m_reason = 0;
};

int runSources(const CliOptions& options, const OutputPlan& plan, std::ostream& out,
               std::ostream& err, const CliEnvironment& environment)
{
    const RunMode mode = options.list ? RunMode::ListOnly : RunMode::Write;
    std::unique_ptr<Report> report;
    if (options.json)
        report = std::make_unique<JsonReport>(out, mode);
    else
        report = std::make_unique<HumanReport>(out, mode, options.quiet, options.check);
    OutputWatch watch(out);

    SourceRunSettings settings;
    settings.mode = mode;
    settings.trim = options.trim;
    settings.check = options.check;
    settings.gallery = options.gallery;
    if (environment.stderrIsTerminal && !options.quiet)
        settings.progressStream = &err;
    settings.onImage = [&](const ImageInfo& image) {
        report->image(image);
        watch.check();
    };
    // A report that cannot be written ends the run as a signal does: nothing more is done for it.
    settings.keepGoing = [&] { return stopSignal() == 0 && watch.check(); };

    bool anyFailed = false;
    bool interruptionTold = false;
    for (std::size_t i = 0; i < options.sources.size() && settings.keepGoing(); ++i) {
        report->beginSource(options.sources[i], plan.folders[i]);
        watch.check();
        const SourceOutcome outcome = extractSource(options.sources[i], plan.folders[i], settings);
        report->endSource(outcome);
        watch.check();
        anyFailed = anyFailed || outcome.result.status != RunStatus::Completed;
        if (outcome.result.status == RunStatus::Stopped && stopSignal() != 0) {
            err << interruptedLine(outcome, mode, stopSignal());
            interruptionTold = true;
        } else if (outcome.result.status != RunStatus::Stopped) {
            err << errorLines(outcome, mode);
        }
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

// Puts the edited images back into a copy of the one source, with a bar per phase on a terminal.
int runPutBack(const CliOptions& options, std::ostream& out, std::ostream& err,
               const CliEnvironment& environment)
{
    PutBackRequest request;
    request.source = options.sources.front();
    request.folder = *options.putBack;
    request.into = options.into;
    request.fit = options.fit;
    request.dryRun = options.list;

    std::unique_ptr<ProgressBar> bar;
    std::string barPhase;
    PutBackProgress progress;
    if (environment.stderrIsTerminal && !options.quiet) {
        progress.onProgress = [&](const char* phase, const Progress& now) {
            if (barPhase != phase) {
                if (bar)
                    bar->finish();
                barPhase = phase;
                bar = std::make_unique<ProgressBar>(
                    err, displayPath(request.source.filename()) + " (" + barPhase + ")",
                    ProgressBar::Clock::now());
            }
            bar->update(now, ProgressBar::Clock::now());
        };
    }
    progress.keepGoing = [] { return stopSignal() == 0; };
    const PutBackOutcome outcome = putBack(request, progress);
    if (bar)
        bar->finish();

    OutputWatch watch(out);
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

} // namespace

int runCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
           const CliEnvironment& environment)
{
    try {
        const ParsedCommandLine parsed = parseCommandLine(argc, argv, out, err);
        if (!parsed.options)
            return parsed.exitCode;

        if (parsed.options->putBack)
            return runPutBack(*parsed.options, out, err, environment);
        const OutputPlan plan =
            planOutputFolders(parsed.options->sources, parsed.options->outputDir);
        if (!plan.problem.empty() && !parsed.options->list) {
            err << "glintmark-cli: " << plan.problem << '\n';
            return kExitUsage;
        }
        return runSources(*parsed.options, plan, out, err, environment);
    } catch (const std::exception& error) {
        err << "glintmark-cli: " << error.what() << '\n';
        return kExitFailure;
    }
}

} // namespace glintmark::cli
