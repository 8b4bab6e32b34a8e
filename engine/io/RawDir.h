#pragma once

#include "engine/io/RawFile.h"

#include <filesystem>
#include <functional>
#include <system_error>

#ifdef _WIN32
#include <string>
#endif

namespace glintmark {

// An open output folder. Every name handed to it is a bare file name inside that folder, resolved
// against the folder opened once, so a folder renamed or swapped for a link meanwhile cannot
// redirect a write. (On Windows names are joined to the folder's path instead; there the folder
// is held open so that nobody can rename, remove or replace it while it is open.) Together with
// RawFile, the only place that calls the system's file API.
class RawDir
{
public:
    RawDir() = default;
    ~RawDir();
    RawDir(RawDir&& other) noexcept;
    RawDir& operator=(RawDir&& other) noexcept;
    RawDir(const RawDir&) = delete;
    RawDir& operator=(const RawDir&) = delete;

    // Opens an existing folder; anything else is refused with "not a directory".
    static RawDir open(const std::filesystem::path& path, std::error_code& ec);
    // Whether a folder is open.
#ifdef _WIN32
    bool isOpen() const
    {
        return m_open;
    }
#else
    bool isOpen() const
    {
        return m_fd >= 0;
    }
#endif

    // The name of the file that holds the lock inside a locked folder; empty where the lock
    // needs no file of its own.
    static std::filesystem::path lockName();
    // Takes this program's exclusive lock on the folder without waiting; false (and no error)
    // when another run holds it. The lock lasts until the folder is closed.
    bool tryLock(std::error_code& ec);
    // What sits at `name`: a link itself unless `followLink`; type Missing when nothing does.
    FileIdentity entry(const std::filesystem::path& name, bool followLink,
                       std::error_code& ec) const;
    // Creates `name` for writing; fails if anything at all sits there already, even a link.
    RawFile createNew(const std::filesystem::path& name, std::error_code& ec) const;
    // Opens the regular file `name` for reading. A link at the name is not followed, and
    // anything but a regular file there (a link, a folder, a pipe) is refused with
    // std::errc::invalid_argument without waiting for it.
    RawFile openForReading(const std::filesystem::path& name, std::error_code& ec) const;
    // Opens the regular file at `relative` below the folder (a bare name, or folders and a name:
    // "maps/castle.ldb"), each step taken from the one before: every folder on the way is opened
    // inside the last, and neither a link on the way nor at the end is followed. A "..", an
    // empty or an absolute part, a link, or anything but a folder on the way or a regular file
    // at the end (a pipe, a device) is refused with std::errc::invalid_argument without waiting
    // for it. (On Windows the path is joined to the folder's and opened as openForReading() opens
    // a name: a link at the end is refused, a junction on the way is not.)
    RawFile openFileBelow(const std::filesystem::path& relative, std::error_code& ec) const;
    // Gives the file `from` the name `to` if nothing sits there; false (and no error) when
    // something does, or when the system cannot tell without a separate look.
    bool placeNew(const std::filesystem::path& from, const std::filesystem::path& to,
                  std::error_code& ec) const;
    // Puts the file `from` in the place of `to` in one step: whatever `to` was (a file, a link,
    // a pipe) is replaced as an entry of the folder, never written through. A folder at `to`
    // is an error.
    void replace(const std::filesystem::path& from, const std::filesystem::path& to,
                 std::error_code& ec) const;
    // Gives the file `from` in the folder `fromDir` a further name `to` here (a hard link); fails
    // if anything sits at `to` (std::errc::file_exists), and where the file system has no hard
    // links or the folders lie on different devices.
    void linkFrom(const RawDir& fromDir, const std::filesystem::path& from,
                  const std::filesystem::path& to, std::error_code& ec) const;
    // Removes the entry `name` (a link itself, not what it leads to); folders are not removed.
    void remove(const std::filesystem::path& name, std::error_code& ec) const;
    // Makes the folder `name`; fails if anything at all sits there already.
    void makeFolder(const std::filesystem::path& name, std::error_code& ec) const;
    // Opens the folder `name` inside this one. A link at the name is not followed: it, or
    // anything but a folder there, is refused with std::errc::not_a_directory.
    RawDir openFolder(const std::filesystem::path& name, std::error_code& ec) const;
    // Removes the empty folder `name`.
    void removeFolder(const std::filesystem::path& name, std::error_code& ec) const;
    // Gives the entry `from` (a folder too) the name `to`, which must be free: something there
    // fails with std::errc::file_exists. (Where the system cannot refuse in the same step, an
    // empty folder appearing at `to` between the look and the rename may be replaced.)
    void rename(const std::filesystem::path& from, const std::filesystem::path& to,
                std::error_code& ec) const;
    // Swaps the entries `first` and `second` (folders too) in one step; false (and no error)
    // where the system or the file system offers no such exchange.
    bool exchange(const std::filesystem::path& first, const std::filesystem::path& second,
                  std::error_code& ec) const;
    // Calls `visit` with the name of every entry of the folder, "." and ".." aside.
    void forEachName(const std::function<void(const std::filesystem::path&)>& visit,
                     std::error_code& ec) const;

private:
    void closeQuietly();

#ifdef _WIN32
    std::wstring m_path;      // the folder, with a trailing separator
    void* m_handle = nullptr; // the folder itself, held so that it cannot be renamed or removed
    void* m_lock = nullptr;
    bool m_open = false;
#else
    int m_fd = -1;
#endif
};

} // namespace glintmark
