#include "cli/SourceRun.h"

#include "cli/CheckThreads.h"
#include "cli/Gallery.h"
#include "cli/KeptImages.h"
#include "cli/ProgressBar.h"
#include "engine/HexDecode.h"
#include "engine/ModMisc.h"
#include "engine/RunFolder.h"
#include "engine/io/PathText.h"

#include <memory>

namespace glintmark::cli {
namespace {

// Feeds the progress bar and the report (or, when the images are wanted after the run, keeps
// them and, for decoding, their bytes), passes on a request to stop, and hands the end of the
// run to `finish`.
class SourceObserver : public ExtractObserver
{
public:
    using Finish = std::function<std::optional<ExtractError>(RunFolder&)>;

    SourceObserver(ProgressBar* bar, const SourceRunSettings& settings,
                   std::vector<ImageInfo>* images, KeptImages* kept, Finish finish)
        : m_bar(bar), m_settings(settings), m_images(images), m_kept(kept),
          m_finish(std::move(finish))
    {}

    bool onProgress(const Progress& progress) override
    {
        if (m_bar)
            m_bar->update(progress, ProgressBar::Clock::now());
        return !m_settings.keepGoing || m_settings.keepGoing();
    }

    void onImage(const ImageInfo& image) override
    {
        if (m_images)
            m_images->push_back(image);
        else if (m_settings.onImage)
            m_settings.onImage(image);
    }

    void onSourceOpened(const RawFile& source, const FileIdentity& identity) override
    {
        if (m_kept)
            m_kept->sourceOpened(source, identity);
    }

    void onImageBytes(std::uint64_t offset, const char* data, std::size_t count) override
    {
        if (m_kept)
            m_kept->imageBytes(offset, data, count);
    }

    std::optional<ExtractError> onFinish(RunFolder& folder) override
    {
        // The source is read: its bar goes before anything else is shown.
        if (m_bar)
            m_bar->finish();
        m_bar = nullptr;
        return m_finish ? m_finish(folder) : std::nullopt;
    }

private:
    ProgressBar* m_bar;
    const SourceRunSettings& m_settings;
    std::vector<ImageInfo>* m_images;
    KeptImages* m_kept; // only when the images are decoded
    Finish m_finish;
};
// A progress bar on the settings' stream, or none.
std::unique_ptr<ProgressBar> makeBar(const SourceRunSettings& settings, const std::string& label)
{
    if (!settings.progressStream)
        return nullptr;
    return std::make_unique<ProgressBar>(*settings.progressStream, label,
                                         ProgressBar::Clock::now());
}

// Decodes the kept images, with a bar of its own; a stop ends every decoding within moments.
CheckOutcome decodeImages(SourceOutcome& outcome, const KeptImages& kept,
                          const SourceRunSettings& settings, const std::string& label)
{
    std::unique_ptr<ProgressBar> bar = makeBar(settings, label + " (decoding)");
    auto onProgress = [&bar](const Progress& progress) {
        if (bar)
            bar->update(progress, ProgressBar::Clock::now());
    };
    CheckOutcome checked = checkImages(kept, outcome.source, outcome.images, checkThreadCount(),
                                       settings.keepGoing, onProgress);
    if (bar)
        bar->finish();
    return checked;
}

} // namespace

ExtractJob makeJob(const std::filesystem::path& source, const std::filesystem::path& folder)
{
    ExtractJob job;
    job.sourceFile = source;
    job.outPrefix = AddSlash(folder);
    job.outPrefix += kImageStem;
    job.outExt = std::string(kImageExt);
    job.signature = HexToBytes(kJfifSignatureHex);
    return job;
}

SourceOutcome extractSource(const std::filesystem::path& source,
                            const std::filesystem::path& folder, const SourceRunSettings& settings)
{
    SourceOutcome outcome{source, folder, {}, {}};
    const bool gallery = settings.gallery && settings.mode == RunMode::Write;
    const bool keepImages = settings.check || gallery;

    const std::string label = displayPath(source.filename());
    std::unique_ptr<ProgressBar> bar = makeBar(settings, label);
    const auto keepGoing = [&settings] { return !settings.keepGoing || settings.keepGoing(); };
    KeptImages kept;
    // Decoding and the page happen before the run lets go of the folder, so the page is written
    // through it under its lock like every image, and can show the verdicts.
    bool decoded = false;
    auto finish = [&](RunFolder& runFolder) -> std::optional<ExtractError> {
        if (settings.check && !outcome.images.empty() && keepGoing()) {
            decoded = true;
            CheckOutcome checked = decodeImages(outcome, kept, settings, label);
            if (checked.error)
                return std::move(checked.error);
            if (checked.stopped) {
                runFolder.markStopped();
                return std::nullopt;
            }
        }
        if (gallery && runFolder.canWrite())
            return writeGallery(outcome, runFolder, keepGoing);
        return std::nullopt;
    };
    SourceObserver observer(bar.get(), settings, keepImages ? &outcome.images : nullptr,
                            settings.check ? &kept : nullptr,
                            keepImages ? SourceObserver::Finish(finish) : nullptr);
    ExtractJob job = makeJob(source, folder);
    job.createFolder = settings.mode == RunMode::Write;
    job.trim = settings.trim;
    if (gallery)
        job.finalFiles.emplace_back(kGalleryName);
    outcome.result = runExtraction(job, &observer, settings.mode);
    if (bar)
        bar->finish();
    // The images a failed run kept are still decoded; its failure stays the one reported.
    if (settings.check && !decoded && outcome.result.status == RunStatus::Failed &&
        !outcome.images.empty() && keepGoing())
        (void)decodeImages(outcome, kept, settings, label);
    if (keepImages && settings.onImage) {
        for (const ImageInfo& image : outcome.images)
            settings.onImage(image);
    }
    return outcome;
}

} // namespace glintmark::cli
