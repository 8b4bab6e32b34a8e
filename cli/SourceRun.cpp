#include "cli/SourceRun.h"

#include "cli/ProgressBar.h"
#include "engine/ErrorText.h"
#include "engine/HexDecode.h"
#include "engine/ModMisc.h"

#include <memory>

namespace glintmark::cli {
namespace {

// Feeds the progress bar and the report, and passes on a request to stop.
class SourceObserver : public ExtractObserver
{
public:
    SourceObserver(ProgressBar* bar, const SourceRunSettings& settings)
        : m_bar(bar), m_settings(settings)
    {}

    bool onProgress(const Progress& progress) override
    {
        if (m_bar)
            m_bar->update(progress, ProgressBar::Clock::now());
        return !m_settings.keepGoing || m_settings.keepGoing();
    }

    void onImage(const ImageInfo& image) override
    {
        if (m_settings.onImage)
            m_settings.onImage(image);
    }

private:
    ProgressBar* m_bar;
    const SourceRunSettings& m_settings;
};

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
    SourceOutcome outcome{source, folder, {}};
    std::unique_ptr<ProgressBar> bar;
    if (settings.progressStream) {
        bar = std::make_unique<ProgressBar>(
            *settings.progressStream, displayPath(source.filename()), ProgressBar::Clock::now());
    }
    SourceObserver observer(bar.get(), settings);
    ExtractJob job = makeJob(source, folder);
    job.createFolder = settings.mode == RunMode::Write;
    outcome.result = runExtraction(job, &observer, settings.mode);
    if (bar)
        bar->finish();
    return outcome;
}

} // namespace glintmark::cli
