#include "engine/ImageSink.h"

#include "engine/ErrorText.h"
#include "engine/OutputGuard.h"

#include <algorithm>
#include <system_error>

namespace glintmark {

ImageSink::ImageSink(const ExtractJob& job, RunMode mode, ExtractObserver* observer,
                     const FileIdentity& source, const RawDir* folder)
    : m_job(job), m_mode(mode), m_observer(observer), m_source(source), m_folder(folder)
{}

ImageSink::~ImageSink()
{
    abandon();
}

std::optional<ExtractError> ImageSink::checkName(const std::filesystem::path& path) const
{
    // The names were checked before the run, but a link can still lead to the source. It would
    // only be replaced, yet a name that is the source, or leads to it, is refused all the same.
    std::error_code ec;
    const FileIdentity here = m_folder->entry(m_name, false, ec);
    if (ec)
        return makeError(ErrorKind::ImageCreate, path, "Cannot create the image file", ec);
    if (here.type == FileType::Directory)
        return makeError(ErrorKind::ImageCreate, path, "Cannot create the image file",
                         std::make_error_code(std::errc::is_a_directory));
    FileIdentity reached = here;
    if (here.type == FileType::Link)
        reached = m_folder->entry(m_name, true, ec);
    for (const FileIdentity& id : {here, reached}) {
        if (id.type != FileType::Missing && id.sameFileAs(m_source)) {
            ExtractError error;
            error.kind = ErrorKind::OutputIsSource;
            error.file = path;
            error.message = "The image file \"" + displayPath(path) +
                            "\" is the source file itself; it was left untouched";
            return error;
        }
    }
    return std::nullopt;
}

std::optional<ExtractError> ImageSink::begin(std::uint64_t offset)
{
    m_current = ImageInfo{};
    m_current.number = m_completed + 1;
    m_current.offset = offset;
    if (m_mode == RunMode::Write) {
        const std::filesystem::path path =
            imageFileName(m_job.outPrefix, m_current.number, m_job.outExt);
        m_name = path.filename();
        m_temporary = temporaryName(m_name);
        std::error_code ec;
        RawFile file = m_folder->createNew(m_temporary, ec);
        if (ec == std::errc::file_exists) {
            // Left by a run killed outright, or put there since: only its entry goes.
            m_folder->remove(m_temporary, ec);
            file = m_folder->createNew(m_temporary, ec);
        }
        if (ec)
            return makeError(ErrorKind::ImageCreate, path, "Cannot create the image file", ec);
        m_file = std::move(file);
        m_current.file = path;
    }
    m_open = true;
    return std::nullopt;
}

std::optional<ExtractError> ImageSink::append(const char* data, std::size_t count)
{
    if (!m_open || count == 0)
        return std::nullopt;
    if (m_observer != nullptr)
        m_observer->onImageBytes(m_current.offset + m_current.size, data, count);
    if (m_current.size == 0)
        m_reader.reset();
    if (!m_reader.ended()) {
        m_reader.feed(reinterpret_cast<const unsigned char*>(data), count);
        m_current.jpeg = m_reader.structure();
    }

    std::size_t keep = count;
    if (m_job.trim && m_current.jpeg.end) {
        const std::uint64_t end = *m_current.jpeg.end;
        keep = end > m_current.size
                   ? static_cast<std::size_t>(std::min<std::uint64_t>(count, end - m_current.size))
                   : 0;
    }
    if (m_mode == RunMode::Write && keep > 0) {
        std::error_code ec;
        m_file.writeAll(data, keep, ec);
        if (ec) {
            const std::filesystem::path name = m_current.file;
            abandon();
            return makeError(ErrorKind::ImageWrite, name, "Cannot write the image file", ec);
        }
    }
    m_current.size += count;
    m_current.written += keep;
    return std::nullopt;
}

std::optional<ExtractError> ImageSink::finish()
{
    if (!m_open)
        return std::nullopt;
    if (m_mode == RunMode::Write) {
        std::error_code ec;
        m_file.close(ec);
        // Mostly the name is free and the image simply takes it; only when something sits
        // there is it looked at before it is replaced.
        if (!ec && !m_folder->placeNew(m_temporary, m_name, ec) && !ec) {
            if (auto error = checkName(m_current.file)) {
                abandon();
                return error;
            }
            m_folder->replace(m_temporary, m_name, ec);
        }
        if (ec) {
            const std::filesystem::path name = m_current.file;
            abandon();
            return makeError(ErrorKind::ImageWrite, name, "Cannot finish the image file", ec);
        }
    }
    m_open = false;
    ++m_completed;
    if (m_observer != nullptr)
        m_observer->onImage(m_current);
    return std::nullopt;
}

void ImageSink::abandon()
{
    if (!m_open)
        return;
    m_open = false;
    if (m_mode == RunMode::Write) {
        std::error_code ec;
        m_file.close(ec);
        m_folder->remove(m_temporary, ec);
    }
}

} // namespace glintmark
