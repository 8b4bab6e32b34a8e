#include "ui/textures/TextureRun.h"

#include "features/game/GameTextures.h"
#include "features/game/SourcesRun.h"
#include "ui/Platform.h"

#include <chrono>
#include <utility>

namespace glintmark::ui {

// Hears the run on its thread and hands what it finds to the window's thread in batches, so
// that a level of thousands of textures is not thousands of queued calls.
class TextureRun::Listener : public features::SourcesEvents
{
public:
    Listener(TextureRun* owner, JobThread::Job job) : m_owner(owner), m_job(std::move(job)) {}

    void onListed(const features::SourceList& list) override
    {
        for (const ExtractError& problem : list.problems)
            m_problems += QString::fromStdString(problem.message) + QLatin1Char('\n');
    }

    void onLevelStart(const features::LevelStart& level) override
    {
        flush();
        m_level = static_cast<int>(level.index);
        m_bytesBefore = level.bytesBefore;
        m_totalBytes = level.totalBytes;
        post([index = m_level, count = static_cast<int>(level.count),
              name = QString::fromStdString(features::levelText(level.name)),
              source = platform::fromPath(level.source)](TextureRun* run) {
            emit run->levelStarted(index, count, name, source);
        });
    }

    void onProgress(features::Phase phase, const Progress& progress) override
    {
        flushNow();
        if (phase != features::Phase::Reading || m_totalBytes == 0)
            return;
        const std::uint64_t done = m_bytesBefore + progress.bytesRead;
        const int percent =
            done >= m_totalBytes ? 100 : static_cast<int>(done * 100 / m_totalBytes);
        if (percent == m_percent)
            return;
        m_percent = percent;
        post([percent](TextureRun* run) { emit run->progressed(percent); });
    }

    void onImage(const features::CheckedImage& image) override
    {
        m_pending.append(FoundImage{m_level, image});
        if (m_pending.size() >= kBatch)
            flush();
        else
            flushNow();
    }

    void onLevelEnd(const features::LevelOutcome& outcome) override
    {
        flush();
        if (outcome.result.error)
            m_problems += QString::fromStdString(outcome.result.error->message) + QLatin1Char('\n');
    }

    void onTextures(const features::GameTextures& textures) override
    {
        (void)textures; // the outcome holds the same, shared, once the run is over
    }

    bool keepGoing() override
    {
        flushNow();
        return !m_job.stopping();
    }

    // The run is over: the last batch, the index, and how it ended.
    void finish(const features::SourcesOutcome& outcome)
    {
        flush();
        ListingEnd end;
        end.stopped = outcome.status == features::SourcesStatus::Stopped;
        QString message = m_problems;
        if (!outcome.refusal.empty())
            message += QString::fromStdString(outcome.refusal) + QLatin1Char('\n');
        if (outcome.status == features::SourcesStatus::NoLevels && message.isEmpty())
            message = QStringLiteral("No level to read.\n");
        end.failed = outcome.status == features::SourcesStatus::Failed ||
                     outcome.status == features::SourcesStatus::Refused ||
                     outcome.status == features::SourcesStatus::NoLevels;
        end.message = message.trimmed();
        std::shared_ptr<const features::GameTextures> textures = outcome.textures;
        if (textures && !end.stopped)
            post([textures](TextureRun* run) { emit run->indexed(textures); });
        m_job.finish([run = m_owner, end] { emit run->finished(end); });
    }

private:
    static constexpr qsizetype kBatch = 512;
    // How long found images may wait for their batch, so that a level read slowly (a pipe, a
    // slow disk) still shows what it has.
    static constexpr std::chrono::milliseconds kBatchAge{50};

    // Hands on the batch when it has waited long enough.
    void flushNow()
    {
        if (!m_pending.isEmpty() && std::chrono::steady_clock::now() - m_flushed >= kBatchAge)
            flush();
    }

    void flush()
    {
        m_flushed = std::chrono::steady_clock::now();
        if (m_pending.isEmpty())
            return;
        post([images = std::exchange(m_pending, {})](TextureRun* run) {
            emit run->imagesFound(images);
        });
    }

    // Runs `call` on the window's thread, unless a later start() has made this run's news old.
    template <typename Call> void post(Call call)
    {
        m_job.post([owner = m_owner, call = std::move(call)] { call(owner); });
    }

    TextureRun* m_owner;
    JobThread::Job m_job;
    QVector<FoundImage> m_pending;
    std::chrono::steady_clock::time_point m_flushed = std::chrono::steady_clock::now();
    QString m_problems;
    int m_level = 0;
    int m_percent = -1;
    std::uint64_t m_bytesBefore = 0;
    std::uint64_t m_totalBytes = 0;
};

TextureRun::TextureRun(QObject* parent) : QObject(parent), m_job(this)
{
    qRegisterMetaType<FoundImage>();
    qRegisterMetaType<ListingEnd>();
}

TextureRun::~TextureRun() = default;

void TextureRun::start(const std::filesystem::path& source, bool check)
{
    features::SourcesRequest request;
    request.sources = {source};
    request.mode = RunMode::ListOnly;
    // In a listing this writes nothing: it has the run learn every texture's digest and uses,
    // a single level's as well as a game's.
    request.dedupe = true;
    request.check = check;
    m_job.start([this, request](const JobThread::Job& job) {
        Listener listener(this, job);
        listener.finish(features::runSources(request, listener));
    });
}

void TextureRun::stop()
{
    m_job.stop();
}

} // namespace glintmark::ui
