#include "ui/textures/TextureExport.h"

#include "features/game/SourcesRun.h"
#include "features/game/TextureIndex.h"
#include "ui/Platform.h"

#include <string>
#include <utility>

namespace glintmark::ui {

// Hears the export on its thread: its progress over all its levels, the images written, every
// failure, and which images each level is to write.
class TextureExport::Listener : public features::SourcesEvents
{
public:
    Listener(TextureExport* owner, JobThread::Job job, ExportChoices choices)
        : m_owner(owner), m_job(std::move(job)), m_choices(std::move(choices))
    {}

    void onListed(const features::SourceList& list) override
    {
        for (const ExtractError& problem : list.problems)
            addProblem(problem.message);
    }

    void onLevelStart(const features::LevelStart& level) override
    {
        m_level = features::levelText(level.name);
        m_seen.insert(m_level);
        m_bytesBefore = level.bytesBefore;
        m_totalBytes = level.totalBytes;
    }

    std::optional<std::set<std::uint64_t>> imagesToWrite() override
    {
        if (!m_choices.selectedOnly)
            return std::nullopt;
        const auto found = m_choices.chosen.find(m_level);
        return found == m_choices.chosen.end() ? std::set<std::uint64_t>{} : found->second;
    }

    void onProgress(features::Phase phase, const Progress& progress) override
    {
        if (phase != features::Phase::Reading || m_totalBytes == 0)
            return;
        const std::uint64_t done = m_bytesBefore + progress.bytesRead;
        const int percent =
            done >= m_totalBytes ? 100 : static_cast<int>(done * 100 / m_totalBytes);
        if (percent == m_percent)
            return;
        m_percent = percent;
        post([percent](TextureExport* run) { emit run->progressed(percent); });
    }

    void onLevelEnd(const features::LevelOutcome& outcome) override
    {
        m_written += outcome.result.count;
        if (outcome.result.error)
            addProblem(outcome.result.error->message);
    }

    bool keepGoing() override { return !m_job.stopping(); }

    // The export is over: how it ended, with every failure.
    void finish(const features::SourcesOutcome& outcome, const std::filesystem::path& folder)
    {
        ExportEnd end;
        end.stopped = outcome.status == features::SourcesStatus::Stopped;
        end.failed = outcome.status == features::SourcesStatus::Failed ||
                     outcome.status == features::SourcesStatus::Refused ||
                     outcome.status == features::SourcesStatus::NoLevels;
        end.written = m_written;
        end.folder = platform::fromPath(folder);
        if (!outcome.refusal.empty())
            addProblem(outcome.refusal);
        if (outcome.folderError)
            addProblem(outcome.folderError->message);
        if (outcome.filesError)
            addProblem(outcome.filesError->message);
        if (outcome.status == features::SourcesStatus::NoLevels && m_problems.isEmpty())
            addProblem("No level to read.");
        if (m_choices.selectedOnly && !end.stopped && noteLevelsNotFound())
            end.failed = true;
        end.message = m_problems.trimmed();
        m_job.finish([run = m_owner, end] { emit run->finished(end); });
    }

private:
    // Names each level with chosen textures that the run did not read (renamed or gone since
    // the listing), whose textures were therefore not written; whether there was one.
    bool noteLevelsNotFound()
    {
        bool missing = false;
        for (const auto& [level, numbers] : m_choices.chosen) {
            if (numbers.empty() || m_seen.count(level) != 0)
                continue;
            addProblem("The level \"" + level + "\" is no longer in the source; its " +
                       std::to_string(numbers.size()) + " chosen images were not written.");
            missing = true;
        }
        return missing;
    }

    void addProblem(const std::string& message)
    {
        m_problems += QString::fromStdString(message) + QLatin1Char('\n');
    }

    // Runs `call` on the window's thread, unless a later start() has made this export's news old.
    template <typename Call> void post(Call call)
    {
        m_job.post([owner = m_owner, call = std::move(call)] { call(owner); });
    }

    TextureExport* m_owner;
    JobThread::Job m_job;
    ExportChoices m_choices;
    std::string m_level;
    std::set<std::string> m_seen; // every level the run began
    QString m_problems;
    std::uint64_t m_written = 0;
    int m_percent = -1;
    std::uint64_t m_bytesBefore = 0;
    std::uint64_t m_totalBytes = 0;
};

TextureExport::TextureExport(QObject* parent) : QObject(parent), m_job(this)
{
    qRegisterMetaType<ExportEnd>();
}

TextureExport::~TextureExport() = default;

void TextureExport::start(const std::filesystem::path& source, const std::filesystem::path& folder,
                          const ExportChoices& choices)
{
    // The command line's extraction with -o: the index beside the images, a game's levels each
    // in a folder of its own.
    features::SourcesRequest request;
    request.sources = {source};
    request.outputDir = folder;
    request.mode = RunMode::Write;
    request.trim = choices.trim;
    request.dedupe = choices.dedupe;
    m_job.start([this, request, choices](const JobThread::Job& job) {
        Listener listener(this, job, choices);
        listener.finish(features::runSources(request, listener), request.outputDir);
    });
}

void TextureExport::stop()
{
    m_job.stop();
}

} // namespace glintmark::ui
