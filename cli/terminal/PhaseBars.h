#pragma once

#include "cli/terminal/ProgressBar.h"
#include "features/RunEvents.h"

#include <iosfwd>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace glintmark::cli {

// One progress bar per phase of a run, drawn one after the other on a terminal stream: "a.ldb"
// while reading, then "a.ldb (decoding)". Draws nothing without a stream; wipes what it drew
// when it goes.
class PhaseBars
{
public:
    // Bars for the source shown as `name` on `stream` (none when null) as wide as `columns`
    // says; with `nameReading`, the reading phase is named too, as in "a.ldb (reading)".
    PhaseBars(std::ostream* stream, std::string name, bool nameReading,
              ProgressBar::Columns columns = {});
    ~PhaseBars();
    PhaseBars(const PhaseBars&) = delete;
    PhaseBars& operator=(const PhaseBars&) = delete;

    // Finishes the drawn bar; the bars that follow are for the source shown as `name`.
    void setName(std::string name);
    // From now on a phase's bar goes on measuring its rate and time left from where the first
    // bar of that phase began, across names: the progress is the whole set's, not one source's,
    // and its percentage is known even where a total size is not.
    void measureAcrossNames();
    // Forgets where the phases' bars began: the next bar of each phase measures from its own
    // first update again.
    void restartMeasures();
    // Takes the progress of `phase` at `now`; a new phase wipes the bar of the one before.
    void update(features::Phase phase, const Progress& progress,
                ProgressBar::Clock::time_point now = ProgressBar::Clock::now());
    // Wipes the bar of `phase` if it is the one drawn.
    void end(features::Phase phase);
    // Wipes the drawn bar so that a line of output can take its place; the same phase's bar
    // comes back at its next update.
    void wipe();
    // Wipes whichever bar is drawn and ends its phase.
    void finish();

private:
    std::ostream* m_stream;
    std::string m_name;
    bool m_nameReading;
    ProgressBar::Columns m_columns;
    std::optional<features::Phase> m_phase;
    std::unique_ptr<ProgressBar> m_bar;
    bool m_acrossNames = false;
    std::map<features::Phase, ProgressBar::Origin> m_origins; // with m_acrossNames
};

} // namespace glintmark::cli
