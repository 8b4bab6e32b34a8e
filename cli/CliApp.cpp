#include "cli/CliApp.h"

#include "cli/CliOptions.h"
#include "cli/ExitCode.h"
#include "cli/HumanReport.h"
#include "cli/JsonReport.h"
#include "cli/OutputPlan.h"
#include "cli/SourceRun.h"

#include <exception>
#include <ostream>

namespace glintmark::cli {
namespace {

int runSources(const CliOptions& options, const OutputPlan& plan, std::ostream& out,
               std::ostream& err, const CliEnvironment& environment)
{
    SourceRunSettings settings;
    settings.mode = options.list ? RunMode::ListOnly : RunMode::Write;
    settings.collectImages = options.list || options.json || options.check || options.gallery;
    settings.trim = options.trim;
    settings.check = options.check;
    settings.gallery = options.gallery;
    if (environment.stderrIsTerminal && !options.quiet)
        settings.progressStream = &err;

    bool anyFailed = false;
    std::vector<SourceOutcome> outcomes;
    for (std::size_t i = 0; i < options.sources.size(); ++i) {
        SourceOutcome outcome = extractSource(options.sources[i], plan.folders[i], settings);
        const bool failed = outcome.result.status != RunStatus::Completed;
        anyFailed = anyFailed || failed;
        err << errorLines(outcome, settings.mode) << std::flush;

        if (options.json) {
            outcomes.push_back(std::move(outcome));
            continue;
        }
        if (options.list && (!failed || !outcome.images.empty()))
            writeImageTable(out, outcome);
        if (!options.quiet && !failed)
            out << summaryLine(outcome, settings.mode) << '\n';
        out << std::flush;
    }

    if (options.json)
        out << jsonReport(outcomes, settings.mode) << std::flush;
    return anyFailed ? kExitFailure : kExitSuccess;
}

} // namespace
} // namespace glintmark::cli

int runCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
           const CliEnvironment& environment)
{
    using namespace glintmark::cli;
    try {
        const ParsedCommandLine parsed = parseCommandLine(argc, argv, out, err);
        if (!parsed.options)
            return parsed.exitCode;

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
