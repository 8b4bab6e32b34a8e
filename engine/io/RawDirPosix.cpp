#include "engine/io/RawDir.h"

#include "engine/io/PosixIdentity.h"

#include <cerrno>
#include <cstdio>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace glintmark {
namespace fs = std::filesystem;

namespace {

std::error_code lastError()
{
    return {errno, std::system_category()};
}

} // namespace

RawDir::~RawDir()
{
    closeQuietly();
}

RawDir::RawDir(RawDir&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}

RawDir& RawDir::operator=(RawDir&& other) noexcept
{
    if (this != &other) {
        closeQuietly();
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

void RawDir::closeQuietly()
{
    if (m_fd >= 0)
        ::close(std::exchange(m_fd, -1));
}

RawDir RawDir::open(const fs::path& path, std::error_code& ec)
{
    ec.clear();
    RawDir dir;
    dir.m_fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir.m_fd < 0)
        ec = lastError();
    return dir;
}

fs::path RawDir::lockName()
{
    return {};
}

bool RawDir::tryLock(std::error_code& ec)
{
    ec.clear();
    int result = -1;
    do {
        result = ::flock(m_fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result == 0)
        return true;
    if (errno != EWOULDBLOCK)
        ec = lastError();
    return false;
}

FileIdentity RawDir::entry(const fs::path& name, bool followLink, std::error_code& ec) const
{
    ec.clear();
    FileIdentity id;
    struct stat st
    {
    };
    if (::fstatat(m_fd, name.c_str(), &st, followLink ? 0 : AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno != ENOENT)
            ec = lastError();
        return id;
    }
    return identityFromStat(st);
}

RawFile RawDir::createNew(const fs::path& name, std::error_code& ec) const
{
    ec.clear();
    const int fd =
        ::openat(m_fd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        ec = lastError();
        return {};
    }
    return RawFile(fd);
}

RawFile RawDir::openForReading(const fs::path& name, std::error_code& ec) const
{
    ec.clear();
    // Not waiting: a pipe at the name is refused below rather than waited on.
    const int fd = ::openat(m_fd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        ec = errno == ELOOP ? std::make_error_code(std::errc::invalid_argument) : lastError();
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
    if (!S_ISREG(st.st_mode)) {
        ec = std::make_error_code(std::errc::invalid_argument);
        return {};
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ec = lastError();
        return {};
    }
    return file;
}

RawFile RawDir::openFileBelow(const fs::path& relative, std::error_code& ec) const
{
    ec.clear();
    const fs::path name = relative.filename();
    if (relative.is_absolute() || name.empty() || name == "." || name == "..") {
        ec = std::make_error_code(std::errc::invalid_argument);
        return {};
    }
    // The folders on the way, each opened inside the one before; the last holds the file.
    RawDir step;
    const RawDir* at = this;
    for (const fs::path& part : relative.parent_path()) {
        if (part.empty() || part == "." || part == ".." || part == "/") {
            ec = std::make_error_code(std::errc::invalid_argument);
            return {};
        }
        RawDir next;
        // Not waiting and not following: only a folder is opened on the way.
        next.m_fd = ::openat(at->m_fd, part.c_str(),
                             O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (next.m_fd < 0) {
            ec = errno == ELOOP || errno == ENOTDIR
                     ? std::make_error_code(std::errc::invalid_argument)
                     : lastError();
            return {};
        }
        step = std::move(next);
        at = &step;
    }
    return at->openForReading(name, ec);
}

bool RawDir::placeNew(const fs::path& from, const fs::path& to, std::error_code& ec) const
{
    ec.clear();
#if defined(__linux__) && defined(RENAME_NOREPLACE)
    if (::renameat2(m_fd, from.c_str(), m_fd, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    // Taken, or a file system without the flag: either way the caller looks and replaces.
    if (errno != EEXIST && errno != EINVAL && errno != ENOSYS)
        ec = lastError();
#else
    (void)from;
    (void)to;
#endif
    return false;
}

void RawDir::replace(const fs::path& from, const fs::path& to, std::error_code& ec) const
{
    ec.clear();
    if (::renameat(m_fd, from.c_str(), m_fd, to.c_str()) != 0)
        ec = lastError();
}

void RawDir::linkFrom(const RawDir& fromDir, const fs::path& from, const fs::path& to,
                      std::error_code& ec) const
{
    ec.clear();
    if (::linkat(fromDir.m_fd, from.c_str(), m_fd, to.c_str(), 0) != 0)
        ec = lastError();
}

void RawDir::remove(const fs::path& name, std::error_code& ec) const
{
    ec.clear();
    if (::unlinkat(m_fd, name.c_str(), 0) != 0)
        ec = lastError();
}

void RawDir::makeFolder(const fs::path& name, std::error_code& ec) const
{
    ec.clear();
    if (::mkdirat(m_fd, name.c_str(), 0777) != 0)
        ec = lastError();
}

RawDir RawDir::openFolder(const fs::path& name, std::error_code& ec) const
{
    ec.clear();
    RawDir dir;
    // Not waiting and not following: only a folder is opened.
    dir.m_fd =
        ::openat(m_fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (dir.m_fd < 0)
        ec = errno == ELOOP ? std::make_error_code(std::errc::not_a_directory) : lastError();
    return dir;
}

void RawDir::removeFolder(const fs::path& name, std::error_code& ec) const
{
    ec.clear();
    if (::unlinkat(m_fd, name.c_str(), AT_REMOVEDIR) != 0)
        ec = lastError();
}

void RawDir::rename(const fs::path& from, const fs::path& to, std::error_code& ec) const
{
    ec.clear();
#if defined(__linux__) && defined(RENAME_NOREPLACE)
    if (::renameat2(m_fd, from.c_str(), m_fd, to.c_str(), RENAME_NOREPLACE) == 0)
        return;
    if (errno != EINVAL && errno != ENOSYS) {
        ec = lastError();
        return;
    }
#endif
    // Looked at first: renameat() would put a folder in the place of an empty one, a file in
    // the place of a file.
    struct stat st
    {
    };
    if (::fstatat(m_fd, to.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        ec = std::make_error_code(std::errc::file_exists);
        return;
    }
    if (::renameat(m_fd, from.c_str(), m_fd, to.c_str()) != 0)
        ec = lastError();
}

bool RawDir::exchange(const fs::path& first, const fs::path& second, std::error_code& ec) const
{
    ec.clear();
#if defined(__linux__) && defined(RENAME_EXCHANGE)
    if (::renameat2(m_fd, first.c_str(), m_fd, second.c_str(), RENAME_EXCHANGE) == 0)
        return true;
    // A file system without the flag, or a kernel without the call: the caller does without.
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        ec = lastError();
#else
    (void)first;
    (void)second;
#endif
    return false;
}

void RawDir::forEachName(const std::function<void(const fs::path&)>& visit,
                         std::error_code& ec) const
{
    ec.clear();
    // The listing gets a descriptor of its own: closedir() closes it, and its position.
    const int fd = ::openat(m_fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* const listing = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (listing == nullptr) {
        ec = lastError();
        if (fd >= 0)
            ::close(fd);
        return;
    }
    for (;;) {
        errno = 0;
        const dirent* item = ::readdir(listing);
        if (item == nullptr) {
            if (errno != 0)
                ec = lastError();
            break;
        }
        const std::string_view name = item->d_name;
        if (name != "." && name != "..")
            visit(fs::path(name));
    }
    ::closedir(listing);
}

} // namespace glintmark
