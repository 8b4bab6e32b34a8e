#include "engine/io/RawFile.h"

#include "engine/io/PosixIdentity.h"
#include "engine/io/WaitInterrupt.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace glintmark {
namespace {

std::error_code lastError()
{
    return {errno, std::system_category()};
}

} // namespace

void RawFile::closeQuietly(int fd) noexcept
{
    ::close(fd);
}

RawFile RawFile::openForReading(const std::filesystem::path& path, std::error_code& ec)
{
    ec.clear();
    // Not retried on EINTR: opening a named pipe may wait for its writer, and a signal that asks
    // the run to stop must end that wait. Opened without waiting, a named pipe's wait for its
    // writer moves to the first read, where it ends at interruptWaits() too.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        ec = lastError();
        return {};
    }
    RawFile file(fd);
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0) {
        ec = lastError();
        return {};
    }
    if (S_ISDIR(st.st_mode)) {
        ec = std::make_error_code(std::errc::is_a_directory);
        return {};
    }
    // Reads block as usual from here on; only the open was not to wait.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ec = lastError();
        return {};
    }
    file.m_waits = !S_ISREG(st.st_mode);
    return file;
}

FileIdentity RawFile::identity(std::error_code& ec) const
{
    ec.clear();
    FileIdentity id;
    struct stat st
    {
    };
    if (::fstat(m_fd, &st) != 0) {
        ec = lastError();
        return id;
    }
    id = identityFromStat(st);
    return id;
}

std::uint64_t RawFile::copyRangeFrom(const RawFile& source, std::uint64_t offset,
                                     std::uint64_t count, std::error_code& ec) const
{
    ec.clear();
#ifdef __linux__
    std::uint64_t copied = 0;
    while (copied < count) {
        auto from = static_cast<off_t>(offset + copied);
        const auto chunk =
            static_cast<std::size_t>(std::min<std::uint64_t>(count - copied, kMaxChunk));
        const ssize_t got = ::copy_file_range(source.m_fd, &from, m_fd, nullptr, chunk, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            const int reason = errno;
            // No range copy between these files (an older system, two file systems, a file
            // system without it): nothing was copied by this call, and the caller copies.
            const bool unsupported = reason == ENOSYS || reason == EXDEV || reason == EINVAL ||
                                     reason == EOPNOTSUPP || reason == EBADF;
            ec = unsupported && copied == 0
                     ? std::make_error_code(std::errc::operation_not_supported)
                     : std::error_code(reason, std::system_category());
            return copied;
        }
        if (got == 0)
            break; // the source's end
        copied += static_cast<std::uint64_t>(got);
    }
    return copied;
#else
    (void)source;
    (void)offset;
    (void)count;
    ec = std::make_error_code(std::errc::operation_not_supported);
    return 0;
#endif
}

void RawFile::adviseSequential() const
{
#ifdef POSIX_FADV_SEQUENTIAL
    // Only a hint: a failure changes nothing about what is read.
    (void)::posix_fadvise(m_fd, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
}

namespace {

// Waits until `fd` has input (or has reached its end) or waits are interrupted; false, with errno
// EINTR, for the latter, for a signal, and when `waiting` (asked every kWaitingInterval of
// silence, when given) returns false.
bool waitOn(int fd, const WaitingHook& waiting)
{
    pollfd watched[2] = {{fd, POLLIN, 0}, {waitInterruptDescriptor(), POLLIN, 0}};
    const nfds_t count = watched[1].fd >= 0 ? 2 : 1;
    const int timeout = waiting ? static_cast<int>(kWaitingInterval.count()) : -1;
    for (;;) {
        const int ready = ::poll(watched, count, timeout);
        if (ready < 0 && errno != EINTR)
            return true; // the read itself then reports what is wrong
        if (ready < 0 || (count == 2 && (watched[1].revents & POLLIN) != 0)) {
            errno = EINTR;
            return false;
        }
        if (watched[0].revents != 0)
            return true;
        if (ready == 0 && !waiting()) {
            errno = EINTR;
            return false;
        }
    }
}

} // namespace

bool RawFile::waitForInput(const WaitingHook& waiting) const
{
    return !m_waits || waitOn(m_fd, waiting);
}

std::int64_t RawFile::readSome(int fd, char* buffer, std::size_t count) noexcept
{
    return ::read(fd, buffer, count);
}

std::int64_t RawFile::writeSome(int fd, const char* data, std::size_t count) noexcept
{
    return ::write(fd, data, count);
}

std::error_code RawFile::lastCallError()
{
    return lastError();
}

void RawFile::close(std::error_code& ec)
{
    ec.clear();
    if (m_fd < 0)
        return;
    const int fd = std::exchange(m_fd, -1);
    // The descriptor is gone after close() whatever it returns, so it is never retried.
    if (::close(fd) != 0 && errno != EINTR)
        ec = lastError();
}

RawFile RawFile::duplicate(std::error_code& ec) const
{
    ec.clear();
    const int fd = ::fcntl(m_fd, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) {
        ec = lastError();
        return {};
    }
    return RawFile(fd);
}

std::int64_t RawFile::readSomeAt(std::uint64_t offset, char* buffer, std::size_t count,
                                 std::error_code& ec) const
{
    for (;;) {
        const ssize_t got = ::pread(m_fd, buffer, count, static_cast<off_t>(offset));
        // Reading a file again never waits on a writer, so a signal only asks to try again; the
        // caller looks at its stop flag between reads.
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            ec = lastError();
        return got;
    }
}

std::filesystem::path RawFile::temporaryFolder()
{
    for (const char* variable : {"TMPDIR", "TMP", "TEMP", "TEMPDIR"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0')
            return value;
    }
    return "/tmp";
}

RawFile RawFile::createUnnamedTemporary(std::error_code& ec)
{
    ec.clear();
    const std::filesystem::path folder = temporaryFolder();
#ifdef O_TMPFILE
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0)
        return RawFile(fd);
    // Not every file system has files without a name: a file is then created exclusively in
    // the same folder under a name of its own, which goes at once.
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
        ec = lastError();
        return {};
    }
#endif
    std::string name = (folder / "glintmark-XXXXXX").string();
    const int named = ::mkostemp(name.data(), O_CLOEXEC);
    if (named < 0) {
        ec = lastError();
        return {};
    }
    RawFile file(named);
    if (::unlink(name.c_str()) != 0) {
        ec = lastError();
        return {};
    }
    return file;
}

} // namespace glintmark
