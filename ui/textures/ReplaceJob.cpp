#include "ui/textures/ReplaceJob.h"

#include "engine/io/PathText.h"
#include "features/game/TextureIndex.h"
#include "features/putback/PackWriter.h"
#include "ui/Platform.h"

#include <algorithm>
#include <utility>

namespace glintmark::ui {

// Hears the job on its thread: which level it is at and how far, posted to the window's thread
// once per whole per cent.
class ReplaceJob::Listener : public features::RunEvents
{
public:
    Listener(ReplaceJob* owner, JobThread::Job job) : m_owner(owner), m_job(std::move(job)) {}

    void onLevel(const features::LevelStep& step) override
    {
        m_index = step.index;
        m_count = std::max<std::size_t>(step.count, 1);
        m_name = QString::fromStdString(features::levelText(step.name));
    }

    void onProgress(features::Phase phase, const Progress& progress) override
    {
        const int within = std::clamp(progress.percent, 0, 100);
        const int percent =
            static_cast<int>((m_index * 100 + static_cast<std::size_t>(within)) / m_count);
        const QString doing = QString::fromLatin1(features::phaseName(phase)) +
                              (m_name.isEmpty() ? QString() : QLatin1Char(' ') + m_name);
        if (percent == m_percent && doing == m_doing)
            return;
        m_percent = percent;
        m_doing = doing;
        m_job.post([owner = m_owner, percent, doing] { emit owner->progressed(percent, doing); });
    }

    bool keepGoing() override { return !m_job.stopping(); }

    // The job is over.
    void finish(const ReplaceEnd& end)
    {
        m_job.finish([owner = m_owner, end] { emit owner->finished(end); });
    }

private:
    ReplaceJob* m_owner;
    JobThread::Job m_job;
    std::size_t m_index = 0;
    std::size_t m_count = 1;
    QString m_name;
    QString m_doing;
    int m_percent = -1;
};

namespace {

QString text(const std::string& words)
{
    return QString::fromStdString(words);
}

// "file reason" for each refusal, one a line, after `heading`.
QString refusalLines(const std::vector<features::Refusal>& refusals, const QString& heading)
{
    QString lines;
    for (const features::Refusal& refusal : refusals)
        lines += heading + text(displayPath(refusal.file)) + QLatin1Char(' ') +
                 text(refusal.reason) + QLatin1Char('\n');
    return lines;
}

// What went into one level: "a.ldb image 3 <- edit.png, encoded at quality 87".
QString replacementLine(const features::LevelPutBack& level, const features::Replacement& replaced)
{
    QString line = text(features::levelText(level.level.relative)) +
                   QStringLiteral(" image %1 \u2190 ").arg(replaced.number) +
                   text(displayPath(replaced.file.filename()));
    if (replaced.quality)
        line += QStringLiteral(", encoded at quality %1").arg(*replaced.quality);
    return line + QLatin1Char('\n');
}

} // namespace

ReplaceEnd ReplaceJob::describe(const features::GamePutBackOutcome& outcome,
                                const std::filesystem::path& into)
{
    using features::PutBackStatus;
    ReplaceEnd end;
    end.place = platform::fromPath(into);
    std::size_t replacements = 0;
    std::size_t levels = 0;
    QString written;
    QString refused = refusalLines(outcome.refused, QString());
    for (const features::LevelPutBack& level : outcome.levels) {
        refused += refusalLines(level.outcome.refused, QString());
        if (!level.changes())
            continue;
        ++levels;
        replacements += level.outcome.replaced.size();
        for (const features::Replacement& replaced : level.outcome.replaced)
            written += replacementLine(level, replaced);
    }
    const QString passed = refusalLines(outcome.passedOver, QStringLiteral("passed over: "));
    switch (outcome.status) {
    case PutBackStatus::Written:
        end.written = levels > 0;
        end.summary = levels == 0 ? QStringLiteral("Nothing written: no replacement changes the "
                                                   "source.")
                                  : QStringLiteral("%1 replacement(s) went into %2 new level(s), "
                                                   "each checked after it was written.")
                                        .arg(replacements)
                                        .arg(levels);
        end.details = written + passed;
        break;
    case PutBackStatus::DryRun:
        end.summary = QStringLiteral("Nothing written (a trial run).");
        end.details = written + passed;
        break;
    case PutBackStatus::Refused:
        end.refused = true;
        end.summary = QStringLiteral("Nothing written: a replacement cannot go in.");
        end.details = refused + passed;
        break;
    case PutBackStatus::Stopped:
        end.stopped = true;
        end.summary = QStringLiteral("Stopped; nothing was written.");
        break;
    case PutBackStatus::Failed:
        end.failed = true;
        end.summary = outcome.error ? text(outcome.error->message)
                                    : QStringLiteral("The new level(s) could not be written.");
        end.details = refused;
        break;
    }
    return end;
}

ReplaceJob::ReplaceJob(QObject* parent) : QObject(parent), m_job(this)
{
    qRegisterMetaType<ReplaceEnd>();
}

ReplaceJob::~ReplaceJob() = default;

template <typename Work> void ReplaceJob::run(Work work)
{
    m_job.start([this, work = std::move(work)](const JobThread::Job& job) {
        Listener listener(this, job);
        listener.finish(work(listener));
    });
}

void ReplaceJob::writeLevels(const std::filesystem::path& source, const std::filesystem::path& into,
                             std::vector<features::TextureEdit> edits, bool asLevel, bool fit)
{
    features::GamePutBackRequest request;
    request.game = source;
    request.into = into;
    request.fit = fit;
    run([request, edits = std::move(edits), asLevel](features::RunEvents& events) {
        return describe(features::applyEdits(request, edits, asLevel, events), request.into);
    });
}

void ReplaceJob::applyPack(const std::filesystem::path& pack, const std::filesystem::path& source,
                           const std::filesystem::path& into, bool asLevel, bool fit)
{
    features::GamePutBackRequest request;
    request.game = source;
    request.folder = pack;
    request.into = into;
    request.fit = fit;
    run([request, asLevel](features::RunEvents& events) {
        return describe(features::applyPack(request, asLevel, events), request.into);
    });
}

void ReplaceJob::savePack(const std::filesystem::path& pack,
                          std::vector<features::EditedTexture> edits)
{
    run([pack, edits = std::move(edits)](features::RunEvents& events) {
        const features::PackWritten written = features::writePack(pack, edits, events);
        ReplaceEnd end;
        end.place = platform::fromPath(pack);
        end.stopped = written.stopped;
        end.failed = written.error.has_value();
        end.written = !end.stopped && !end.failed;
        if (written.error)
            end.summary = text(written.error->message);
        else if (written.stopped)
            end.summary = QStringLiteral("Stopped; no pack was written.");
        else
            end.summary =
                QStringLiteral("A pack of %1 texture(s) was saved.").arg(written.entries.size());
        for (const features::PackEntry& entry : written.entries)
            end.details += text(entry.file) + QLatin1Char('\n');
        return end;
    });
}

void ReplaceJob::stop()
{
    m_job.stop();
}

} // namespace glintmark::ui
