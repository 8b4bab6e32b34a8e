#include "cli/CliListener.h"

#include "cli/terminal/Signals.h"

namespace glintmark::cli {

void CliListener::onProgress(features::Phase phase, const Progress& progress)
{
    m_bars.update(phase, progress);
}

void CliListener::onPhaseEnd(features::Phase phase)
{
    m_bars.end(phase);
}

void CliListener::onImage(const CheckedImage& image)
{
    if (m_report) {
        m_report->image(image);
        m_watch.check();
    }
}

bool CliListener::keepGoing()
{
    // A report that cannot be written ends the run as a signal does: nothing more is done for it.
    return stopSignal() == 0 && m_watch.check();
}

} // namespace glintmark::cli
