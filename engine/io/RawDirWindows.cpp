// RawDir on Windows: names are joined to the held folder's path; the lock is a hidden file that
// goes when its last handle closes.
#include "engine/io/RawDir.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <fcntl.h>
#include <io.h>
#include <utility>
#include <windows.h>

namespace glintmark {
namespace fs = std::filesystem;

namespace {

constexpr const wchar_t* kLockName = L".glintmark.lock";

std::error_code lastError()
{
    return {static_cast<int>(GetLastError()), std::system_category()};
}

// A descriptor that owns the open `file` (binary, in `mode`); -1 when there is none, and then the
// handle is closed.
int descriptorOf(HANDLE file, int mode, std::error_code& ec)
{
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_BINARY | mode);
    if (fd < 0) {
        ec = std::make_error_code(std::errc::too_many_files_open);
        CloseHandle(file);
    }
    return fd;
}

} // namespace

RawDir::~RawDir()
{
    closeQuietly();
}

RawDir::RawDir(RawDir&& other) noexcept
    : m_path(std::move(other.m_path)), m_handle(std::exchange(other.m_handle, nullptr)),
      m_lock(std::exchange(other.m_lock, nullptr)), m_open(std::exchange(other.m_open, false))
{}

RawDir& RawDir::operator=(RawDir&& other) noexcept
{
    if (this != &other) {
        closeQuietly();
        m_path = std::move(other.m_path);
        m_handle = std::exchange(other.m_handle, nullptr);
        m_lock = std::exchange(other.m_lock, nullptr);
        m_open = std::exchange(other.m_open, false);
    }
    return *this;
}

void RawDir::closeQuietly()
{
    if (m_lock != nullptr)
        CloseHandle(static_cast<HANDLE>(std::exchange(m_lock, nullptr)));
    if (m_handle != nullptr)
        CloseHandle(static_cast<HANDLE>(std::exchange(m_handle, nullptr)));
    m_open = false;
}

RawDir RawDir::open(const fs::path& path, std::error_code& ec)
{
    ec.clear();
    RawDir dir;
    // Shared for reading and writing but not for deletion: while this handle is open the folder
    // cannot be renamed, removed or replaced, so the names joined to its path below stay inside
    // the folder that was opened.
    const HANDLE handle =
        CreateFileW(path.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        ec = lastError();
        return dir;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info)) {
        ec = lastError();
        CloseHandle(handle);
        return dir;
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        CloseHandle(handle);
        ec = std::make_error_code(std::errc::not_a_directory);
        return dir;
    }
    dir.m_handle = handle;
    // Names are joined to the folder's own final path, so a link or junction that led to it
    // cannot be changed to lead elsewhere meanwhile.
    std::wstring final(MAX_PATH, L'\0');
    DWORD length = GetFinalPathNameByHandleW(handle, final.data(), static_cast<DWORD>(final.size()),
                                             FILE_NAME_NORMALIZED);
    if (length >= final.size()) {
        final.resize(length);
        length = GetFinalPathNameByHandleW(handle, final.data(), static_cast<DWORD>(final.size()),
                                           FILE_NAME_NORMALIZED);
    }
    final.resize(length < final.size() ? length : 0);
    dir.m_path = final.empty() ? path.native() : final;
    if (!dir.m_path.empty() && dir.m_path.back() != L'\\' && dir.m_path.back() != L'/')
        dir.m_path += L'\\';
    dir.m_open = true;
    return dir;
}

fs::path RawDir::lockName()
{
    return fs::path(kLockName);
}

bool RawDir::tryLock(std::error_code& ec)
{
    ec.clear();
    const HANDLE file =
        CreateFileW((m_path + kLockName).c_str(), GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        ec = lastError();
        return false;
    }
    OVERLAPPED whole{};
    if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &whole)) {
        const DWORD why = GetLastError();
        CloseHandle(file);
        if (why != ERROR_LOCK_VIOLATION)
            ec = std::error_code(static_cast<int>(why), std::system_category());
        return false;
    }
    m_lock = file;
    return true;
}

FileIdentity RawDir::entry(const fs::path& name, bool followLink, std::error_code& ec) const
{
    ec.clear();
    FileIdentity id;
    const DWORD flags =
        FILE_FLAG_BACKUP_SEMANTICS | (followLink ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    const HANDLE file = CreateFileW((m_path + name.native()).c_str(), 0,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, flags, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD why = GetLastError();
        if (why != ERROR_FILE_NOT_FOUND && why != ERROR_PATH_NOT_FOUND)
            ec = std::error_code(static_cast<int>(why), std::system_category());
        return id;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file, &info)) {
        ec = lastError();
        CloseHandle(file);
        return id;
    }
    CloseHandle(file);
    id.device = info.dwVolumeSerialNumber;
    id.index = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    id.size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    // As RawFile::identity() tells it, so that the two can be compared.
    id.changed = (std::uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32) |
                 info.ftLastWriteTime.dwLowDateTime;
    id.type = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? FileType::Link
              : (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0   ? FileType::Directory
                                                                          : FileType::Regular;
    return id;
}

RawFile RawDir::createNew(const fs::path& name, std::error_code& ec) const
{
    ec.clear();
    const HANDLE file = CreateFileW((m_path + name.native()).c_str(), GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        ec = lastError();
        return {};
    }
    const int fd = descriptorOf(file, _O_WRONLY, ec);
    return fd < 0 ? RawFile() : RawFile(fd);
}

RawFile RawDir::openForReading(const fs::path& name, std::error_code& ec) const
{
    ec.clear();
    // The entry itself is opened, a link or junction included, and refused unless it is a file.
    const HANDLE file =
        CreateFileW((m_path + name.native()).c_str(), GENERIC_READ,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        ec = lastError();
        return {};
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file, &info)) {
        ec = lastError();
        CloseHandle(file);
        return {};
    }
    const DWORD notAFile = FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY;
    if ((info.dwFileAttributes & notAFile) != 0 || GetFileType(file) != FILE_TYPE_DISK) {
        ec = std::make_error_code(std::errc::invalid_argument);
        CloseHandle(file);
        return {};
    }
    const int fd = descriptorOf(file, _O_RDONLY, ec);
    return fd < 0 ? RawFile() : RawFile(fd);
}

RawFile RawDir::openFileBelow(const fs::path& relative, std::error_code& ec) const
{
    ec.clear();
    const fs::path name = relative.filename();
    bool usable = !relative.has_root_path() && !name.empty() && name != "." && name != "..";
    for (const fs::path& part : relative.parent_path())
        usable = usable && !part.empty() && part != "." && part != "..";
    if (!usable) {
        ec = std::make_error_code(std::errc::invalid_argument);
        return {};
    }
    // The path is joined to the folder's: a link at the end is refused, as openForReading()
    // refuses one, but a junction on the way is followed.
    return openForReading(relative, ec);
}

bool RawDir::placeNew(const fs::path& from, const fs::path& to, std::error_code& ec) const
{
    ec.clear();
    if (MoveFileExW((m_path + from.native()).c_str(), (m_path + to.native()).c_str(), 0))
        return true;
    const DWORD why = GetLastError();
    if (why != ERROR_ALREADY_EXISTS && why != ERROR_FILE_EXISTS && why != ERROR_ACCESS_DENIED)
        ec = std::error_code(static_cast<int>(why), std::system_category());
    return false;
}

void RawDir::replace(const fs::path& from, const fs::path& to, std::error_code& ec) const
{
    ec.clear();
    if (!MoveFileExW((m_path + from.native()).c_str(), (m_path + to.native()).c_str(),
                     MOVEFILE_REPLACE_EXISTING))
        ec = lastError();
}

void RawDir::linkFrom(const RawDir& fromDir, const fs::path& from, const fs::path& to,
                      std::error_code& ec) const
{
    ec.clear();
    if (CreateHardLinkW((m_path + to.native()).c_str(), (fromDir.m_path + from.native()).c_str(),
                        nullptr))
        return;
    const DWORD why = GetLastError();
    // Told apart by callers that clear a leftover at the name and try again.
    ec = why == ERROR_ALREADY_EXISTS || why == ERROR_FILE_EXISTS
             ? std::make_error_code(std::errc::file_exists)
             : std::error_code(static_cast<int>(why), std::system_category());
}

void RawDir::remove(const fs::path& name, std::error_code& ec) const
{
    ec.clear();
    if (!DeleteFileW((m_path + name.native()).c_str()))
        ec = lastError();
}

void RawDir::makeFolder(const fs::path& name, std::error_code& ec) const
{
    ec.clear();
    if (!CreateDirectoryW((m_path + name.native()).c_str(), nullptr))
        ec = GetLastError() == ERROR_ALREADY_EXISTS ? std::make_error_code(std::errc::file_exists)
                                                    : lastError();
}

RawDir RawDir::openFolder(const fs::path& name, std::error_code& ec) const
{
    ec.clear();
    RawDir dir;
    // The entry itself, a link or junction included, held as open() holds a folder.
    const std::wstring path = m_path + name.native();
    const HANDLE handle = CreateFileW(
        path.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        ec = lastError();
        return dir;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info)) {
        ec = lastError();
        CloseHandle(handle);
        return dir;
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        CloseHandle(handle);
        ec = std::make_error_code(std::errc::not_a_directory);
        return dir;
    }
    dir.m_handle = handle;
    dir.m_path = path + L'\\';
    dir.m_open = true;
    return dir;
}

void RawDir::removeFolder(const fs::path& name, std::error_code& ec) const
{
    ec.clear();
    if (!RemoveDirectoryW((m_path + name.native()).c_str()))
        ec = lastError();
}

void RawDir::rename(const fs::path& from, const fs::path& to, std::error_code& ec) const
{
    ec.clear();
    if (MoveFileExW((m_path + from.native()).c_str(), (m_path + to.native()).c_str(), 0))
        return;
    const DWORD why = GetLastError();
    ec = why == ERROR_ALREADY_EXISTS || why == ERROR_FILE_EXISTS
             ? std::make_error_code(std::errc::file_exists)
             : std::error_code(static_cast<int>(why), std::system_category());
}

bool RawDir::exchange(const fs::path& first, const fs::path& second, std::error_code& ec) const
{
    // No exchange in one step here: the caller renames one aside.
    (void)first;
    (void)second;
    ec.clear();
    return false;
}

void RawDir::forEachName(const std::function<void(const fs::path&)>& visit,
                         std::error_code& ec) const
{
    ec.clear();
    WIN32_FIND_DATAW item{};
    const HANDLE listing = FindFirstFileW((m_path + L"*").c_str(), &item);
    if (listing == INVALID_HANDLE_VALUE) {
        if (GetLastError() != ERROR_FILE_NOT_FOUND)
            ec = lastError();
        return;
    }
    do {
        const std::wstring_view name = item.cFileName;
        if (name != L"." && name != L"..")
            visit(fs::path(std::wstring(name)));
    } while (FindNextFileW(listing, &item));
    if (GetLastError() != ERROR_NO_MORE_FILES)
        ec = lastError();
    FindClose(listing);
}

} // namespace glintmark
