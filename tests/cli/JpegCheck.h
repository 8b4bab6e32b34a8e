#pragma once

#include <string>

namespace glintmark::clitest {

// What decoding a JPEG completely found.
struct JpegCheck
{
    bool decoded = false; // every scanline came out and the decoder finished cleanly
    int warnings = 0;     // corrupt-data warnings the decoder raised on the way
    std::string problem;  // the decoder's first complaint, if any
    unsigned width = 0;
    unsigned height = 0;
    int components = 0;
};

// Decodes the whole image with libjpeg.
JpegCheck decodeJpeg(const std::string& bytes);

} // namespace glintmark::clitest
