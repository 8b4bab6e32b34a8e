#pragma once

#include "engine/jpeg/JpegStructure.h"
#include "features/check/JpegDecode.h"

#include <cstddef>
#include <functional>
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

// The pixels of one decoded image, kept so it can be encoded at several qualities. The pixels and
// the encoder's memory together stay within decodeLimits(); decoding and each encoding end soon
// after `keepGoing` (when set) answers no.
class DecodedImage
{
public:
    // Decodes the JPEG in `data`; on failure, error() says why. With `components` 1 or 3 the
    // pixels come out grey or colour (RGB) whatever the image holds, as libjpeg converts them.
    DecodedImage(const unsigned char* data, std::size_t size, std::function<bool()> keepGoing = {},
                 int components = 0);
    // Takes pixels decoded elsewhere (8-bit grey or RGB, as a PNG's), to be encoded as above.
    explicit DecodedImage(Pixels pixels, std::function<bool()> keepGoing = {});

    // Whether the pixels are there.
    bool ok() const { return m_error.empty(); }
    // Why decoding or the last encoding failed.
    const std::string& error() const { return m_error; }
    // Whether that was because a stop was asked for.
    bool stopped() const { return m_stopped; }
    // The image encoded with `settings`, or nothing (with error() set) when libjpeg refuses, the
    // memory limit is reached, or a stop was asked for.
    std::optional<std::string> encode(const EncodeSettings& settings);

private:
    Pixels m_pixels;
    DecodeLimits m_limits;
    std::function<bool()> m_keepGoing;
    std::string m_error;
    bool m_stopped = false;
};

} // namespace glintmark::features
