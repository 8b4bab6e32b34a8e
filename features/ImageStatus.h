#pragma once

#include "engine/Extraction.h"

#include <cstdint>
#include <optional>
#include <string>

namespace glintmark::features {

// An image of a run with what decoding it found, for the features that decode images after the
// run (the check, the gallery); the engine itself never decodes.
struct CheckedImage : ImageInfo
{
    // Whether it decodes cleanly; empty when it was not decoded (no check asked for, a stop came
    // first, or it is over a decoding limit).
    std::optional<bool> decodes;
    // The decoder's first complaint, or the limit the image is over; empty when it decodes.
    std::string decodeError;
};

// How an image stands, for people: "whole", "whole + 120 bytes", "cut short: cut inside the
// image data at byte 4000", "damaged: bad segment length at byte 20".
std::string statusText(const ImageInfo& image);

// The decoder's verdict in a word: "yes", "no", or "-" when the image was not decoded.
const char* decodeText(const CheckedImage& image);

// A count with its thousands grouped, as reports write sizes: "40,000".
std::string groupedNumber(std::uint64_t value);

} // namespace glintmark::features
