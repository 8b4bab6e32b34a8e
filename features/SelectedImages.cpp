#include "features/SelectedImages.h"

#include "engine/io/PathQueries.h"
#include "engine/names/ImageNames.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

namespace glintmark::features {

SelectedImages::SelectedImages(ExtractObserver& inner, std::set<std::uint64_t> numbers,
                               const ExtractJob& job, std::function<bool()> keepGoing,
                               std::size_t heldInMemory)
    : m_inner(inner), m_numbers(std::move(numbers)), m_job(job), m_keepGoing(std::move(keepGoing)),
      m_heldInMemory(heldInMemory)
{}

bool SelectedImages::keep(const char* data, std::size_t count)
{
    if (!m_spilled.isOpen() && m_bytes.size() + count <= m_heldInMemory) {
        m_bytes.append(data, count);
        return true;
    }
    std::error_code ec;
    if (!m_spilled.isOpen()) {
        m_spilled = RawFile::createUnnamedTemporary(ec);
        if (!ec)
            m_spilled.writeAll(m_bytes.data(), m_bytes.size(), ec);
        std::string().swap(m_bytes);
    }
    if (!ec)
        m_spilled.writeAll(data, count, ec);
    if (ec) {
        m_error = makeError(ErrorKind::ImageWrite, RawFile::temporaryFolder(),
                            "Cannot keep a large image in the temporary folder", ec);
        return false;
    }
    return true;
}

bool SelectedImages::writeKept(FileWriter& file, std::uint64_t count)
{
    if (!m_spilled.isOpen())
        return file.write(std::string_view(m_bytes).substr(0, count));
    std::string piece(std::size_t{1} << 20, '\0');
    for (std::uint64_t at = 0; at < count;) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(piece.size(), count - at));
        std::error_code ec;
        const std::size_t got = m_spilled.readAt(at, piece.data(), want, ec);
        if (ec || got != want) {
            m_error = makeError(ErrorKind::ImageWrite, RawFile::temporaryFolder(),
                                "Cannot read a large image back from the temporary folder",
                                ec ? ec : std::make_error_code(std::errc::io_error));
            return false;
        }
        if (!file.write(std::string_view(piece.data(), got)))
            return false;
        at += got;
    }
    return true;
}

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
    m_spilled = RawFile();
    m_inner.onImageStart(number, offset);
}

void SelectedImages::onImageBytes(std::uint64_t offset, const char* data, std::size_t count)
{
    if (!m_chosen)
        return;
    if (!keep(data, count)) {
        m_chosen = false; // the run ends at its next step, failed
        return;
    }
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
    std::optional<ExtractError> error = m_folder->writeFile(
        name, "the image file", [&](FileWriter& file) { return writeKept(file, image.written); });
    m_spilled = RawFile();
    if (m_error)
        return; // the temporary file failed the image: its own reason is the one told
    if (error) {
        m_error = std::move(error);
        return;
    }
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
