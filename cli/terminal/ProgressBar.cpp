#include "cli/terminal/ProgressBar.h"

#include "cli/terminal/ControlEscapes.h"
#include "features/ImageStatus.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ostream>

namespace glintmark::cli {
namespace {

constexpr std::size_t kBarLength = 25;    // the bar's inside where there is room
constexpr std::size_t kShortestBar = 8;   // shorter than this, it goes
constexpr std::size_t kLongestLabel = 32; // a longer name keeps its end
constexpr std::size_t kShortLabel = 16;   // the bar goes rather than the name below this
constexpr std::size_t kShortestLabel = 8; // "...a.ldb": still tells two sources apart

// The columns the bar may touch: all but the terminal's last, so nothing it writes wraps.
std::size_t rowIn(int columns)
{
    return static_cast<std::size_t>(columns > 0 ? columns : ProgressBar::kDefaultColumns) - 1;
}

// The columns a line may fill: the row less two, where the terminal echoes a Ctrl+C as "^C"
// behind the line; that echo would otherwise wrap and leave the line behind on the row above.
std::size_t roomIn(int columns)
{
    const std::size_t row = rowIn(columns);
    return row > 2 ? row - 2 : 0;
}

bool continuationByte(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// The length of the counter "[12/40] " that `label` begins with, or 0 when it has none.
std::size_t counterLength(const std::string& label)
{
    const std::size_t close = label.find("] ");
    if (label.empty() || label[0] != '[' || close == std::string::npos || close < 4)
        return 0;
    for (std::size_t i = 1; i < close; ++i) {
        if ((label[i] < '0' || label[i] > '9') && label[i] != '/')
            return 0;
    }
    return close + 2;
}

// `label` cut to at most `length` bytes, never inside a UTF-8 character: a label that begins
// with a counter keeps it whole and loses the middle of what follows ("[3/40] zone02/...l2.ldb");
// any other keeps its end behind "...". A counter is never cut: where there is little room
// beside it, the label is the counter alone, even if that is longer than `length`.
std::string shortened(const std::string& label, std::size_t length)
{
    if (label.size() <= length)
        return label;
    if (const std::size_t counter = counterLength(label); counter > 0) {
        // A name shortened to fewer than six of its bytes would tell nothing.
        if (length < counter + 3 + 6)
            return label.substr(0, counter - 1);
        const std::size_t keep = length - counter - 3;
        std::size_t headEnd = counter + keep / 2;
        while (headEnd > counter && continuationByte(label[headEnd]))
            --headEnd;
        std::size_t tailFrom = label.size() - (keep - keep / 2);
        while (tailFrom < label.size() && continuationByte(label[tailFrom]))
            ++tailFrom;
        return label.substr(0, headEnd) + "..." + label.substr(tailFrom);
    }
    std::size_t from = label.size() - (length - 3);
    while (from < label.size() && continuationByte(label[from]))
        ++from;
    return "..." + label.substr(from);
}

// The share of the work done, 0 to 1: the bytes of the size where the size is known, else the
// percentage.
double shareDone(const Progress& progress, int percent)
{
    if (progress.sourceSize > 0) {
        const double share =
            static_cast<double>(progress.bytesRead) / static_cast<double>(progress.sourceSize);
        return std::min(share, 1.0);
    }
    return percent / 100.0;
}

// "0:42 left", "12:05 left", "1:02:03 left", from the work done since `first`; empty until the
// rate is known or when nothing is left.
std::string timeLeft(const Progress& progress, const Progress& first,
                     ProgressBar::Clock::duration elapsed)
{
    const int percent = std::clamp(progress.percent, 0, 100);
    const double share = shareDone(progress, percent);
    const double done = share - shareDone(first, std::clamp(first.percent, 0, 100));
    if (elapsed < ProgressBar::kEstimateAfter || percent >= 100 ||
        done * 100.0 < ProgressBar::kEstimateAfterPercent)
        return {};
    const double seconds = std::chrono::duration<double>(elapsed).count() * (1.0 - share) / done;
    const long long left = std::llround(seconds);
    char text[48];
    if (left >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld left", left / 3600, left / 60 % 60,
                      left % 60);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld left", left / 60, left % 60);
    return text;
}

// The rate since `first`.
std::string rateText(const Progress& progress, const Progress& first,
                     ProgressBar::Clock::duration elapsed)
{
    const double seconds = std::chrono::duration<double>(elapsed).count();
    if (seconds <= 0.0)
        return "-- MB/s";
    const std::uint64_t bytes =
        progress.bytesRead > first.bytesRead ? progress.bytesRead - first.bytesRead : 0;
    char text[48];
    std::snprintf(text, sizeof text, "%.1f MB/s", static_cast<double>(bytes) / 1e6 / seconds);
    return text;
}

// "12.3 MB" read.
std::string megabytes(std::uint64_t bytes)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
    return text;
}

std::string countText(std::uint64_t images)
{
    if (images == 0)
        return {};
    return features::groupedNumber(images) + (images == 1 ? " image" : " images");
}

// The parts of one line; a part left out is empty (the bar: of length 0).
struct Parts
{
    std::string label;
    std::size_t bar = 0;
    int percent = 0;
    std::string count;
    std::string rate;
    std::string left;
    std::string amount; // in place of the percentage where the size is not known: "12.3 MB"

    // How wide the line of these parts is.
    std::size_t width() const
    {
        std::size_t width = amount.empty() ? 4 : amount.size(); // " 50%"
        if (!label.empty())
            width += label.size() + 1;
        if (bar > 0)
            width += bar + 3;
        for (const std::string* part : {&count, &rate, &left})
            width += part->empty() ? 0 : part->size() + 1;
        return width;
    }

    // Leaves out, shortens and drops parts until the line fits in `room`: the rate, then the
    // bar's length, then the label's, then the bar, the count, the label and the time left.
    void fit(std::size_t room)
    {
        const std::string whole = label;
        if (width() > room)
            rate.clear();
        if (width() > room && bar > 0)
            bar = std::max(kShortestBar, bar - std::min(bar, width() - room));
        if (width() > room)
            squeezeLabel(whole, kShortLabel, room);
        // Then whole parts, the least needed first, each giving the label back what it can.
        if (width() > room) {
            bar = 0;
            squeezeLabel(whole, kShortestLabel, room);
        }
        if (width() > room) {
            count.clear();
            squeezeLabel(whole, kShortestLabel, room);
        }
        for (std::string* part : {&label, &left}) {
            if (width() > room)
                part->clear();
        }
    }

    // Gives the label what the other parts leave of `room`, but no less than `shortest`.
    void squeezeLabel(const std::string& whole, std::size_t shortest, std::size_t room)
    {
        label.clear();
        const std::size_t others = width() + 1;
        label = shortened(whole, std::max(shortest, room > others ? room - others : 0));
    }

    std::string line() const
    {
        std::string line;
        if (!label.empty())
            line += label + " ";
        if (bar > 0) {
            const std::size_t filled = static_cast<std::size_t>(percent) * bar / 100;
            line += "[" + std::string(filled, '#') + std::string(bar - filled, '.') + "] ";
        }
        if (amount.empty()) {
            char number[8];
            std::snprintf(number, sizeof number, "%3d%%", percent);
            line += number;
        } else {
            line += amount;
        }
        for (const std::string* part : {&count, &rate, &left})
            line += part->empty() ? std::string() : " " + *part;
        return line;
    }
};

} // namespace

ProgressBar::ProgressBar(std::ostream& stream, const std::string& label, Columns columns,
                         bool sizeKnown)
    : m_stream(stream), m_label(escapeLabel(label)), m_columns(std::move(columns)),
      m_sizeKnown(sizeKnown)
{}

int ProgressBar::columns() const
{
    return m_columns ? m_columns() : kDefaultColumns;
}

void ProgressBar::update(const Progress& progress, Clock::time_point now)
{
    if (!m_measured) {
        m_start = now;
        m_first = progress;
        m_measured = true;
    }
    const int columns = this->columns();
    const bool resized = columns != m_drawnColumns;
    const bool wiped = m_redraws > 0 && m_lineWidth == 0;
    if (m_redraws > 0 && !resized && !wiped && now - m_lastRedraw < kRedrawInterval)
        return;
    m_lastRedraw = now;
    m_drawnColumns = columns;
    ++m_redraws;

    std::string line = render(m_label, progress, now - m_start, columns, m_first, m_sizeKnown);
    // Spaces cover what a longer line before left, as far as the terminal is wide now.
    const std::size_t cover = std::min(m_lineWidth, roomIn(columns));
    if (line.size() < cover)
        line.append(cover - line.size(), ' ');
    m_lineWidth = line.size();
    // One write, so that nothing the terminal echoes lands between the return and the line.
    m_stream << ('\r' + line) << std::flush;
}

void ProgressBar::finish()
{
    if (m_lineWidth == 0)
        return;
    // The wipe covers a "^C" echoed behind the line too.
    const std::size_t wipe = std::min(m_lineWidth + 2, rowIn(columns()));
    m_lineWidth = 0;
    m_stream << ('\r' + std::string(wipe, ' ') + '\r') << std::flush;
}

std::string ProgressBar::render(const std::string& label, const Progress& progress,
                                Clock::duration elapsed, int columns, const Progress& first,
                                bool sizeKnown)
{
    Parts parts;
    parts.percent = std::clamp(progress.percent, 0, 100);
    parts.label = shortened(label, kLongestLabel + counterLength(label));
    parts.bar = kBarLength;
    parts.count = countText(progress.imagesCompleted);
    parts.rate = rateText(progress, first, elapsed);
    parts.left = timeLeft(progress, first, elapsed);
    if (!sizeKnown) {
        // A pipe: how far the end is cannot be known, so the bytes read stand for the share.
        parts.bar = 0;
        parts.left.clear();
        parts.amount = megabytes(progress.bytesRead);
    }
    const std::size_t room = roomIn(columns);
    parts.fit(room);
    std::string line = parts.line();
    if (line.size() > room)
        line.resize(room); // narrower than the percentage itself
    return line;
}

} // namespace glintmark::cli
