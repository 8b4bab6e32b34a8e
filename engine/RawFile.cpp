#include "engine/RawFile.h"

#include "engine/PosixIdentity.h"
#include "engine/WaitInterrupt.h"
#include "engine/WindowsNames.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#endif

namespace glintmark {
namespace {

#ifdef _WIN32
// Reasons the C library's errno cannot tell: it reports a file that another program holds
// open as a mere EACCES, and a device name as whatever the device answers.
class WindowsFileCategory : public std::error_category
{
public:
    static constexpr int kDeviceName = -1;

    const char* name() const noexcept override { return "windows-file"; }
    std::string message(int code) const override
    {
        if (code == kDeviceName)
            return "The name is a device on Windows, not a file";
        return "The file is in use by another program";
    }
};

const WindowsFileCategory& windowsFileCategory()
{
    static const WindowsFileCategory category;
    return category;
}

std::error_code lastError()
{
    if (errno == EACCES &&
        (_doserrno == ERROR_SHARING_VIOLATION || _doserrno == ERROR_LOCK_VIOLATION))
        return {static_cast<int>(_doserrno), windowsFileCategory()};
    return {errno, std::generic_category()};
}

// A descriptor that owns `handle`; the handle is closed when none can be had.
int descriptorFor(HANDLE handle, int flags, std::error_code& ec)
{
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), flags);
    if (fd < 0) {
        ec = lastError();
        CloseHandle(handle);
    }
    return fd;
}

// Opens `path` with _wopen unless one of its parts names a device (NUL, CON, COM1, ...).
int openFile(const std::filesystem::path& path, int flags, std::error_code& deviceError)
{
    if (!reservedDevicePart(path).empty()) {
        deviceError = {WindowsFileCategory::kDeviceName, windowsFileCategory()};
        return -1;
    }
    return _wopen(path.c_str(), flags, _S_IREAD | _S_IWRITE);
}

// Why a file could not be opened. Windows refuses to open a folder as a file with "access
// denied"; it is reported as the folder it is.
std::error_code openError(const std::filesystem::path& path)
{
    const std::error_code ec = lastError();
    if (ec == std::errc::permission_denied) {
        const DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            return std::make_error_code(std::errc::is_a_directory);
    }
    return ec;
}
#else
std::error_code lastError()
{
    return {errno, std::system_category()};
}

std::error_code openError(const std::filesystem::path&)
{
    return lastError();
}
#endif

// The largest count handed to one read or write call.
constexpr std::size_t kMaxChunk = std::size_t{1} << 30;

#ifdef _WIN32
using Stat = struct _stat64;
int statOpenFile(int fd, Stat* st)
{
    return _fstat64(fd, st);
}
bool isDirectory(const Stat& st)
{
    return (st.st_mode & _S_IFMT) == _S_IFDIR;
}
#else
using Stat = struct stat;
int statOpenFile(int fd, Stat* st)
{
    return ::fstat(fd, st);
}
bool isDirectory(const Stat& st)
{
    return S_ISDIR(st.st_mode);
}
#endif

void closeQuietly(int fd)
{
#ifdef _WIN32
    _close(fd);
#else
    ::close(fd);
#endif
}

} // namespace

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

RawFile RawFile::openForReading(const std::filesystem::path& path, std::error_code& ec)
{
    ec.clear();
#ifdef _WIN32
    const int fd = openFile(path, _O_RDONLY | _O_BINARY | _O_NOINHERIT | _O_SEQUENTIAL, ec);
#else
    // Not retried on EINTR: opening a named pipe may wait for its writer, and a signal that asks
    // the run to stop must end that wait. Opened without waiting, a named pipe's wait for its
    // writer moves to the first read, where it ends at interruptWaits() too.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
#endif
    if (fd < 0) {
        if (!ec)
            ec = openError(path);
        return {};
    }
    RawFile file(fd);
    Stat st{};
    if (statOpenFile(fd, &st) != 0) {
        ec = lastError();
        return {};
    }
    if (isDirectory(st)) {
        ec = std::make_error_code(std::errc::is_a_directory);
        return {};
    }
#ifndef _WIN32
    // Reads block as usual from here on; only the open was not to wait.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ec = lastError();
        return {};
    }
    file.m_waits = !S_ISREG(st.st_mode);
#endif
    return file;
}

FileIdentity RawFile::identity(std::error_code& ec) const
{
    ec.clear();
    FileIdentity id;
#ifdef _WIN32
    BY_HANDLE_FILE_INFORMATION info{};
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(m_fd));
    if (handle == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(handle, &info)) {
        ec = std::error_code(static_cast<int>(GetLastError()), std::system_category());
        return id;
    }
    id.device = info.dwVolumeSerialNumber;
    id.index = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    id.size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    id.type = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? FileType::Directory
              : GetFileType(handle) == FILE_TYPE_DISK                 ? FileType::Regular
                                                                      : FileType::Other;
#else
    Stat st{};
    if (statOpenFile(m_fd, &st) != 0) {
        ec = lastError();
        return id;
    }
    id = identityFromStat(st);
#endif
    return id;
}

void RawFile::adviseSequential() const
{
#if !defined(_WIN32) && defined(POSIX_FADV_SEQUENTIAL)
    // Only a hint: a failure changes nothing about what is read.
    (void)::posix_fadvise(m_fd, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
}

#ifndef _WIN32
namespace {

// Waits until `fd` has input (or has reached its end) or waits are interrupted; false, with errno
// EINTR, for the latter and for a signal.
bool waitForInput(int fd)
{
    pollfd watched[2] = {{fd, POLLIN, 0}, {waitInterruptDescriptor(), POLLIN, 0}};
    const nfds_t count = watched[1].fd >= 0 ? 2 : 1;
    for (;;) {
        const int ready = ::poll(watched, count, -1);
        if (ready < 0 && errno != EINTR)
            return true; // the read itself then reports what is wrong
        if (ready < 0 || (count == 2 && (watched[1].revents & POLLIN) != 0)) {
            errno = EINTR;
            return false;
        }
        if (watched[0].revents != 0)
            return true;
    }
}

} // namespace
#endif

std::size_t RawFile::readFully(char* buffer, std::size_t count, std::error_code& ec) const
{
    ec.clear();
    std::size_t done = 0;
    while (done < count) {
        const std::size_t chunk = std::min(count - done, kMaxChunk);
#ifndef _WIN32
        if (m_waits && !waitForInput(m_fd)) {
            ec = std::make_error_code(std::errc::interrupted);
            return done;
        }
#endif
#ifdef _WIN32
        const int got = _read(m_fd, buffer + done, static_cast<unsigned int>(chunk));
#else
        const ssize_t got = ::read(m_fd, buffer + done, chunk);
#endif
        if (got < 0) {
            // A signal came while the read waited (on a pipe): the caller decides whether to go
            // on, so a request to stop is never swallowed by a retry.
            ec = errno == EINTR ? std::make_error_code(std::errc::interrupted) : lastError();
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
#ifdef _WIN32
        const int put = _write(m_fd, data + done, static_cast<unsigned int>(chunk));
#else
        const ssize_t put = ::write(m_fd, data + done, chunk);
#endif
        if (put < 0) {
            if (errno == EINTR)
                continue;
            ec = lastError();
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

void RawFile::close(std::error_code& ec)
{
    ec.clear();
    if (m_fd < 0)
        return;
    const int fd = std::exchange(m_fd, -1);
#ifdef _WIN32
    if (_close(fd) != 0)
        ec = lastError();
#else
    // The descriptor is gone after close() whatever it returns, so it is never retried.
    if (::close(fd) != 0 && errno != EINTR)
        ec = lastError();
#endif
}

RawFile RawFile::duplicate(std::error_code& ec) const
{
    ec.clear();
#ifdef _WIN32
    HANDLE copy = nullptr;
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(m_fd));
    if (handle == INVALID_HANDLE_VALUE ||
        !DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, FALSE,
                         DUPLICATE_SAME_ACCESS)) {
        ec = std::error_code(static_cast<int>(GetLastError()), std::system_category());
        return {};
    }
    const int fd = descriptorFor(copy, _O_RDONLY | _O_BINARY, ec);
    if (fd < 0)
        return {};
#else
    const int fd = ::fcntl(m_fd, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) {
        ec = lastError();
        return {};
    }
#endif
    return RawFile(fd);
}

std::size_t RawFile::readAt(std::uint64_t offset, char* buffer, std::size_t count,
                            std::error_code& ec) const
{
    ec.clear();
    std::size_t done = 0;
    while (done < count) {
        const std::size_t chunk = std::min(count - done, kMaxChunk);
        const std::uint64_t at = offset + done;
#ifdef _WIN32
        OVERLAPPED where{};
        where.Offset = static_cast<DWORD>(at);
        where.OffsetHigh = static_cast<DWORD>(at >> 32);
        DWORD got = 0;
        const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(m_fd));
        if (!ReadFile(handle, buffer + done, static_cast<DWORD>(chunk), &got, &where)) {
            const DWORD error = GetLastError();
            if (error == ERROR_HANDLE_EOF)
                break;
            ec = std::error_code(static_cast<int>(error), std::system_category());
            return done;
        }
#else
        const ssize_t got = ::pread(m_fd, buffer + done, chunk, static_cast<off_t>(at));
        if (got < 0) {
            // Reading a file again never waits on a writer, so a signal only asks to try again;
            // the caller looks at its stop flag between reads.
            if (errno == EINTR)
                continue;
            ec = lastError();
            return done;
        }
#endif
        if (got == 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

RawFile RawFile::createUnnamedTemporary(std::error_code& ec)
{
    ec.clear();
    const std::filesystem::path folder = std::filesystem::temp_directory_path(ec);
    if (ec)
        return {};
#ifdef _WIN32
    // Windows has no file without a name: this one is deleted by the system when its last
    // handle closes, and nobody else may open it meanwhile.
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path name =
            folder /
            (L"glintmark-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
             std::to_wstring(GetTickCount64()) + L"-" + std::to_wstring(counter++) + L".tmp");
        HANDLE handle =
            CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                        FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            if (GetLastError() == ERROR_FILE_EXISTS)
                continue;
            ec = std::error_code(static_cast<int>(GetLastError()), std::system_category());
            return {};
        }
        const int fd = descriptorFor(handle, _O_RDWR | _O_BINARY, ec);
        return fd < 0 ? RawFile() : RawFile(fd);
    }
    ec = std::make_error_code(std::errc::file_exists);
    return {};
#else
#ifdef O_TMPFILE
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0)
        return RawFile(fd);
    // Not every file system has files without a name; tmpfile() then removes its own name
    // as soon as it has created the file exclusively.
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
        ec = lastError();
        return {};
    }
#endif
    std::FILE* stream = std::tmpfile();
    if (stream == nullptr) {
        ec = lastError();
        return {};
    }
    const int copy = ::fcntl(::fileno(stream), F_DUPFD_CLOEXEC, 0);
    if (copy < 0)
        ec = lastError();
    std::fclose(stream);
    return copy < 0 ? RawFile() : RawFile(copy);
#endif
}

} // namespace glintmark
