#include "JpegCheck.h"

#include "features/check/JpegDecode.h"

namespace glintmark::clitest {

JpegCheck decodeJpeg(const std::string& bytes)
{
    const features::DecodeResult result =
        features::decodeJpeg(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    JpegCheck check;
    check.decoded = result.finished;
    check.warnings = result.warnings;
    check.problem = result.message;
    check.width = result.width;
    check.height = result.height;
    check.components = result.components;
    return check;
}

} // namespace glintmark::clitest
