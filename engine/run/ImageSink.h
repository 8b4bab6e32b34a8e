#pragma once

#include "engine/Extraction.h"
#include "engine/io/RawFile.h"
#include "engine/jpeg/JpegReader.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace glintmark {

class OutputFolder;

// Receives the bytes of one image at a time and writes them to its numbered file (or, in list
// mode, only measures them). An image that is not finished is never left on disk.
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

    // Starts the next image, whose signature lies at `offset` in the source.
    std::optional<ExtractError> begin(std::uint64_t offset);
    // Adds bytes to the open image and follows its structure; with trimming, bytes behind its
    // end marker are counted but not written.
    std::optional<ExtractError> append(const char* data, std::size_t count);
    // Completes the open image: its file is closed and put in place of its name, and it is
    // reported.
    std::optional<ExtractError> finish();
    // Drops the open image: its file is closed and removed.
    void abandon();

    // Whether an image is open.
    bool isOpen() const { return m_open; }
    // How many images have been finished.
    std::uint64_t completed() const { return m_completed; }

private:
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
    std::uint64_t m_completed = 0;
};

} // namespace glintmark
