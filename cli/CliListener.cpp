#include "cli/CliListener.h"

#include "cli/terminal/Signals.h"
#include "engine/Percent.h"

#include <algorithm>

namespace glintmark::cli {

void CliListener::onProgress(features::Phase phase, const Progress& progress)
{
    if (phase != features::Phase::Reading || m_total == 0) {
        m_bars.update(phase, progress);
        return;
    }
    Progress whole = progress;
    whole.bytesRead = std::min(m_total, m_before + progress.bytesRead);
    whole.sourceSize = m_total;
    whole.percent = percentOf(whole.bytesRead, whole.sourceSize);
    m_bars.update(phase, whole);
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
