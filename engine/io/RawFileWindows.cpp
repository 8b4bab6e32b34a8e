#include "engine/io/RawFile.h"

#include "engine/names/WindowsNames.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <windows.h>

namespace glintmark {
namespace {

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

using Stat = struct _stat64;
int statOpenFile(int fd, Stat* st)
{
    return _fstat64(fd, st);
}
bool isDirectory(const Stat& st)
{
    return (st.st_mode & _S_IFMT) == _S_IFDIR;
}

} // namespace

void RawFile::closeQuietly(int fd) noexcept
{
    _close(fd);
}

RawFile RawFile::openForReading(const std::filesystem::path& path, std::error_code& ec)
{
    ec.clear();
    const int fd = openFile(path, _O_RDONLY | _O_BINARY | _O_NOINHERIT | _O_SEQUENTIAL, ec);
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
    // A pipe's reads wait for its writer; they are the only ones a WaitingHook watches.
    file.m_waits = GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(fd))) == FILE_TYPE_PIPE;
    return file;
}

FileIdentity RawFile::identity(std::error_code& ec) const
{
    ec.clear();
    FileIdentity id;
    BY_HANDLE_FILE_INFORMATION info{};
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(m_fd));
    if (handle == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(handle, &info)) {
        ec = std::error_code(static_cast<int>(GetLastError()), std::system_category());
        return id;
    }
    id.device = info.dwVolumeSerialNumber;
    id.index = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    id.size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    id.changed = (std::uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32) |
                 info.ftLastWriteTime.dwLowDateTime;
    id.type = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? FileType::Directory
              : GetFileType(handle) == FILE_TYPE_DISK                 ? FileType::Regular
                                                                      : FileType::Other;
    return id;
}

std::uint64_t RawFile::copyRangeFrom(const RawFile& source, std::uint64_t offset,
                                     std::uint64_t count, std::error_code& ec) const
{
    // Windows copies ranges only between whole files (CopyFile) or on ReFS (block cloning):
    // the caller copies the bytes itself.
    (void)source;
    (void)offset;
    (void)count;
    ec = std::make_error_code(std::errc::operation_not_supported);
    return 0;
}

void RawFile::adviseSequential() const
{
    // Windows takes this hint when the file is opened (_O_SEQUENTIAL).
}

bool RawFile::waitForInput(const WaitingHook& waiting) const
{
    // A read on Windows cannot be cut short by a stop, so a pipe's read is only begun once the
    // pipe holds bytes (or its writer is gone), looking again every few milliseconds and asking
    // `waiting` every kWaitingInterval. Without a hook the read waits as it always did.
    if (!m_waits || !waiting)
        return true;
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(m_fd));
    constexpr DWORD kLookEveryMs = 10;
    auto asked = std::chrono::steady_clock::now();
    for (;;) {
        DWORD available = 0;
        // A failure (the writer gone, not a pipe after all) is the read's to report.
        if (!PeekNamedPipe(handle, nullptr, 0, nullptr, &available, nullptr) || available > 0)
            return true;
        const auto now = std::chrono::steady_clock::now();
        if (now - asked >= kWaitingInterval) {
            if (!waiting()) {
                errno = EINTR;
                return false;
            }
            asked = now;
        }
        Sleep(kLookEveryMs);
    }
}

std::int64_t RawFile::readSome(int fd, char* buffer, std::size_t count) noexcept
{
    return _read(fd, buffer, static_cast<unsigned int>(count));
}

std::int64_t RawFile::writeSome(int fd, const char* data, std::size_t count) noexcept
{
    return _write(fd, data, static_cast<unsigned int>(count));
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
    if (_close(fd) != 0)
        ec = lastError();
}

RawFile RawFile::duplicate(std::error_code& ec) const
{
    ec.clear();
    HANDLE copy = nullptr;
    // A file that is not open has no handle, and asking for one sets no system error.
    const auto handle =
        m_fd < 0 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(_get_osfhandle(m_fd));
    if (handle == INVALID_HANDLE_VALUE) {
        ec = std::make_error_code(std::errc::bad_file_descriptor);
        return {};
    }
    if (!DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, FALSE,
                         DUPLICATE_SAME_ACCESS)) {
        ec = std::error_code(static_cast<int>(GetLastError()), std::system_category());
        return {};
    }
    const int fd = descriptorFor(copy, _O_RDONLY | _O_BINARY, ec);
    if (fd < 0)
        return {};
    return RawFile(fd);
}

std::int64_t RawFile::readSomeAt(std::uint64_t offset, char* buffer, std::size_t count,
                                 std::error_code& ec) const
{
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(offset);
    where.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(m_fd));
    if (!ReadFile(handle, buffer, static_cast<DWORD>(count), &got, &where)) {
        const DWORD error = GetLastError();
        if (error == ERROR_HANDLE_EOF)
            return 0;
        ec = std::error_code(static_cast<int>(error), std::system_category());
        return -1;
    }
    return got;
}

std::filesystem::path RawFile::temporaryFolder()
{
    wchar_t buffer[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
    if (length == 0 || length > MAX_PATH)
        return std::filesystem::path(L"C:\\Windows\\Temp");
    std::wstring folder(buffer, length);
    // The system ends it in a separator; a folder is named without one, but for a drive's root.
    if (folder.size() > 3 && (folder.back() == L'\\' || folder.back() == L'/'))
        folder.pop_back();
    return std::filesystem::path(folder);
}

RawFile RawFile::createUnnamedTemporary(std::error_code& ec)
{
    ec.clear();
    const std::filesystem::path folder = temporaryFolder();
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
}

} // namespace glintmark
