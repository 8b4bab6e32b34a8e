#pragma once

#include <cstddef>
#include <string>

namespace glintmark::cli {

// What decoding one JPEG completely found.
struct DecodeResult
{
    bool finished = false; // every scanline came out and the decoder reached the end
    int warnings = 0;      // corrupt-data warnings raised on the way
    std::string message;   // the decoder's first complaint, if any
    unsigned width = 0;
    unsigned height = 0;
    int components = 0;

    // Whether the image decodes cleanly: finished, with no warning.
    bool decodes() const { return finished && warnings == 0; }
};

// Decodes the whole image held in `data`, pixels and all, and throws the pixels away.
DecodeResult decodeJpeg(const unsigned char* data, std::size_t size);

} // namespace glintmark::cli
