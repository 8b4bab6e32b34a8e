#pragma once

#include "engine/Extraction.h"

#include <chrono>
#include <cstddef>
#include <iosfwd>
#include <string>

namespace glintmark::cli {

// A one-line progress bar (name, bar, percentage, MB/s) redrawn in place on a terminal stream.
// Redraws are throttled, so calling update after every block costs next to nothing.
class ProgressBar
{
public:
    using Clock = std::chrono::steady_clock;

    // Least time between two redraws.
    static constexpr std::chrono::milliseconds kRedrawInterval{100};

    // A bar for the source shown as `label`; `start` is when reading began, for the rate.
    ProgressBar(std::ostream& stream, std::string label, Clock::time_point start);

    // Takes the run's progress at time `now`; redraws when the last redraw is old enough.
    void update(const Progress& progress, Clock::time_point now);

    // Wipes the bar's line so the next output starts on a clean line.
    void finish();

    // How many times the bar was drawn, so the limit on redraws can be watched.
    std::size_t redraws() const { return m_redraws; }

    // The line drawn for `progress` after `elapsed` time, without the carriage return.
    static std::string render(const std::string& label, const Progress& progress,
                              Clock::duration elapsed);

private:
    std::ostream& m_stream;
    std::string m_label;
    Clock::time_point m_start;
    Clock::time_point m_lastRedraw{};
    std::size_t m_redraws = 0;
    std::size_t m_lineWidth = 0;
};

} // namespace glintmark::cli
