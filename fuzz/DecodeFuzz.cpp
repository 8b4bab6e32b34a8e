// The decoding check over any bytes: libjpeg's failures must come back as a result, never as
// a crash, a leak past the call or an exit of the program.
#include "FuzzCheck.h"

#include "features/check/JpegDecode.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using glintmark::fuzz::require;
    const glintmark::features::DecodeResult result = glintmark::features::decodeJpeg(data, size);
    require(!result.decodes() || (result.width > 0 && result.height > 0 && result.components > 0),
            "an image without pixels decoded cleanly");
    require(result.finished || !result.message.empty(), "a failed decoding gave no reason");
    return 0;
}
