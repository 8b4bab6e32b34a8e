// The parts of RawFile that are the same on every platform.
#include "engine/io/RawFile.h"

#include <algorithm>
#include <cerrno>
#include <utility>

namespace glintmark {

RawFile::~RawFile()
{
    if (m_fd >= 0)
        closeQuietly(m_fd);
}

RawFile::RawFile(RawFile&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_waits(std::exchange(other.m_waits, false))
{}

RawFile& RawFile::operator=(RawFile&& other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            closeQuietly(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
        m_waits = std::exchange(other.m_waits, false);
    }
    return *this;
}

std::size_t RawFile::readFully(char* buffer, std::size_t count, std::error_code& ec,
                               const WaitingHook& waiting) const
{
    ec.clear();
    std::size_t done = 0;
    while (done < count) {
        const std::size_t chunk = std::min(count - done, kMaxChunk);
        if (!waitForInput(waiting)) {
            ec = std::make_error_code(std::errc::interrupted);
            return done;
        }
        const std::int64_t got = readSome(m_fd, buffer + done, chunk);
        if (got < 0) {
            // A signal came while the read waited (on a pipe): the caller decides whether to go
            // on, so a request to stop is never swallowed by a retry.
            ec = errno == EINTR ? std::make_error_code(std::errc::interrupted) : lastCallError();
            return done;
        }
        if (got == 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

void RawFile::writeAll(const char* data, std::size_t count, std::error_code& ec) const
{
    ec.clear();
    std::size_t done = 0;
    while (done < count) {
        const std::size_t chunk = std::min(count - done, kMaxChunk);
        const std::int64_t put = writeSome(m_fd, data + done, chunk);
        if (put < 0) {
            if (errno == EINTR)
                continue;
            ec = lastCallError();
            return;
        }
        if (put == 0) {
            // Nothing taken and no reason given: the device has no room left.
            ec = std::make_error_code(std::errc::no_space_on_device);
            return;
        }
        done += static_cast<std::size_t>(put);
    }
}

std::size_t RawFile::readAt(std::uint64_t offset, char* buffer, std::size_t count,
                            std::error_code& ec) const
{
    ec.clear();
    std::size_t done = 0;
    while (done < count) {
        const std::size_t chunk = std::min(count - done, kMaxChunk);
        const std::int64_t got = readSomeAt(offset + done, buffer + done, chunk, ec);
        if (got <= 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

} // namespace glintmark
