#pragma once

#include "cli/report/OutputWatch.h"
#include "cli/report/Report.h"
#include "cli/terminal/PhaseBars.h"
#include "features/game/SourcesRunTypes.h"

#include <map>
#include <optional>

namespace glintmark::cli {

// Listens to a run for the command line: draws the bars, hands each image to the report, and
// stops the run at a signal or once the report can no longer be written. A run over several
// sources is told by a listener built on this one.
class CliListener : public features::SourcesEvents
{
public:
    // `report` may be null (put-back reports at the end).
    CliListener(PhaseBars& bars, Report* report, OutputWatch& watch)
        : m_bars(bars), m_report(report), m_watch(watch)
    {}

    // From now on the reading's progress counts the whole set of sources: `before` bytes of
    // the sources already read, of `total`, and `imagesBefore` images found in them.
    void coverWholeSet(std::uint64_t before, std::uint64_t total, std::uint64_t imagesBefore)
    {
        m_before = before;
        m_total = total;
        m_imagesBefore = imagesBefore;
        m_bars.measureAcrossNames();
    }

    // The report each image goes to from now on (null: none).
    void setReport(Report* report) { m_report = report; }

    void onProgress(features::Phase phase, const Progress& progress) override;
    // A game's put-back moves on to the next level of a pass: the bars are named after it,
    // counted off ("[2/40] maps/castle.ldb"), and each phase's bar covers the whole pass.
    void onLevel(const features::LevelStep& step) override;
    void onPhaseEnd(features::Phase phase) override;
    void onImage(const CheckedImage& image) override;
    bool keepGoing() override;

private:
    PhaseBars& m_bars;
    Report* m_report;
    OutputWatch& m_watch;
    std::uint64_t m_before = 0;
    std::uint64_t m_total = 0; // 0: each source's progress on its own
    std::uint64_t m_imagesBefore = 0;
    // What a phase's bar has shown of a game's put-back pass.
    struct PassPhase
    {
        std::uint64_t bytesBefore = 0; // of the pass's levels before this one
        std::uint64_t levelBytes = 0;  // of this level, as last heard
        int shown = 0;                 // the percentage shown last
    };
    std::optional<features::LevelStep> m_step; // the level of a game's put-back pass
    std::map<features::Phase, PassPhase> m_pass;
};

} // namespace glintmark::cli
