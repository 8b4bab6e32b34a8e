#include "cli/CliListener.h"

#include "cli/terminal/ControlEscapes.h"
#include "cli/terminal/Signals.h"
#include "engine/Percent.h"
#include "engine/io/PathText.h"

#include <algorithm>
#include <string>

namespace glintmark::cli {

namespace {

// The percentage of a pass over `step.count` levels, `percent` through level `step.index`: each
// level a like share of it.
int passPercent(const features::LevelStep& step, int percent)
{
    const auto count = static_cast<std::uint64_t>(std::max<std::size_t>(step.count, 1));
    const std::uint64_t index = std::min<std::uint64_t>(step.index, count - 1);
    return static_cast<int>(
        (index * 100 + static_cast<std::uint64_t>(std::clamp(percent, 0, 100))) / count);
}

} // namespace

void CliListener::onProgress(features::Phase phase, const Progress& progress)
{
    if (m_step) {
        // The pass's bytes so far, against no known total: its share is the percentage, which
        // never goes back within the pass, whatever a level's own phases do.
        PassPhase& seen = m_pass[phase];
        seen.levelBytes = progress.bytesRead;
        seen.shown = std::max(seen.shown, passPercent(*m_step, progress.percent));
        Progress pass = progress;
        pass.bytesRead = seen.bytesBefore + progress.bytesRead;
        pass.sourceSize = 0;
        pass.percent = seen.shown;
        m_bars.update(phase, pass);
        return;
    }
    if (phase != features::Phase::Reading || m_total == 0) {
        m_bars.update(phase, progress);
        return;
    }
    Progress whole = progress;
    whole.bytesRead = std::min(m_total, m_before + progress.bytesRead);
    whole.sourceSize = m_total;
    whole.percent = percentOf(whole.bytesRead, whole.sourceSize);
    whole.imagesCompleted = m_imagesBefore + progress.imagesCompleted;
    m_bars.update(phase, whole);
}

void CliListener::onLevel(const features::LevelStep& step)
{
    if (!m_step || step.index == 0 || step.searching != m_step->searching) {
        m_pass.clear();
        m_bars.measureAcrossNames();
        m_bars.restartMeasures();
    }
    for (auto& [phase, seen] : m_pass) {
        seen.bytesBefore += seen.levelBytes;
        seen.levelBytes = 0;
    }
    m_step = step;
    m_bars.setName("[" + std::to_string(step.index + 1) + "/" + std::to_string(step.count) + "] " +
                   escapeControls(displayPath(step.name)) + (step.searching ? ", everywhere" : ""));
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
