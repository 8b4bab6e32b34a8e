#pragma once

#include "cli/CliListener.h"
#include "cli/CliOptions.h"
#include "cli/report/HumanReport.h"
#include "cli/report/OutputWatch.h"
#include "cli/report/Report.h"
#include "cli/terminal/PhaseBars.h"
#include "features/game/SourcesRunTypes.h"

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <memory>
#include <vector>

namespace glintmark::cli {

// Shows a run over the sources as it goes: the folders that could not be read, a bar per
// phase named after the level, the report on `reportOut` (made once the sources are planned),
// and on `err` how each level ended and why images were kept as copies.
class SourcesView : public CliListener
{
public:
    SourcesView(const CliOptions& options, PhaseBars& bars, OutputWatch& watch,
                std::ostream& reportOut, std::ostream& err)
        : CliListener(bars, nullptr, watch), m_options(options), m_bars(bars), m_watch(watch),
          m_reportOut(reportOut), m_err(err)
    {}

    void onListed(const features::SourceList& list) override;
    void onPlanned(const features::SourceList& list, const features::OutputPlan& plan) override;
    void onLevelStart(const features::LevelStart& level) override;
    void onLevelEnd(const LevelOutcome& outcome) override;
    void onTextures(const features::GameTextures& textures) override;

    // A game's index (and page) are written: the report's last line says which to open.
    void gameFilesWritten();
    // Makes the report, unless the sources' planning already made it: a run that ended before
    // (no level to read, a stop while the sources were listed) still reports, with no source.
    void openReport();
    // The game's own folder could not be opened: the JSON report gives each planned level as
    // failed for `error`, as a level whose own folder cannot be opened is.
    void levelsNotRun(const ExtractError& error);

    // The report, once the sources are planned (or openReport() was called); null before.
    Report* report() const { return m_report.get(); }
    // The problems the listing of the sources named.
    const std::vector<ExtractError>& problems() const { return m_problems; }
    // Whether a level's end already said that a signal stopped the run.
    bool interruptionTold() const { return m_interruptionTold; }

private:
    // Says how a source's run ended, unless it simply completed; true when that was an
    // interruption by a signal.
    bool tellLevelEnd(const LevelOutcome& outcome);
    // Says once why images that could have been links were written as copies, if any were.
    void tellCopies(const features::GameTextures& textures);

    const CliOptions& m_options;
    PhaseBars& m_bars;
    OutputWatch& m_watch;
    std::ostream& m_reportOut;
    std::ostream& m_err;
    std::unique_ptr<Report> m_report;
    HumanReport* m_human = nullptr; // m_report, when it is the human one
    bool m_game = false;            // the levels are a game's
    std::vector<ExtractError> m_problems;
    // The planned levels and their folders, for levelsNotRun().
    std::vector<std::filesystem::path> m_planned;
    std::vector<std::filesystem::path> m_plannedFolders;
    bool m_interruptionTold = false;
    std::uint64_t m_imagesBefore = 0; // found in the sources before the one being read
};

} // namespace glintmark::cli
