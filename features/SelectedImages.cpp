#include "features/SelectedImages.h"

#include "engine/io/PathQueries.h"
#include "engine/names/ImageNames.h"

#include <string_view>
#include <utility>

namespace glintmark::features {

SelectedImages::SelectedImages(ExtractObserver& inner, std::set<std::uint64_t> numbers,
                               const ExtractJob& job, std::function<bool()> keepGoing)
    : m_inner(inner), m_numbers(std::move(numbers)), m_job(job), m_keepGoing(std::move(keepGoing))
{}

bool SelectedImages::onProgress(const Progress& progress)
{
    // A failure to write ends the reading: nothing after it would be written either.
    return !m_error && !m_stopped && m_inner.onProgress(progress);
}

bool SelectedImages::onWaiting()
{
    return !m_error && !m_stopped && m_inner.onWaiting();
}

void SelectedImages::onSourceOpened(const RawFile& source, const FileIdentity& identity)
{
    if (!m_numbers.empty()) {
        std::error_code ignored; // a folder that cannot be made is named by the opening
        createFolders(m_job.outputFolder, ignored);
        const std::filesystem::path first =
            imageFileName(m_job.stem, *m_numbers.begin(), m_job.outExt);
        std::optional<ExtractError> error;
        m_folder.emplace(LockedFolder::openBeside(imagePath(m_job.outputFolder, first), identity,
                                                  "the image file", "run", error));
        if (error) {
            m_folder.reset();
            m_error = std::move(error);
        }
    }
    m_inner.onSourceOpened(source, identity);
}

void SelectedImages::onImageStart(std::uint64_t number, std::uint64_t offset)
{
    m_chosen = m_folder && !m_error && !m_stopped && m_numbers.count(number) > 0;
    if (!m_chosen)
        return;
    m_bytes.clear();
    m_inner.onImageStart(number, offset);
}

void SelectedImages::onImageBytes(std::uint64_t offset, const char* data, std::size_t count)
{
    if (!m_chosen)
        return;
    m_bytes.append(data, count);
    m_inner.onImageBytes(offset, data, count);
}

void SelectedImages::onImage(const ImageInfo& image)
{
    if (!m_chosen)
        return;
    m_chosen = false;
    // Images come several to a block read: a stop asked meanwhile is heard before each one.
    if (!m_keepGoing()) {
        m_stopped = true;
        return;
    }
    const std::filesystem::path name = imageFileName(m_job.stem, image.number, m_job.outExt);
    // The run read the whole image; trimmed, only its bytes through the end marker are kept.
    const std::string_view bytes = std::string_view(m_bytes).substr(0, image.written);
    m_error = m_folder->writeFile(name, "the image file",
                                  [bytes](FileWriter& file) { return file.write(bytes); });
    if (m_error)
        return;
    ++m_written;
    ImageInfo written = image;
    written.file = imagePath(m_job.outputFolder, name);
    m_inner.onImage(written);
}

std::optional<ExtractError> SelectedImages::onFinish(LockedFolder& folder)
{
    // The listing's folder, through which nothing can be written, ends the run as stopped.
    if (m_error)
        return m_error;
    if (m_stopped) {
        folder.markStopped();
        return std::nullopt;
    }
    if (!m_folder)
        return std::nullopt;
    return m_inner.onFinish(*m_folder);
}

ExtractResult SelectedImages::settle(ExtractResult result) const
{
    result.count = m_written;
    if (m_error && result.status != RunStatus::Failed) {
        result.status = RunStatus::Failed;
        result.error = m_error;
    }
    if (result.status == RunStatus::Completed && (m_stopped || (m_folder && m_folder->stopped())))
        result.status = RunStatus::Stopped;
    return result;
}

} // namespace glintmark::features
