#include "cli/SourceRun.h"

#include "cli/Gallery.h"
#include "cli/ImageCheck.h"
#include "cli/ProgressBar.h"
#include "engine/ErrorText.h"
#include "engine/HexDecode.h"
#include "engine/ModMisc.h"

#include <memory>
#include <system_error>

namespace glintmark::cli {
namespace {

// Feeds the progress bar and keeps the images the report needs.
class SourceObserver : public ExtractObserver
{
public:
    SourceObserver(ProgressBar* bar, std::vector<ImageInfo>* images) : m_bar(bar), m_images(images)
    {}

    bool onProgress(const Progress& progress) override
    {
        if (m_bar)
            m_bar->update(progress, ProgressBar::Clock::now());
        return true;
    }

    void onImage(const ImageInfo& image) override
    {
        if (m_images)
            m_images->push_back(image);
    }

private:
    ProgressBar* m_bar;
    std::vector<ImageInfo>* m_images;
};

// Creates the folder and its parents; an existing folder is fine, anything else is an error.
std::optional<ExtractError> prepareFolder(const std::filesystem::path& folder)
{
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (!ec && !std::filesystem::is_directory(folder, ec) && !ec)
        ec = std::make_error_code(std::errc::not_a_directory);
    if (!ec)
        return std::nullopt;
    return ExtractError{ErrorKind::OutputFolder, folder,
                        "Cannot create the output folder \"" + displayPath(folder) +
                            "\": " + ec.message()};
}

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
    if (settings.mode == RunMode::Write) {
        if (auto error = prepareFolder(folder)) {
            outcome.result.status = RunStatus::Failed;
            outcome.result.error = std::move(error);
            return outcome;
        }
    }

    const std::string label = displayPath(source.filename());
    std::unique_ptr<ProgressBar> bar = makeBar(settings, label);
    SourceObserver observer(bar.get(), settings.collectImages ? &outcome.images : nullptr);
    ExtractJob job = makeJob(source, folder);
    job.trim = settings.trim;
    outcome.result = runExtraction(job, &observer, settings.mode);
    if (bar)
        bar->finish();
    if (settings.check && !outcome.images.empty()) {
        std::unique_ptr<ProgressBar> checkBar = makeBar(settings, label + " (decoding)");
        auto onProgress = [&checkBar](const Progress& progress) {
            if (checkBar)
                checkBar->update(progress, ProgressBar::Clock::now());
        };
        keepFirstError(outcome,
                       checkImages(source, outcome.images, checkThreadCount(), onProgress));
        if (checkBar)
            checkBar->finish();
    }
    if (settings.gallery && settings.mode == RunMode::Write &&
        outcome.result.status != RunStatus::Failed)
        keepFirstError(outcome, writeGallery(outcome));
    return outcome;
}

} // namespace glintmark::cli
