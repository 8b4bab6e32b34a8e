#include "features/ImageStatus.h"

namespace glintmark::features {

std::string statusText(const ImageInfo& image)
{
    const JpegStructure& jpeg = image.jpeg;
    switch (jpegStatus(jpeg, image.size)) {
    case JpegStatus::Whole:
        return "whole";
    case JpegStatus::Trailing: {
        const std::uint64_t behind = image.size - *jpeg.end;
        return "trailing: " + std::to_string(behind) + (behind == 1 ? " byte" : " bytes");
    }
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

DecodeTally tallyDecoding(const std::vector<CheckedImage>& images)
{
    DecodeTally tally;
    for (const CheckedImage& image : images) {
        if (image.decodes)
            ++(*image.decodes ? tally.decode : tally.doNotDecode);
        else if (!image.decodeError.empty())
            ++tally.notChecked;
    }
    return tally;
}

std::string decodingText(const DecodeTally& tally)
{
    if (tally.decode + tally.doNotDecode + tally.notChecked == 0)
        return {};
    std::string text = std::to_string(tally.decode) +
                       (tally.decode == 1 ? " decodes, " : " decode, ") +
                       std::to_string(tally.doNotDecode) +
                       (tally.doNotDecode == 1 ? " does not decode" : " do not decode");
    if (tally.notChecked > 0)
        text += ", " + std::to_string(tally.notChecked) + " not checked";
    return text;
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
