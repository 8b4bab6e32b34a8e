#pragma once

#include "features/check/JpegDecode.h"
#include "features/putback/JpegEncode.h"

#include <cstddef>
#include <functional>
#include <string>

namespace glintmark::features {

// What the header of a PNG says: its size and whether its pixels are grey or colour.
struct PngHeader
{
    bool ok = false;   // it is a PNG whose header could be read
    std::string error; // libpng's reason when not
    unsigned width = 0;
    unsigned height = 0;
    int components = 0; // 1 for grey (with or without alpha), 3 for colour or a palette
};

// Reads the signature and header of the PNG in `data`.
PngHeader readPngHeader(const unsigned char* data, std::size_t size);

// The pixels of a decoded PNG, or why there are none.
struct PngDecoded
{
    Pixels pixels;            // 8-bit grey or RGB, row after row, without alpha
    std::string error;        // empty when decoded
    bool stopped = false;     // not decoded: a stop was asked for
    bool transparent = false; // not decoded: a pixel is not fully opaque
};

// Decodes the PNG in `data` to 8-bit pixels with `components` (1 grey, 3 RGB; anything else
// keeps the PNG's own): a palette is expanded, 16-bit samples are cut to 8, an alpha channel
// whose every pixel is fully opaque is dropped, and any pixel that is not refuses it. Refused
// before anything is allocated when the pixels would be larger than `limits` allow; ends soon
// after `keepGoing` (when set) answers no, between rows.
PngDecoded decodePng(const unsigned char* data, std::size_t size, const DecodeLimits& limits,
                     const std::function<bool()>& keepGoing = {}, int components = 0);

} // namespace glintmark::features
