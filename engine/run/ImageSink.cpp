#include "engine/run/ImageSink.h"

#include "engine/names/ImageNames.h"
#include "engine/run/OutputFolder.h"
#include "engine/run/WriterPool.h"

#include <algorithm>
#include <cstring>
#include <system_error>
#include <utility>

namespace glintmark {

ImageSink::ImageSink(const ExtractJob& job, RunMode mode, ExtractObserver* observer,
                     const OutputFolder* folder)
    : m_job(job), m_mode(mode), m_observer(observer), m_folder(folder)
{
    const unsigned writers = job.writers == 0 ? defaultWriterCount() : job.writers;
    if (mode == RunMode::Write && writers > 1) {
        try {
            m_pool = std::make_unique<WriterPool>(*folder, writers);
        } catch (const std::system_error&) {
            // Without a thread to spare, the run writes each image itself, as with one writer.
        }
    }
}

ImageSink::~ImageSink()
{
    abandon();
}

char* ImageSink::nextBlock(std::size_t size, const char* carry, std::size_t carried)
{
    if (m_pool) {
        SharedBlock next = m_pool->freeBlock(size);
        std::copy_n(carry, carried, next->bytes.get());
        m_block = std::move(next);
    } else {
        if (!m_block || m_block->size < size)
            m_block = std::make_shared<SourceBlock>(size);
        if (carried > 0) // the first block has nothing carried, nor a block to carry it from
            std::memmove(m_block->bytes.get(), carry, carried);
    }
    return m_block->bytes.get();
}

std::optional<ExtractError> ImageSink::begin(std::uint64_t offset)
{
    if (m_pool) {
        if (auto error = takeWritten(false))
            return error;
        while (m_pool->full()) {
            if (auto error = takeWritten(true))
                return error;
        }
    }
    m_current = ImageInfo{};
    m_current.number = m_started + 1;
    m_current.offset = offset;
    if (m_mode == RunMode::Write) {
        m_name = imageFileName(m_job.stem, m_current.number, m_job.outExt);
        m_current.file = imagePath(m_job.outputFolder, m_name);
        m_temporary = temporaryName(m_name);
        if (m_pool) {
            m_pool->start(m_current, m_name, m_temporary);
        } else {
            std::error_code ec;
            RawFile file = m_folder->createPart(m_temporary, ec);
            if (ec)
                return makeError(ErrorKind::ImageCreate, m_current.file,
                                 "Cannot create the image file", ec);
            m_file = std::move(file);
        }
    }
    m_open = true;
    ++m_started;
    if (m_observer != nullptr)
        m_observer->onImageStart(m_current.number, offset);
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
    if (m_pool) {
        // A failed writer ends the run as soon as the images before its one are in place.
        if (m_pool->anyFailed())
            return settle();
        m_pool->add(m_block, data, keep);
    } else if (m_mode == RunMode::Write && keep > 0) {
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
    m_open = false;
    if (m_pool) {
        std::optional<ImageLink> link;
        if (m_observer != nullptr)
            link = m_observer->onImageRead(m_current);
        m_pool->close(m_current, std::move(link));
        return std::nullopt;
    }
    if (m_mode == RunMode::Write) {
        std::error_code ec;
        m_file.close(ec);
        if (ec) {
            m_folder->discard(m_temporary);
            return makeError(ErrorKind::ImageWrite, m_current.file, "Cannot finish the image file",
                             ec);
        }
    }
    return keep();
}

std::optional<ExtractError> ImageSink::settle()
{
    return m_pool ? takeWritten(true) : std::nullopt;
}

std::optional<ExtractError> ImageSink::takeWritten(bool wait)
{
    if (m_failed)
        return std::nullopt;
    while (auto written = m_pool->takeOldest(wait)) {
        if (written->error) {
            m_failed = true;
            abandon();
            return std::move(written->error);
        }
        report(written->info);
    }
    return std::nullopt;
}

std::optional<ExtractError> ImageSink::keep()
{
    if (m_mode == RunMode::Write) {
        if (auto error =
                m_folder->putInPlace(m_temporary, m_name, m_current.file, "the image file")) {
            m_folder->discard(m_temporary);
            return error;
        }
    }
    report(m_current);
    return std::nullopt;
}

void ImageSink::report(const ImageInfo& info)
{
    ++m_completed;
    if (m_observer != nullptr)
        m_observer->onImage(info);
}

void ImageSink::abandon()
{
    const bool open = std::exchange(m_open, false);
    if (m_pool) {
        m_pool->dropAll();
        return;
    }
    if (open && m_mode == RunMode::Write) {
        std::error_code ec;
        m_file.close(ec);
        m_folder->discard(m_temporary);
    }
}

} // namespace glintmark
