#pragma once

#include "engine/ExtractTypes.h"
#include "engine/io/RawFile.h"
#include "engine/jpeg/JpegReader.h"
#include "engine/run/SourceBlock.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

namespace glintmark {

class OutputFolder;
class WriterPool;

// Receives the bytes of one image at a time and writes them to its numbered file (or, in list
// mode, only measures them). An image that is not finished is never left on disk. With more than
// one writer in the job, images are written by a WriterPool beside the run and put in place, and
// reported, in order as their writers finish: an image stays only when every one before it does.
class ImageSink
{
public:
    // A sink for `job` writing into `folder` (null in list mode); `observer` (may be null) hears
    // of every finished image. No image name that leads to the file the run reads is replaced.
    ImageSink(const ExtractJob& job, RunMode mode, ExtractObserver* observer,
              const OutputFolder* folder);
    // Drops an image still open.
    ~ImageSink();
    ImageSink(const ImageSink&) = delete;
    ImageSink& operator=(const ImageSink&) = delete;

    // The block to read the source's next bytes into, at least `size` bytes, with the `carried`
    // bytes at `carry` (the end of the block before) copied to its start. Every byte given to
    // append() must lie in the block last returned. Writing itself, the sink reuses one block;
    // with writers, it waits while they hold every block the bound allows.
    char* nextBlock(std::size_t size, const char* carry, std::size_t carried);
    // Starts the next image, whose signature lies at `offset` in the source.
    std::optional<ExtractError> begin(std::uint64_t offset);
    // Adds bytes to the open image and follows its structure; with trimming, bytes behind its
    // end marker are counted but not written.
    std::optional<ExtractError> append(const char* data, std::size_t count);
    // Completes the open image: its file is closed and put in place of its name, and it is
    // reported (with writers, once they have written it and every image before it).
    std::optional<ExtractError> finish();
    // Waits until every finished image is written, and puts them in place and reports them in
    // order; the first that cannot be written fails, and no image after it is kept.
    std::optional<ExtractError> settle();
    // Drops the open image, and with writers every image not put in place yet: their files are
    // closed and removed.
    void abandon();

    // Whether an image is open.
    bool isOpen() const { return m_open; }
    // How many images are in place (in list mode: finished).
    std::uint64_t completed() const { return m_completed; }
    // How many images have been read whole; with writers, the last of them may still be on
    // their way to their place.
    std::uint64_t finished() const { return m_pool ? m_started - (m_open ? 1 : 0) : m_completed; }

private:
    // Puts in place and reports the images the writers are done with, oldest first, while the
    // oldest is done (with `wait`: every finished one, waiting for each).
    std::optional<ExtractError> takeWritten(bool wait);
    // Puts the image just finished in place of its name (writing itself) and reports it.
    std::optional<ExtractError> keep();
    // Counts an image in place and tells the observer.
    void report(const ImageInfo& info);

    const ExtractJob& m_job;
    RunMode m_mode;
    ExtractObserver* m_observer;
    const OutputFolder* m_folder;
    RawFile m_file;
    std::filesystem::path m_name;      // the image's own name in the folder
    std::filesystem::path m_temporary; // the name it is written under until complete
    ImageInfo m_current;
    JpegReader m_reader;
    bool m_open = false;
    std::uint64_t m_started = 0;
    std::uint64_t m_completed = 0;
    // The writers, when the job has more than one; null when this sink writes itself.
    std::unique_ptr<WriterPool> m_pool;
    // The block the run reads into now.
    SharedBlock m_block;
    // An image could not be written: nothing more is put in place.
    bool m_failed = false;
};

} // namespace glintmark
