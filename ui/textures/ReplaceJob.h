#pragma once

#include "features/putback/PackPutBack.h"
#include "features/putback/PutBack.h"
#include "ui/textures/JobThread.h"

#include <QObject>
#include <QString>

#include <filesystem>
#include <vector>

namespace glintmark::ui {

// How a write of new levels, a pack's saving or a pack's applying ended, in the window's words.
struct ReplaceEnd
{
    bool written = false; // what was asked is in place (and checked, for levels)
    bool stopped = false;
    bool failed = false;  // a file could not be read or written, or the result failed its check
    bool refused = false; // an edit cannot go back; nothing was written
    QString place;        // the new level, the folder of new levels, or the pack
    QString summary;      // one line: what was done, or why nothing was
    QString details;      // each level written with its images, or each refusal
};

// Runs the jobs that write what the pending replacements make, each on a thread of its own:
// the new level or levels (applyEdits), a pack of the edits (writePack), or a pack chosen on
// disk applied to the source (applyPack). The window hears progress and the end as signals on
// its own thread, and never waits for the disk.
class ReplaceJob : public QObject
{
    Q_OBJECT

public:
    explicit ReplaceJob(QObject* parent = nullptr);
    // Stops the job and waits for its thread, which ends within moments.
    ~ReplaceJob() override;

    // Writes the source with `edits` at `into`: one new level when `asLevel`, otherwise every
    // level that changes, into the folder `into`, as the game is laid out.
    void writeLevels(const std::filesystem::path& source, const std::filesystem::path& into,
                     std::vector<features::TextureEdit> edits, bool asLevel, bool fit);
    // Saves `edits` as the pack `pack`.
    void savePack(const std::filesystem::path& pack, std::vector<features::EditedTexture> edits);
    // Applies the pack in `pack` to the source, writing as writeLevels() does.
    void applyPack(const std::filesystem::path& pack, const std::filesystem::path& source,
                   const std::filesystem::path& into, bool asLevel, bool fit);
    // Asks the job to stop; finished() follows, as stopped.
    void stop();
    bool isRunning() const { return m_job.isRunning(); }

    // What a put-back into levels did, in the window's words, with `into` its place.
    static ReplaceEnd describe(const features::GamePutBackOutcome& outcome,
                               const std::filesystem::path& into);

signals:
    // How far the job has got, 0 to 100, and what it is doing ("reading a.ldb").
    void progressed(int percent, const QString& doing);
    // The job is over.
    void finished(const glintmark::ui::ReplaceEnd& end);

private:
    class Listener;

    template <typename Work> void run(Work work);

    JobThread m_job;
};

} // namespace glintmark::ui

Q_DECLARE_METATYPE(glintmark::ui::ReplaceEnd)
