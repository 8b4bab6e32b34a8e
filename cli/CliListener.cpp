#include "cli/CliListener.h"

#include "cli/terminal/ControlEscapes.h"
#include "cli/terminal/Signals.h"
#include "engine/Percent.h"
#include "engine/io/PathText.h"

#include <algorithm>
#include <string>

namespace glintmark::cli {

namespace {

// The progress of level `step.index` of a pass over `step.count` levels as the pass's: each level
// a like share of it. A known size is scaled as if every level had this one's, so that the time
// left counts the levels still to come.
Progress wholePass(const features::LevelStep& step, const Progress& progress)
{
    Progress pass = progress;
    const auto count = static_cast<std::uint64_t>(std::max<std::size_t>(step.count, 1));
    const std::uint64_t index = std::min<std::uint64_t>(step.index, count - 1);
    const auto percent = static_cast<std::uint64_t>(std::clamp(progress.percent, 0, 100));
    pass.percent = static_cast<int>((index * 100 + percent) / count);
    if (progress.sourceSize > 0) {
        pass.sourceSize = progress.sourceSize * count;
        pass.bytesRead =
            progress.sourceSize * index + std::min(progress.bytesRead, progress.sourceSize);
    }
    return pass;
}

} // namespace

void CliListener::onProgress(features::Phase phase, const Progress& progress)
{
    if (m_step) {
        Progress pass = wholePass(*m_step, progress);
        // Never backwards within a pass, whatever a level's own phases do.
        int& shown = m_shown[phase];
        shown = std::max(shown, pass.percent);
        pass.percent = shown;
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
        m_shown.clear();
        m_bars.restartMeasures();
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
