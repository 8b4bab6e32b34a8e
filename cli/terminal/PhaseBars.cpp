#include "cli/terminal/PhaseBars.h"

namespace glintmark::cli {

PhaseBars::PhaseBars(std::ostream* stream, std::string name, bool nameReading,
                     ProgressBar::Columns columns)
    : m_stream(stream), m_name(std::move(name)), m_nameReading(nameReading),
      m_columns(std::move(columns))
{}

PhaseBars::~PhaseBars()
{
    finish();
}

void PhaseBars::setName(std::string name)
{
    finish();
    m_name = std::move(name);
}

void PhaseBars::measureAcrossNames()
{
    m_acrossNames = true;
}

void PhaseBars::restartMeasures()
{
    m_origins.clear();
}

void PhaseBars::update(features::Phase phase, const Progress& progress,
                       ProgressBar::Clock::time_point now)
{
    if (!m_stream)
        return;
    if (m_phase != phase) {
        finish();
        m_phase = phase;
        const bool named = phase != features::Phase::Reading || m_nameReading;
        m_bar = std::make_unique<ProgressBar>(
            *m_stream, named ? m_name + " (" + features::phaseName(phase) + ")" : m_name, m_columns,
            phase != features::Phase::Reading || progress.sourceSize > 0 || m_acrossNames);
        if (const auto origin = m_origins.find(phase); m_acrossNames && origin != m_origins.end())
            m_bar->continueFrom(origin->second);
    }
    m_bar->update(progress, now);
    if (m_acrossNames)
        m_origins.emplace(phase, m_bar->origin());
}

void PhaseBars::end(features::Phase phase)
{
    if (m_phase == phase)
        finish();
}

void PhaseBars::wipe()
{
    if (m_bar)
        m_bar->finish();
}

void PhaseBars::finish()
{
    wipe();
    m_bar.reset();
    m_phase.reset();
}

} // namespace glintmark::cli
