#include "engine/run/ImageSink.h"

#include "engine/names/ImageNames.h"
#include "engine/run/OutputFolder.h"

#include <algorithm>
#include <system_error>

namespace glintmark {

ImageSink::ImageSink(const ExtractJob& job, RunMode mode, ExtractObserver* observer,
                     const OutputFolder* folder)
    : m_job(job), m_mode(mode), m_observer(observer), m_folder(folder)
{}

ImageSink::~ImageSink()
{
    abandon();
}

std::optional<ExtractError> ImageSink::begin(std::uint64_t offset)
{
    m_current = ImageInfo{};
    m_current.number = m_completed + 1;
    m_current.offset = offset;
    if (m_mode == RunMode::Write) {
        m_name = imageFileName(m_job.stem, m_current.number, m_job.outExt);
        const std::filesystem::path path = imagePath(m_job.outputFolder, m_name);
        m_temporary = temporaryName(m_name);
        std::error_code ec;
        RawFile file = m_folder->createPart(m_temporary, ec);
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
        std::optional<ExtractError> error;
        if (ec)
            error = makeError(ErrorKind::ImageWrite, m_current.file, "Cannot finish the image file",
                              ec);
        else
            error = m_folder->putInPlace(m_temporary, m_name, m_current.file, "the image file");
        if (error) {
            abandon();
            return error;
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
        m_folder->discard(m_temporary);
    }
}

} // namespace glintmark
