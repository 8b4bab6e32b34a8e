#pragma once

// What a run is given, tells and returns: the job, the images, the progress, the result and the
// observer that hears it. The run itself is in Extraction.h.

#include "engine/ExtractError.h"
#include "engine/io/RawFile.h"
#include "engine/jpeg/JpegStructure.h"
#include "engine/jpeg/SignatureScanner.h"
#include "engine/names/ImageNames.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace glintmark {

class LockedFolder;
class RawDir;

// Bytes read from the source at a time; the files written never depend on it. The size that came
// out fastest on a level with thousands of textures (bench/README.md): a block stays in the CPU's
// cache between the read and the writes.
inline constexpr std::size_t kDefaultBlockSize = std::size_t{64} << 10;

// Everything one run needs: where to read, how to name what it writes, and what to look for.
struct ExtractJob
{
    std::filesystem::path sourceFile;
    // Opens the source in place of opening `sourceFile` by its path (a game's level, opened
    // through the game's open folder); `sourceFile` still names it in messages. A failure sets
    // the error code and is reported as the source's opening failing. By the path when empty.
    std::function<RawFile(std::error_code&)> openSource;
    // The folder the images go to, with or without a trailing separator; the current folder when
    // empty. Image paths are reported as it is spelled: "out/Vorlesk_0001.jpg".
    std::filesystem::path outputFolder;
    // What every image's file name starts with, and ends with.
    std::filesystem::path stem = std::filesystem::path(kImageStem);
    std::string outExt = std::string(kImageExt);
    // The bytes that start every image; must not be empty.
    std::string signature = std::string(kJfifSignature);
    std::size_t blockSize = kDefaultBlockSize;
    // Write each image only through its end marker when it has one; otherwise it is written
    // whole, up to the next signature.
    bool trim = false;
    // Create the output folder, with its parents, when it is missing (only once the source has
    // been opened, so a source that cannot be read leaves nothing behind).
    bool createFolder = false;
    // Threads that write the images while the run reads on; 0 chooses defaultWriterCount(). With
    // one, the run writes each image itself as it reads it.
    unsigned writers = 0;
    // Bare names of the files the observer writes at the end of the run (ExtractObserver::
    // onFinish), such as a gallery page; checked against the source before anything is written.
    std::vector<std::filesystem::path> finalFiles;
};

// The writer count `text` spells: one or two decimal digits making a number from 1 to 64, and
// nothing else (no sign, no space, no unit); nothing when it is not one.
std::optional<unsigned> writerCountFrom(std::string_view text);

// The environment variable that sets the writer count a job leaves open.
inline constexpr const char* kWritersVariable = "GLINTMARK_WRITERS";

// How many threads write a run's images when its job leaves it open: GLINTMARK_WRITERS when it
// spells a count (writerCountFrom), otherwise two, or one where the machine has a single
// processor. A front end that can refuse a bad value reads the variable itself first.
unsigned defaultWriterCount();

// How a run should treat the images it finds.
enum class RunMode
{
    Write,   // write each image to its numbered file
    ListOnly // only report the images; nothing is created
};

// One image cut out of the source.
struct ImageInfo
{
    std::uint64_t number = 0;   // 1-based, as in the file name
    std::uint64_t offset = 0;   // byte offset of its signature in the source
    std::uint64_t size = 0;     // bytes, from its signature to the byte before the next
    std::filesystem::path file; // the file written; empty in list mode
    std::uint64_t written = 0;  // bytes its file holds (would hold, in list mode)
    JpegStructure jpeg;         // what its marker structure tells
    // Its file is a further name (a hard link) of an earlier file holding the same bytes, made
    // instead of writing them (ExtractObserver::onImageRead).
    bool linked = false;
    // Why the link asked for could not be made; its bytes were written instead.
    std::error_code linkRefused{};
};

// An earlier file that holds exactly the bytes an image's file would: the image's file becomes a
// further name of it rather than a copy. It must still be the file `identity` (as large and last
// written then), and its bytes, read through the new name, the image's own.
struct ImageLink
{
    std::shared_ptr<const RawDir> folder{}; // where it is; null for the run's own folder
    std::filesystem::path name{};           // its name there
    FileIdentity identity{};
};

// How far a run has got, reported after every block.
struct Progress
{
    std::uint64_t bytesRead = 0;
    std::uint64_t sourceSize = 0;
    int percent = 0; // whole per cent read, rounded down, 0 to 100; 100 at the end
    // Images read whole. The writers may still be putting the last few in place; the run's
    // count ends as high, unless one of them cannot be written.
    std::uint64_t imagesCompleted = 0;
};

// How a run ended.
enum class RunStatus
{
    Completed,
    Stopped,
    Failed
};

// The name reports give a run's status: "completed", "stopped", "failed".
const char* statusName(RunStatus status);

// The outcome of a run.
struct ExtractResult
{
    RunStatus status = RunStatus::Completed;
    // Complete images written (list mode: found). An incomplete image is never counted or kept.
    std::uint64_t count = 0;
    std::optional<ExtractError> error;
    // Images of an earlier, longer run numbered beyond `count`, left in the folder untouched.
    std::uint64_t staleImages = 0;
};

// Whether the run failed in the checks it makes before it reads its source (the job, the source,
// the output folder), having extracted nothing.
bool failedBeforeReading(const ExtractResult& result);

// Receives a run's events, on the thread that runs it.
class ExtractObserver
{
public:
    virtual ~ExtractObserver() = default;
    // Called after every block, and when a wait for the source was cut short by a signal;
    // returning false stops the run there.
    virtual bool onProgress(const Progress& progress)
    {
        (void)progress;
        return true;
    }
    // Called about every kWaitingInterval while the run waits for its source's next bytes (a
    // pipe or a device with nothing to read yet), so an observer that must stay responsive can
    // do its own work there; returning false stops the run, keeping only complete images.
    virtual bool onWaiting() { return true; }
    // Called when an image is complete: its file is closed and it will stay.
    virtual void onImage(const ImageInfo& image) { (void)image; }
    // Called once the source is open, before its first byte is read; an observer that reads
    // images again after the run keeps a duplicate of `source` rather than opening its name.
    virtual void onSourceOpened(const RawFile& source, const FileIdentity& identity)
    {
        (void)source;
        (void)identity;
    }
    // Called as image `number` begins, its signature at `offset`, before any of its bytes.
    virtual void onImageStart(std::uint64_t number, std::uint64_t offset)
    {
        (void)number;
        (void)offset;
    }
    // Called once image `image` has all its bytes, before its file is written, when the run has
    // writers beside it: an earlier file with exactly those bytes makes the image a link to it
    // (none: the bytes are written). The link is made and checked where the writers put the
    // file in place, and the bytes are written after all where it cannot be (a reason in
    // ImageInfo::linkRefused).
    virtual std::optional<ImageLink> onImageRead(const ImageInfo& image)
    {
        (void)image;
        return std::nullopt;
    }
    // Called with every byte of every image, in order, as the run reads it; `offset` is where
    // `data` sits in the source.
    virtual void onImageBytes(std::uint64_t offset, const char* data, std::size_t count)
    {
        (void)offset;
        (void)data;
        (void)count;
    }
    // Called once the whole source has been read and every image is in place, while the run
    // still holds its output folder open and locked: the one moment to write further files
    // there (LockedFolder::writeFile). A failure returned fails the run; its images stay.
    virtual std::optional<ExtractError> onFinish(LockedFolder& folder)
    {
        (void)folder;
        return std::nullopt;
    }
};

} // namespace glintmark
