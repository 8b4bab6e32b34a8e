#pragma once

#include "engine/jpeg/JpegStructure.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace glintmark::features {

// How one colour component is subsampled: its horizontal and vertical sampling factors.
struct Sampling
{
    int horizontal = 1;
    int vertical = 1;
};

// How an image is to be encoded again.
struct EncodeSettings
{
    int quality = 95;                         // 1 to 100, as libjpeg's quality scale
    JpegCoding coding = JpegCoding::Baseline; // Baseline, Extended or Progressive
    bool arithmetic = false;
    std::vector<Sampling> sampling; // per component; libjpeg's defaults when empty or mismatched
};

// The sampling factors in the frame header of the JPEG in `data`; empty when it cannot be read.
std::vector<Sampling> frameSampling(const unsigned char* data, std::size_t size);

// Decoded pixels, row after row, with what libjpeg needs to encode them again.
struct Pixels
{
    std::vector<unsigned char> bytes;
    unsigned width = 0;
    unsigned height = 0;
    int components = 0;
    int colourSpace = 0; // libjpeg's J_COLOR_SPACE of the bytes
};

// The pixels of one decoded image, kept so it can be encoded at several qualities.
class DecodedImage
{
public:
    // Decodes the JPEG in `data`; on failure, error() says why.
    DecodedImage(const unsigned char* data, std::size_t size);

    // Whether the pixels are there.
    bool ok() const { return m_error.empty(); }
    // Why decoding failed.
    const std::string& error() const { return m_error; }
    // The image encoded with `settings`, or nothing (with error() set) when libjpeg refuses.
    std::optional<std::string> encode(const EncodeSettings& settings);

private:
    Pixels m_pixels;
    std::string m_error;
};

} // namespace glintmark::features
