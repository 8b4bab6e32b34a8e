#pragma once

#include "engine/ExtractTypes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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

// How an image stands, for people, in the words every report uses for its structure (whole,
// trailing, cut short, damaged): "whole", "trailing: 120 bytes", "cut short: cut inside the
// image data at byte 4000", "damaged: bad segment length at byte 20".
std::string statusText(const ImageInfo& image);

// The decoder's verdict in a word, for a table's "decodes" column: "yes", "no", or "-" when the
// image was not decoded.
const char* decodeText(const CheckedImage& image);

// How many of a run's images decode, do not decode, and have no verdict for a reason (over a
// decoding limit); images left undecoded without a reason (no check, a stop) are in none.
struct DecodeTally
{
    std::uint64_t decode = 0;
    std::uint64_t doNotDecode = 0;
    std::uint64_t notChecked = 0;
};

// Counts the verdicts of `images`.
DecodeTally tallyDecoding(const std::vector<CheckedImage>& images);

// The tally in the words every report uses for decoding: "40 decode, 2 do not decode", with
// ", 1 not checked" when some have no verdict; empty when nothing was decoded or tried.
std::string decodingText(const DecodeTally& tally);

// A count with its thousands grouped, as reports write sizes: "40,000".
std::string groupedNumber(std::uint64_t value);

} // namespace glintmark::features
