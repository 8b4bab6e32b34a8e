#include "cli/terminal/PhaseBars.h"

namespace glintmark::cli {

PhaseBars::PhaseBars(std::ostream* stream, std::string name, bool nameReading,
                     ProgressBar::Columns columns)
    : m_stream(stream), m_name(std::move(name)), m_nameReading(nameReading),
      m_columns(std::move(columns))
{}

void PhaseBars::update(features::Phase phase, const Progress& progress)
{
    if (!m_stream)
        return;
    if (m_phase != phase) {
        finish();
        m_phase = phase;
        const bool named = phase != features::Phase::Reading || m_nameReading;
        m_bar = std::make_unique<ProgressBar>(
            *m_stream, named ? m_name + " (" + features::phaseName(phase) + ")" : m_name,
            ProgressBar::Clock::now(), m_columns);
    }
    m_bar->update(progress, ProgressBar::Clock::now());
}

void PhaseBars::end(features::Phase phase)
{
    if (m_phase == phase)
        finish();
}

void PhaseBars::finish()
{
    if (m_bar)
        m_bar->finish();
    m_bar.reset();
    m_phase.reset();
}

} // namespace glintmark::cli
