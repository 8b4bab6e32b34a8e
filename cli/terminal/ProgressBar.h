#pragma once

#include "engine/ExtractTypes.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <iosfwd>
#include <string>

namespace glintmark::cli {

// A one-line progress bar redrawn in place on a terminal stream: the name, the bar, the
// percentage, the images counted so far, the rate and, once the rate is known, the time left,
// both measured from the bar's first update
// ("a.ldb [#####.....]  50% 1,234 images 12.3 MB/s 0:42 left"). The line always fits in the
// terminal's width less three columns, so neither it nor the "^C" a terminal echoes behind it
// wraps. Redraws are throttled, so calling update after every block costs next to nothing.
class ProgressBar
{
public:
    using Clock = std::chrono::steady_clock;

    // Least time between two redraws.
    static constexpr std::chrono::milliseconds kRedrawInterval{100};
    // The time left is shown once this long has passed and kEstimateAfterPercent of the work
    // is done since the first update: before that the rate says little.
    static constexpr std::chrono::seconds kEstimateAfter{1};
    static constexpr int kEstimateAfterPercent = 1;
    // The width assumed when the terminal does not tell its own.
    static constexpr int kDefaultColumns = 80;

    // The terminal's width in columns, asked at every redraw and wipe.
    using Columns = std::function<int()>;

    // A bar for the source shown as `label`, its control characters, tabs, line ends and bytes
    // that are not UTF-8 written out (escapeLabel); `columns` tells the terminal's width
    // (kDefaultColumns when empty). Without `sizeKnown` (a pipe) the line shows the megabytes
    // read in place of the bar, the percentage and the time left.
    ProgressBar(std::ostream& stream, const std::string& label, Columns columns = {},
                bool sizeKnown = true);

    // Takes the progress at time `now`; redraws when the last redraw is old enough, or at once
    // when the bar was wiped or the terminal's width changed. The first update draws, and the
    // rate and the time left count from it.
    void update(const Progress& progress, Clock::time_point now);

    // Wipes the bar's line so the next output starts on a clean line; the bar is drawn again
    // at the next update.
    void finish();

    // How many times the bar was drawn, so the limit on redraws can be watched.
    std::size_t redraws() const { return m_redraws; }

    // Where the rate and the time left are measured from: the time of the first update and
    // what it brought.
    struct Origin
    {
        Clock::time_point start;
        Progress first;
    };
    // The bar's origin; meaningful once it has taken an update.
    Origin origin() const { return {m_start, m_first}; }
    // Measures from `origin` rather than from the first update: a bar that goes on with the work
    // of a bar before it (the next level of a game) keeps its rate and its time left.
    void continueFrom(const Origin& origin)
    {
        m_start = origin.start;
        m_first = origin.first;
        m_measured = true;
    }

    // The line drawn for `progress`, `elapsed` after the first update brought `first`, on a
    // terminal `columns` wide, without the carriage return: at most columns - 3 long. Where the
    // whole line does not fit, the rate goes first, then the bar shortens, then the label, then the
    // bar, the count, the label and the time left go in turn; the percentage (for a pipe, the
    // megabytes read) stays.
    static std::string render(const std::string& label, const Progress& progress,
                              Clock::duration elapsed, int columns = kDefaultColumns,
                              const Progress& first = {}, bool sizeKnown = true);

private:
    int columns() const;

    std::ostream& m_stream;
    std::string m_label;
    Clock::time_point m_start{}; // the first update's time
    Progress m_first;            // and what it brought
    bool m_measured = false;     // the two above are set
    Columns m_columns;
    bool m_sizeKnown;
    Clock::time_point m_lastRedraw{};
    std::size_t m_redraws = 0;
    std::size_t m_lineWidth = 0; // what the terminal shows of the bar, to be covered or wiped
    int m_drawnColumns = 0;      // the width the last line was drawn for
};

} // namespace glintmark::cli
