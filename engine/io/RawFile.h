#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <system_error>

namespace glintmark {

// What kind of entry a name leads to.
enum class FileType
{
    Missing,
    Regular,
    Directory,
    Link,
    Other // a pipe, a device, a socket
};

// What tells one file apart from every other on the machine, its size and its kind.
struct FileIdentity
{
    std::uint64_t device = 0;
    std::uint64_t index = 0;
    std::uint64_t size = 0;
    FileType type = FileType::Missing;
    // When the file last changed, as the system counts (a write moves it on); 0 where unknown.
    // Compared, never shown.
    std::uint64_t changed = 0;

    // Whether both name the same file.
    bool sameFileAs(const FileIdentity& other) const
    {
        return device == other.device && index == other.index;
    }
};

// How often a read that waits for input asks its WaitingHook whether to go on waiting.
inline constexpr std::chrono::milliseconds kWaitingInterval{100};

// Asked about every kWaitingInterval while a read waits for input (a silent pipe or device);
// returning false ends the wait as interruptWaits() would. A caller that must stay responsive
// (the window, which handles its events here) passes one; without one a wait ends only at input,
// a signal or interruptWaits().
using WaitingHook = std::function<bool()>;

// An open file used for raw byte access, closed when it goes out of scope. With RawDir, the one
// place in the engine that talks to the operating system's file calls: RawFilePosix.cpp and
// RawFileWindows.cpp implement it, one of them built for the platform.
class RawFile
{
public:
    RawFile() = default;
    ~RawFile();
    RawFile(RawFile&& other) noexcept;
    RawFile& operator=(RawFile&& other) noexcept;
    RawFile(const RawFile&) = delete;
    RawFile& operator=(const RawFile&) = delete;

    // Opens an existing file read-only; a folder is refused with "is a directory". A wait (for
    // the writer of a named pipe) cut short by a signal fails with std::errc::interrupted;
    // where the system allows, the open does not wait at all and the first read waits instead.
    static RawFile openForReading(const std::filesystem::path& path, std::error_code& ec);

    // False for a default-made or moved-from handle, and after close().
    bool isOpen() const { return m_fd >= 0; }
    // The open file's identity (device and file index) and size.
    FileIdentity identity(std::error_code& ec) const;
    // Tells the system the file will be read once from start to end.
    void adviseSequential() const;
    // Reads until `buffer` is full or the file ends; returns the bytes read (short only at the
    // end, or when a signal, interruptWaits() or `waiting` returning false cuts a wait short:
    // then `ec` is std::errc::interrupted). `waiting` is asked while a read waits for input.
    std::size_t readFully(char* buffer, std::size_t count, std::error_code& ec,
                          const WaitingHook& waiting = {}) const;
    // Writes all `count` bytes, going on after partial writes and interrupted calls; a write
    // that takes nothing fails with std::errc::no_space_on_device.
    void writeAll(const char* data, std::size_t count, std::error_code& ec) const;

    // Appends `count` bytes of `source`, from its `offset` on, at this file's position, letting
    // the system copy them without their passing through the program (and share the file
    // system's extents where it can); returns the bytes copied, which is short only at the
    // source's end. Where the system has no such copy between these two files, nothing is
    // copied and `ec` is std::errc::operation_not_supported: the caller copies them itself.
    std::uint64_t copyRangeFrom(const RawFile& source, std::uint64_t offset, std::uint64_t count,
                                std::error_code& ec) const;
    // A second handle on the same open file, for reading it again by position.
    RawFile duplicate(std::error_code& ec) const;
    // Reads from `offset` until `buffer` is full or the file ends, without moving the file's
    // position, so several threads may read one handle at once; returns the bytes read.
    std::size_t readAt(std::uint64_t offset, char* buffer, std::size_t count,
                       std::error_code& ec) const;
    // A new empty file for reading and writing in the system's temporary folder (TMPDIR where
    // it is set) that no name leads to; it is gone once closed, also when the program is killed.
    static RawFile createUnnamedTemporary(std::error_code& ec);
    // The folder createUnnamedTemporary() uses, as the environment names it, whether it exists
    // or not: TMPDIR (then TMP, TEMP, TEMPDIR) or /tmp; on Windows the system's temporary folder.
    static std::filesystem::path temporaryFolder();
    // Closes the file, reporting a failure of the close itself.
    void close(std::error_code& ec);

private:
    friend class RawDir;
    explicit RawFile(int fd) : m_fd(fd) {}
    // The largest count handed to one read or write call.
    static constexpr std::size_t kMaxChunk = std::size_t{1} << 30;

    // The platform's own calls (RawFilePosix.cpp, RawFileWindows.cpp), under the loops that all
    // platforms share (RawFile.cpp).
    // Closes `fd`, ignoring a failure: for handles whose data no longer matters.
    static void closeQuietly(int fd) noexcept;
    // One read call of at most `count` bytes: the bytes read, or -1 with errno set.
    static std::int64_t readSome(int fd, char* buffer, std::size_t count) noexcept;
    // One write call of at most `count` bytes: the bytes written, or -1 with errno set.
    static std::int64_t writeSome(int fd, const char* data, std::size_t count) noexcept;
    // Waits, for a file whose reads may wait, until it has input; false when waits were
    // interrupted (interruptWaits()), a signal came or `waiting` (asked every kWaitingInterval
    // of the wait, when given) returned false.
    bool waitForInput(const WaitingHook& waiting) const;
    // One positioned read of at most `count` bytes from `offset`: the bytes read, 0 at the end,
    // or -1 with `ec` set.
    std::int64_t readSomeAt(std::uint64_t offset, char* buffer, std::size_t count,
                            std::error_code& ec) const;
    // Why the last failed read or write failed, in the platform's own terms.
    static std::error_code lastCallError();

    int m_fd = -1;
    // Whether a read may wait for input (a pipe, a device); such a read also ends at
    // interruptWaits() and at a WaitingHook's false.
    bool m_waits = false;
};

} // namespace glintmark
