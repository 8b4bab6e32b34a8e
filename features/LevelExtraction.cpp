#include "features/LevelExtraction.h"

#include "features/SelectedImages.h"

#include "engine/Extraction.h"
#include "engine/LockedFolder.h"
#include "features/check/DecodePool.h"
#include "features/check/ImageBytesStore.h"
#include "features/gallery/GalleryPage.h"
#include "features/game/GameTextures.h"
#include "features/game/IndexJson.h"

namespace glintmark::features {
namespace {

// Passes the run's progress and each image on to the events (or, when the images are wanted
// after the run, keeps them and, for decoding, their bytes), passes on a request to stop, and
// hands the end of the run to `finish`.
class LevelObserver : public ExtractObserver
{
public:
    using Finish = std::function<std::optional<ExtractError>(LockedFolder&)>;

    LevelObserver(RunEvents& events, std::vector<CheckedImage>* images, ImageBytesStore* kept,
                  GameTextures* textures, Finish finish)
        : m_events(events), m_images(images), m_kept(kept), m_textures(textures),
          m_finish(std::move(finish))
    {}

    bool onProgress(const Progress& progress) override
    {
        m_events.onProgress(Phase::Reading, progress);
        return m_events.keepGoing();
    }

    // While a silent source (a pipe) is waited for, a stop asked for still ends the run.
    bool onWaiting() override { return m_events.keepGoing(); }

    void onImage(const ImageInfo& image) override
    {
        if (m_textures)
            m_textures->image(image);
        if (m_images)
            m_images->push_back(CheckedImage{image, {}, {}});
        else
            m_events.onImage(CheckedImage{image, {}, {}});
    }

    std::optional<ImageLink> onImageRead(const ImageInfo& image) override
    {
        return m_textures ? m_textures->linkFor(image) : std::nullopt;
    }

    void onSourceOpened(const RawFile& source, const FileIdentity& identity) override
    {
        if (m_kept)
            m_kept->sourceOpened(source, identity);
        if (m_textures)
            m_textures->sourceOpened(identity);
    }

    void onImageStart(std::uint64_t number, std::uint64_t offset) override
    {
        (void)offset;
        if (m_textures)
            m_textures->imageStart(number);
    }

    void onImageBytes(std::uint64_t offset, const char* data, std::size_t count) override
    {
        if (m_kept)
            m_kept->imageBytes(offset, data, count);
        if (m_textures)
            m_textures->imageBytes(data, count);
    }

    std::optional<ExtractError> onFinish(LockedFolder& folder) override
    {
        // The source is read: its reading ends before anything else is shown.
        m_events.onPhaseEnd(Phase::Reading);
        return m_finish ? m_finish(folder) : std::nullopt;
    }

private:
    RunEvents& m_events;
    std::vector<CheckedImage>* m_images;
    ImageBytesStore* m_kept; // only when the images are decoded
    GameTextures* m_textures;
    Finish m_finish;
};

// Decodes the kept images as a phase of its own; a stop ends every decoding within moments.
DecodeOutcome decodeKept(LevelOutcome& outcome, const ImageBytesStore& kept, RunEvents& events)
{
    const auto keepGoing = [&events] { return events.keepGoing(); };
    const auto onProgress = [&events](const Progress& progress) {
        events.onProgress(Phase::Decoding, progress);
    };
    DecodeOutcome checked = decodeImages(kept, outcome.source, outcome.images, decodeThreadCount(),
                                         keepGoing, onProgress);
    // A verdict is about the bytes the run read; a source written to meanwhile may have given
    // the decoder others, so none is given.
    if (kept.sourceChanged()) {
        for (CheckedImage& image : outcome.images) {
            if (!image.decodes)
                continue;
            image.decodes.reset();
            image.decodeError = "Not checked: the source changed while the run read it or its "
                                "images were decoded, so the bytes decoded may not be the ones "
                                "the run read";
        }
    }
    events.onPhaseEnd(Phase::Decoding);
    return checked;
}

// Writes the index of `textures` into the level's own folder, whole or not at all.
std::optional<ExtractError> writeIndex(const GameTextures& textures, LockedFolder& folder,
                                       const std::function<bool()>& keepGoing)
{
    return folder.writeFile(std::string(kIndexName), "the texture index", [&](FileWriter& file) {
        return writeIndexJson(
            textures.index(), [&file](std::string_view piece) { return file.write(piece); },
            keepGoing);
    });
}

} // namespace

LevelOutcome extractLevel(const std::filesystem::path& source, const std::filesystem::path& folder,
                          const LevelRunSettings& settings, RunEvents& events)
{
    LevelOutcome outcome{source, folder, {}, {}};
    const bool gallery = settings.gallery && settings.mode == RunMode::Write;
    const bool keepImages = settings.check || gallery;
    const bool index = settings.writeIndex && settings.textures && settings.mode == RunMode::Write;

    ImageBytesStore kept;
    // Decoding and the page happen before the run lets go of the folder, so the page is written
    // through it under its lock like every image, and can show the verdicts.
    bool decoded = false;
    auto finish = [&](LockedFolder& runFolder) -> std::optional<ExtractError> {
        if (settings.check && !outcome.images.empty() && events.keepGoing()) {
            decoded = true;
            DecodeOutcome checked = decodeKept(outcome, kept, events);
            if (checked.error)
                return std::move(checked.error);
            if (checked.stopped) {
                runFolder.markStopped();
                return std::nullopt;
            }
        }
        const auto keepGoing = [&events] { return events.keepGoing(); };
        // Duplicates become links before the page is written, which shows the files as they stay.
        if (settings.textures) {
            if (auto error = settings.textures->finishLevel(runFolder, keepGoing))
                return error;
            if (runFolder.stopped())
                return std::nullopt;
        }
        if (gallery && runFolder.canWrite()) {
            if (auto error = writeGallery(outcome, runFolder, keepGoing, settings.gamePage))
                return error;
        }
        if (!index || !runFolder.canWrite() || runFolder.stopped())
            return std::nullopt;
        if (!keepGoing()) {
            runFolder.markStopped(); // a level stopped here has no index, not a partial one
            return std::nullopt;
        }
        return writeIndex(*settings.textures, runFolder, keepGoing);
    };
    LevelObserver observer(events, keepImages ? &outcome.images : nullptr,
                           settings.check ? &kept : nullptr, settings.textures,
                           keepImages || settings.textures ? LevelObserver::Finish(finish)
                                                           : nullptr);
    ExtractJob job;
    job.sourceFile = source;
    job.openSource = settings.openSource;
    job.outputFolder = folder;
    job.createFolder = settings.mode == RunMode::Write;
    job.trim = settings.trim;
    job.writers = settings.writers;
    if (gallery)
        job.finalFiles.emplace_back(kGalleryName);
    if (index)
        job.finalFiles.emplace_back(kIndexName);
    // Some of the images chosen: the source is read as a listing, and only they are written.
    std::optional<SelectedImages> selected;
    if (settings.mode == RunMode::Write) {
        if (std::optional<std::set<std::uint64_t>> only = events.imagesToWrite())
            selected.emplace(observer, std::move(*only), job,
                             [&events] { return events.keepGoing(); });
    }
    if (selected) {
        job.createFolder = false;
        outcome.result = selected->settle(runExtraction(job, &*selected, RunMode::ListOnly));
    } else {
        outcome.result = runExtraction(job, &observer, settings.mode);
    }
    events.onPhaseEnd(Phase::Reading);
    // The images a failed run kept are still decoded; its failure stays the one reported.
    if (settings.check && !decoded && outcome.result.status == RunStatus::Failed &&
        !outcome.images.empty() && events.keepGoing())
        (void)decodeKept(outcome, kept, events);
    if (keepImages) {
        for (const CheckedImage& image : outcome.images)
            events.onImage(image);
    }
    return outcome;
}

} // namespace glintmark::features
