#include "features/ImageStatus.h"

namespace glintmark::features {

std::string statusText(const ImageInfo& image)
{
    const JpegStructure& jpeg = image.jpeg;
    switch (jpegStatus(jpeg, image.size)) {
    case JpegStatus::Whole:
        return "whole";
    case JpegStatus::Trailing:
        return "whole + " + std::to_string(image.size - *jpeg.end) + " bytes";
    case JpegStatus::CutShort:
        return std::string("cut short: ") + problemText(jpeg.problem) + " at byte " +
               std::to_string(jpeg.problemAt);
    case JpegStatus::Damaged:
        break;
    }
    return std::string("damaged: ") + problemText(jpeg.problem) + " at byte " +
           std::to_string(jpeg.problemAt);
}

const char* decodeText(const CheckedImage& image)
{
    if (!image.decodes)
        return "-";
    return *image.decodes ? "yes" : "no";
}

std::string groupedNumber(std::uint64_t value)
{
    const std::string digits = std::to_string(value);
    std::string grouped;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            grouped += ',';
        grouped += digits[i];
    }
    return grouped;
}

} // namespace glintmark::features
