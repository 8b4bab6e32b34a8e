#include "cli/terminal/ProgressBar.h"

#include <algorithm>
#include <cstdio>
#include <ostream>

namespace glintmark::cli {
namespace {

constexpr std::size_t kBarWidth = 30;
constexpr std::size_t kLabelWidth = 24;

std::string fitLabel(const std::string& label)
{
    if (label.size() <= kLabelWidth)
        return label + std::string(kLabelWidth - label.size(), ' ');
    return "..." + label.substr(label.size() - (kLabelWidth - 3));
}

} // namespace

ProgressBar::ProgressBar(std::ostream& stream, std::string label, Clock::time_point start)
    : m_stream(stream), m_label(std::move(label)), m_start(start)
{}

void ProgressBar::update(const Progress& progress, Clock::time_point now)
{
    if (m_redraws > 0 && now - m_lastRedraw < kRedrawInterval)
        return;
    m_lastRedraw = now;
    ++m_redraws;

    std::string line = render(m_label, progress, now - m_start);
    const std::size_t width = line.size();
    if (width < m_lineWidth)
        line.append(m_lineWidth - width, ' ');
    m_lineWidth = std::max(m_lineWidth, width);
    m_stream << '\r' << line << std::flush;
}

void ProgressBar::finish()
{
    if (m_lineWidth == 0)
        return;
    m_stream << '\r' << std::string(m_lineWidth, ' ') << '\r' << std::flush;
    m_lineWidth = 0;
}

std::string ProgressBar::render(const std::string& label, const Progress& progress,
                                Clock::duration elapsed)
{
    const int percent = std::clamp(progress.percent, 0, 100);
    const auto filled = static_cast<std::size_t>(percent) * kBarWidth / 100;

    std::string line = fitLabel(label);
    line += " [";
    line.append(filled, '#');
    line.append(kBarWidth - filled, '.');
    line += "] ";

    char numbers[64];
    const double seconds = std::chrono::duration<double>(elapsed).count();
    if (seconds > 0.0) {
        const double megabytesPerSecond = static_cast<double>(progress.bytesRead) / 1e6 / seconds;
        std::snprintf(numbers, sizeof numbers, "%3d%% %8.1f MB/s", percent, megabytesPerSecond);
    } else {
        std::snprintf(numbers, sizeof numbers, "%3d%%       -- MB/s", percent);
    }
    line += numbers;
    return line;
}

} // namespace glintmark::cli
