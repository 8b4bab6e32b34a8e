#pragma once

#include "engine/ExtractTypes.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <system_error>

namespace glintmark::features {

// The images' bytes as the run read them, to decode once the source has been read. A regular
// source is read again by position through the run's own open handle, never by its name; a
// source that cannot be read twice (a pipe, a device, a file that reports no size) has every
// image's bytes copied as they stream past into an unnamed temporary file, which disappears
// with the run.
class ImageBytesStore
{
public:
    // Hears the run open its source; takes a handle of its own on it, or starts the copy.
    void sourceOpened(const RawFile& source, const FileIdentity& identity);
    // Hears the bytes of an image as the run reads them; copies them when the source cannot
    // be read again.
    void imageBytes(std::uint64_t offset, const char* data, std::size_t count);

    // Reads bytes of the source from `offset`; several threads may read at once. Returns fewer
    // than `count` only at the end of what is kept.
    std::size_t readAt(std::uint64_t offset, unsigned char* buffer, std::size_t count,
                       std::error_code& ec) const;
    // Why the bytes cannot be read back, if they cannot: the failure, naming `source`.
    std::optional<ExtractError> problem(const std::filesystem::path& source) const;
    // Whether a regular source read again may no longer hold the bytes the run read: it was
    // written to (or its state cannot be told) since it was opened. A copy never changes.
    bool sourceChanged() const;

private:
    RawFile m_file;
    bool m_copying = false;
    std::uint64_t m_first = 0;  // where the copy's first byte sits in the source
    std::uint64_t m_copied = 0; // bytes copied so far
    FileIdentity m_opened;      // the source as it was when the run opened it
    std::error_code m_error;    // the first failure to keep the bytes
};

} // namespace glintmark::features
