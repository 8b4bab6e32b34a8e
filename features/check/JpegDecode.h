#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <system_error>

namespace glintmark::features {

// What one decoding may cost, whatever the image claims about itself.
struct DecodeLimits
{
    // Largest decoded image, width x height x components bytes, checked before decoding starts.
    std::uint64_t maxImageBytes = std::uint64_t{256} << 20;
    // Most memory the decoder may take for one image.
    std::uint64_t maxMemory = std::uint64_t{512} << 20;
};

// The limits, raised or lowered by GLINTMARK_CHECK_IMAGE_MIB and GLINTMARK_CHECK_MEMORY_MIB
// (whole MiB from 1 to 1048576) where those are set.
DecodeLimits decodeLimits();

// What decoding one JPEG completely found.
struct DecodeResult
{
    bool finished = false; // every scanline came out and the decoder reached the end
    int warnings = 0;      // corrupt-data warnings raised on the way
    std::string message;   // the decoder's first complaint, or the limit the image is over
    unsigned width = 0;
    unsigned height = 0;
    int components = 0;
    bool overLimit = false; // not decoded: it would go beyond a limit (`message` says which)
    bool stopped = false;   // not finished: a stop was asked for
    // The image's bytes could not be read (`readError` set) or ended before its length.
    bool readFailed = false;
    std::error_code readError;

    // Whether the image decodes cleanly: finished, with no warning.
    bool decodes() const { return finished && warnings == 0; }
};

// Fills `buffer` with `count` bytes of the image from `position` (counted from its first byte)
// and returns how many it read; fewer only when the bytes cannot be had.
using ImageBytesReader = std::function<std::size_t(std::uint64_t position, unsigned char* buffer,
                                                   std::size_t count, std::error_code& ec)>;

// Decodes an image of `length` bytes, pixels and all, and throws the pixels away. Its bytes are
// fed to the decoder in small blocks as a file would be, so the verdict matches that of a file
// holding them. Once `stop` (may be null) is set, decoding ends soon after.
DecodeResult decodeJpeg(const ImageBytesReader& read, std::uint64_t length,
                        const DecodeLimits& limits, const std::atomic<bool>* stop = nullptr);

// Decodes the whole image held in `data` the same way, under decodeLimits(); once `keepGoing`
// (when set) answers no, decoding ends soon after, as stopped.
DecodeResult decodeJpeg(const unsigned char* data, std::size_t size,
                        const std::function<bool()>& keepGoing = {});

} // namespace glintmark::features
