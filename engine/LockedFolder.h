#pragma once

#include "engine/ExtractTypes.h"
#include "engine/io/RawFile.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace glintmark {

class OutputFolder;
class RawDir;

// What FileWriter::copyRange() did.
enum class RangeCopy
{
    Copied,      // every byte asked for is added
    Short,       // the source ended first: the bytes it had are added
    Unsupported, // the system offers no such copy here; nothing was added
    Failed,      // writing has failed (the file will not be kept)
};

// A whole file on its way into the output folder; its bytes are added piece by piece.
class FileWriter
{
public:
    virtual ~FileWriter() = default;
    // Adds bytes at the end; false once writing has failed (the file will not be kept).
    virtual bool write(std::string_view bytes) = 0;
    // Adds `count` bytes of the file `source` from its `offset` on at the end, copied by the
    // system without passing through the program, where it can (RawFile::copyRangeFrom).
    virtual RangeCopy copyRange(const RawFile& source, std::uint64_t offset, std::uint64_t count)
    {
        (void)source;
        (void)offset;
        (void)count;
        return RangeCopy::Unsupported;
    }
};

// A FileWriter onto an open file: the bytes go to its end, ranges are copied by the system where
// it can, and the first failure is remembered (and every call after it fails).
class RawFileWriter : public FileWriter
{
public:
    explicit RawFileWriter(RawFile& file) : m_file(file) {}

    bool write(std::string_view bytes) override;
    RangeCopy copyRange(const RawFile& source, std::uint64_t offset, std::uint64_t count) override;
    // The first failure, if any.
    std::error_code failure() const { return m_failure; }

private:
    RawFile& m_file;
    std::error_code m_failure;
    bool m_noRangeCopy = false; // asked once: the system copies no ranges into this file
};

// The output folder of a run that has read its whole source, while the run still holds it open
// and locked; handed to ExtractObserver::onFinish. Null folder in list mode: nothing is written.
class LockedFolder
{
public:
    // The folder of a run of `job`, as its OutputFolder holds it (null in list mode).
    LockedFolder(const ExtractJob& job, const OutputFolder* folder);
    ~LockedFolder();
    LockedFolder(LockedFolder&&) noexcept;
    LockedFolder& operator=(LockedFolder&&) = delete;
    LockedFolder(const LockedFolder&) = delete;
    LockedFolder& operator=(const LockedFolder&) = delete;

    // Opens and locks the folder that holds `file` (the current folder when `file` names none)
    // for a run that reads the file `source` and writes `file` there, and checks `file`'s name
    // with checkName(). `what` names the file in messages ("the new level"), `other` the kind of
    // run that may hold the lock ("run"). Only a file is replaced there: a device, a pipe or a
    // socket at the name, or a link to one or to a folder, is refused, now and when the file is
    // put in place. The hidden file a run killed outright left for `file` goes. On failure
    // `error` is set and nothing can be written.
    static LockedFolder openBeside(const std::filesystem::path& file, const FileIdentity& source,
                                   std::string_view what, std::string_view other,
                                   std::optional<ExtractError>& error);

    // Refuses, before anything is written, a name writeFile() could not put in place: not a
    // bare name, a folder, or the source file or a link to it.
    std::optional<ExtractError> checkName(const std::filesystem::path& name,
                                          std::string_view what) const;

    // Whether files can be written (a writing run).
    bool canWrite() const { return m_folder != nullptr; }

    // Writes the file `name` (a bare name inside the folder) whole: `produce` hands its bytes to
    // the writer and returns false to give up (a request to stop). The bytes go to a hidden file
    // created anew (".index.html.part") that takes the name only once complete, so a failure, a
    // size limit or a stop leaves what was there before, never part of the new file; so does a
    // failure `produce` meets and keeps to report itself, when it gives up for that. `what`
    // names the file in messages ("the gallery page").
    std::optional<ExtractError> writeFile(const std::filesystem::path& name, std::string_view what,
                                          const std::function<bool(FileWriter&)>& produce);

    // As writeFile(), but the complete hidden file waits there, not yet in place: several files
    // can so be written and checked before any takes its name. A stop or a failure leaves no
    // hidden file, as with writeFile().
    std::optional<ExtractError> writePart(const std::filesystem::path& name, std::string_view what,
                                          const std::function<bool(FileWriter&)>& produce);
    // Puts the hidden file writePart() left for `name` in its place.
    std::optional<ExtractError> placePart(const std::filesystem::path& name, std::string_view what);
    // Removes the hidden file writePart() left for `name`, which will not be put in place.
    void discardPart(const std::filesystem::path& name);

    // What sits at the bare name `name`, a link itself: type Missing when nothing does, and
    // when nothing can be written.
    FileIdentity entry(const std::filesystem::path& name, std::error_code& ec) const;

    // Puts a further name (a hard link) of the file `from` in `fromDir` (this folder when null),
    // which must still be the file `expected` as it was then, with bytes `sameBytes` accepts
    // when read through the new name, in the place of the bare name `name`, through a hidden
    // file as writeFile() does. When no such link can be made (no hard links on the file
    // system, another device, the file replaced or written to meanwhile), `linkRefused` is set
    // and `name` stays as it was; a failure to put the link in place is returned.
    std::optional<ExtractError> placeLink(const RawDir* fromDir, const std::filesystem::path& from,
                                          const FileIdentity& expected,
                                          const std::filesystem::path& name, std::string_view what,
                                          const std::function<bool(RawFile&)>& sameBytes,
                                          std::error_code& linkRefused);

    // Whether the finishing work (a writeFile(), or anything else done there) was given up at a
    // request to stop; the run then ends as stopped.
    bool stopped() const { return m_stopped; }
    // Records that the finishing work was given up at a request to stop.
    void markStopped() { m_stopped = true; }

private:
    LockedFolder(std::filesystem::path shownFolder, const OutputFolder* folder);
    // Writes the hidden file of `name`; `complete` tells whether `produce` saw it through.
    std::optional<ExtractError> writeHidden(const std::filesystem::path& name,
                                            std::string_view what,
                                            const std::function<bool(FileWriter&)>& produce,
                                            bool& complete);

    std::filesystem::path m_shownFolder;
    std::unique_ptr<OutputFolder> m_owned; // the folder openBeside() opened, if this is one
    const OutputFolder* m_folder;
    bool m_stopped = false;
};

} // namespace glintmark
