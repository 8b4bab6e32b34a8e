#include "cli/SourcesView.h"

#include "cli/report/HumanReport.h"
#include "cli/report/JsonReport.h"
#include "cli/terminal/ControlEscapes.h"
#include "cli/terminal/Signals.h"
#include "engine/io/PathText.h"
#include "features/gallery/GalleryPage.h"
#include "features/game/GameTextures.h"
#include "features/game/SourcesRun.h"

#include <ostream>

namespace glintmark::cli {
namespace {

constexpr const char* kProgram = "glintmark-cli: ";

// What a source's bar is called: its name (a game's level by its path in the game), counted
// off among several ("[2/40] maps/castle.ldb"); the bar keeps the counter whole.
std::string barName(const features::LevelStart& level)
{
    std::string shown =
        escapeControls(displayPath(level.game ? level.name : level.source.filename()));
    if (level.count < 2)
        return shown;
    return "[" + std::to_string(level.index + 1) + "/" + std::to_string(level.count) + "] " + shown;
}

} // namespace

void SourcesView::onListed(const features::SourceList& list)
{
    m_problems = list.problems;
    for (const ExtractError& problem : list.problems)
        m_err << kProgram << problem.message << '\n';
}

void SourcesView::onPlanned(const features::SourceList& list, const features::OutputPlan& plan)
{
    if (m_options.json) {
        m_planned = list.files;
        m_plannedFolders = plan.folders;
    }
    openReport();
}

void SourcesView::levelsNotRun(const ExtractError& error)
{
    if (!m_options.json)
        return;
    for (std::size_t i = 0; i < m_planned.size() && i < m_plannedFolders.size(); ++i) {
        LevelOutcome outcome;
        outcome.source = m_planned[i];
        outcome.folder = m_plannedFolders[i];
        outcome.result.status = RunStatus::Failed;
        outcome.result.error = error;
        m_report->beginSource(outcome.source, outcome.folder);
        m_report->endSource(outcome);
    }
    m_watch.check();
}

void SourcesView::openReport()
{
    if (m_report)
        return;
    const RunMode mode = m_options.list ? RunMode::ListOnly : RunMode::Write;
    if (m_options.json)
        m_report = std::make_unique<JsonReport>(m_reportOut, mode);
    else {
        auto human =
            std::make_unique<HumanReport>(m_reportOut, mode, m_options.quiet, m_options.check,
                                          m_options.verbose, m_options.gallery);
        m_human = human.get();
        m_report = std::move(human);
    }
    m_watch.check();
    setReport(m_report.get());
}

void SourcesView::onLevelStart(const features::LevelStart& level)
{
    m_bars.setName(barName(level));
    m_game = level.game;
    if (m_human != nullptr)
        m_human->levelsOfGame(level.game);
    m_report->beginSource(level.source, level.folder);
    m_watch.check();
    if (level.count > 1)
        coverWholeSet(level.bytesBefore, level.totalBytes, m_imagesBefore);
}

void SourcesView::onLevelEnd(const LevelOutcome& outcome)
{
    // Nothing more of this source is drawn: its closing lines take the bar's place.
    m_bars.finish();
    m_imagesBefore += outcome.result.count;
    m_report->endSource(outcome);
    m_watch.check();
    m_interruptionTold = tellLevelEnd(outcome) || m_interruptionTold;
}

void SourcesView::onTextures(const features::GameTextures& textures)
{
    m_report->textures(textures);
    tellCopies(textures);
}

void SourcesView::gameFilesWritten()
{
    // Without the page or the index, the game's run wrote nothing of its own to point to.
    if (m_human == nullptr || !m_game || m_options.list ||
        (!m_options.gallery && m_options.noIndex))
        return;
    const std::string_view file = m_options.gallery ? features::kGalleryName : features::kIndexName;
    m_human->whereToLook((m_options.gallery ? "; open " : "; index: ") +
                         displayPath(m_options.outputDir / std::string(file)));
}

bool SourcesView::tellLevelEnd(const LevelOutcome& outcome)
{
    const RunMode mode = m_options.list ? RunMode::ListOnly : RunMode::Write;
    bool interrupted = false;
    if (outcome.result.status == RunStatus::Stopped && stopSignal() != 0) {
        m_err << interruptedLine(outcome, mode, signalName(stopSignal()));
        interrupted = true;
    } else if (outcome.result.status != RunStatus::Stopped) {
        m_err << errorLines(outcome, mode);
    }
    if (outcome.result.status == RunStatus::Completed && outcome.result.count == 0 &&
        !m_options.quiet)
        m_err << kProgram << "No JFIF signature found in " << sourceName(outcome.source) << '\n';
    m_err << std::flush;
    return interrupted;
}

void SourcesView::tellCopies(const features::GameTextures& textures)
{
    if (const auto& problem = textures.linkProblem()) {
        m_err << kProgram << displayPath(problem->file)
              << ": cannot be a hard link to the earlier file with the same bytes: "
              << problem->reason.message() << "; " << textures.copies()
              << (textures.copies() == 1 ? " image was" : " images were") << " written as copies\n";
    }
}

} // namespace glintmark::cli
