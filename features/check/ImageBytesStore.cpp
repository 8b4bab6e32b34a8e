#include "features/check/ImageBytesStore.h"

#include "engine/io/PathText.h"

namespace glintmark::features {

void ImageBytesStore::sourceOpened(const RawFile& source, const FileIdentity& identity)
{
    // A regular file is read up to the size it had when opened, so that much can be read again;
    // one that reports no size is read as a pipe is, to its end, and is copied like one.
    m_copying = identity.type != FileType::Regular || identity.size == 0;
    m_opened = identity;
    m_file = m_copying ? RawFile::createUnnamedTemporary(m_error) : source.duplicate(m_error);
}

void ImageBytesStore::imageBytes(std::uint64_t offset, const char* data, std::size_t count)
{
    if (!m_copying || m_error)
        return;
    if (m_copied == 0)
        m_first = offset;
    // Images follow one another without a gap from the first signature on.
    if (offset != m_first + m_copied) {
        m_error = std::make_error_code(std::errc::invalid_seek);
        return;
    }
    m_file.writeAll(data, count, m_error);
    m_copied += count;
}

std::size_t ImageBytesStore::readAt(std::uint64_t offset, unsigned char* buffer, std::size_t count,
                                    std::error_code& ec) const
{
    ec = m_error;
    if (ec)
        return 0;
    if (m_copying && offset < m_first) {
        ec = std::make_error_code(std::errc::invalid_seek);
        return 0;
    }
    return m_file.readAt(m_copying ? offset - m_first : offset, reinterpret_cast<char*>(buffer),
                         count, ec);
}

bool ImageBytesStore::sourceChanged() const
{
    if (m_copying || m_error)
        return false;
    std::error_code ec;
    const FileIdentity now = m_file.identity(ec);
    return ec || now.changed != m_opened.changed || now.size != m_opened.size;
}

std::optional<ExtractError> ImageBytesStore::problem(const std::filesystem::path& source) const
{
    if (!m_error)
        return std::nullopt;
    const std::string name = "\"" + displayPath(source) + "\"";
    if (!m_copying)
        return ExtractError{ErrorKind::SourceRead, source,
                            "Cannot read the images back from " + name +
                                " to decode them: " + m_error.message()};
    return ExtractError{ErrorKind::SourceRead, source,
                        "Cannot keep the images of " + name + " in a temporary file in \"" +
                            displayPath(RawFile::temporaryFolder()) +
                            "\" to decode them: " + m_error.message()};
}

} // namespace glintmark::features
