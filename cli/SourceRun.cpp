#include "cli/SourceRun.h"

#include "cli/Gallery.h"
#include "cli/ImageCheck.h"
#include "cli/KeptImages.h"
#include "cli/ProgressBar.h"
#include "engine/ErrorText.h"
#include "engine/HexDecode.h"
#include "engine/ModMisc.h"

#include <memory>

namespace glintmark::cli {
namespace {

// Feeds the progress bar and the report (or, when the images are wanted after the run, keeps
// them), and passes on a request to stop.
class SourceObserver : public ExtractObserver
{
public:
    SourceObserver(ProgressBar* bar, const SourceRunSettings& settings,
                   std::vector<ImageInfo>* images, KeptImages* kept)
        : m_bar(bar), m_settings(settings), m_images(images), m_kept(kept)
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

private:
    ProgressBar* m_bar;
    const SourceRunSettings& m_settings;
    std::vector<ImageInfo>* m_images;
    KeptImages* m_kept; // only when the images are decoded after the run
};

// A progress bar on the settings' stream, or none.
std::unique_ptr<ProgressBar> makeBar(const SourceRunSettings& settings, const std::string& label)
{
    if (!settings.progressStream)
        return nullptr;
    return std::make_unique<ProgressBar>(*settings.progressStream, label,
                                         ProgressBar::Clock::now());
}

// A failure after the run fails the source, unless it already failed.
void keepFirstError(SourceOutcome& outcome, std::optional<ExtractError> error)
{
    if (!error || outcome.result.status == RunStatus::Failed)
        return;
    outcome.result.status = RunStatus::Failed;
    outcome.result.error = std::move(error);
}

// Decodes the kept images, with a bar of its own; a stop ends the decoding and the run.
void decodeImages(SourceOutcome& outcome, const KeptImages& kept, const SourceRunSettings& settings,
                  const std::string& label)
{
    std::unique_ptr<ProgressBar> bar = makeBar(settings, label + " (decoding)");
    auto onProgress = [&bar](const Progress& progress) {
        if (bar)
            bar->update(progress, ProgressBar::Clock::now());
    };
    CheckOutcome checked = checkImages(kept, outcome.source, outcome.images, checkThreadCount(),
                                       settings.keepGoing, onProgress);
    keepFirstError(outcome, std::move(checked.error));
    if (checked.stopped && outcome.result.status == RunStatus::Completed)
        outcome.result.status = RunStatus::Stopped;
    if (bar)
        bar->finish();
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
    KeptImages kept;
    SourceObserver observer(bar.get(), settings, keepImages ? &outcome.images : nullptr,
                            settings.check ? &kept : nullptr);
    ExtractJob job = makeJob(source, folder);
    job.createFolder = settings.mode == RunMode::Write;
    job.trim = settings.trim;
    outcome.result = runExtraction(job, &observer, settings.mode);
    if (bar)
        bar->finish();
    if (!keepImages)
        return outcome;

    if (settings.check && !outcome.images.empty() && (!settings.keepGoing || settings.keepGoing()))
        decodeImages(outcome, kept, settings, label);
    if (settings.onImage) {
        for (const ImageInfo& image : outcome.images)
            settings.onImage(image);
    }
    if (gallery && outcome.result.status == RunStatus::Completed)
        keepFirstError(outcome, writeGallery(outcome));
    return outcome;
}

} // namespace glintmark::cli
