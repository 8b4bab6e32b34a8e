#include "cli/HumanReport.h"

#include "engine/ErrorText.h"

#include <algorithm>
#include <iomanip>
#include <ostream>

namespace glintmark::cli {
namespace {

constexpr const char* kProgramName = "glintmark-cli";

std::string textures(std::uint64_t count)
{
    return std::to_string(count) + (count == 1 ? " texture" : " textures");
}

int digitsOf(std::uint64_t value)
{
    return static_cast<int>(std::to_string(value).size());
}

} // namespace

std::string dimensionsText(const JpegStructure& jpeg)
{
    if (!jpeg.hasFrame)
        return "-";
    return std::to_string(jpeg.width) + "x" + std::to_string(jpeg.height);
}

std::string decodeText(const ImageInfo& image)
{
    if (!image.decodes)
        return {};
    if (*image.decodes)
        return "yes";
    return "no: " + image.decodeError;
}

// "; 40 whole, 2 damaged" once the images were decoded, otherwise nothing.
std::string decodeCounts(const std::vector<ImageInfo>& images)
{
    std::uint64_t whole = 0;
    std::uint64_t damaged = 0;
    for (const ImageInfo& image : images) {
        if (image.decodes)
            ++(*image.decodes ? whole : damaged);
    }
    if (whole + damaged == 0)
        return {};
    return "; " + std::to_string(whole) + " whole, " + std::to_string(damaged) + " damaged";
}

std::string summaryLine(const SourceOutcome& outcome, RunMode mode)
{
    if (mode == RunMode::ListOnly)
        return textures(outcome.result.count) + " found in " + displayPath(outcome.source) +
               decodeCounts(outcome.images);
    return textures(outcome.result.count) + " extracted from " + displayPath(outcome.source) +
           " into " + displayPath(outcome.folder) + decodeCounts(outcome.images);
}

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

std::string errorLines(const SourceOutcome& outcome, RunMode mode)
{
    if (outcome.result.status == RunStatus::Completed)
        return {};
    std::string lines = std::string(kProgramName) + ": ";
    if (outcome.result.error)
        lines += outcome.result.error->message;
    else
        lines += displayPath(outcome.source) + ": the run stopped before the end";
    lines += '\n';
    if (mode == RunMode::Write && outcome.result.count > 0) {
        lines += std::string(kProgramName) + ": " + textures(outcome.result.count) +
                 " extracted from " + displayPath(outcome.source) + " into " +
                 displayPath(outcome.folder) + " before the failure\n";
    }
    return lines;
}

void writeImageTable(std::ostream& out, const SourceOutcome& outcome)
{
    const std::string numberHead = "image";
    const std::string offsetHead = "offset";
    const std::string sizeHead = "size";
    const std::string dimensionsHead = "dimensions";
    const std::string statusHead = "status";
    int numberWidth = static_cast<int>(numberHead.size());
    int offsetWidth = static_cast<int>(offsetHead.size());
    int sizeWidth = static_cast<int>(sizeHead.size());
    int dimensionsWidth = static_cast<int>(dimensionsHead.size());
    int statusWidth = static_cast<int>(statusHead.size());
    bool decoded = false;
    for (const ImageInfo& image : outcome.images) {
        numberWidth = std::max(numberWidth, digitsOf(image.number));
        offsetWidth = std::max(offsetWidth, digitsOf(image.offset));
        sizeWidth = std::max(sizeWidth, digitsOf(image.size));
        dimensionsWidth =
            std::max(dimensionsWidth, static_cast<int>(dimensionsText(image.jpeg).size()));
        statusWidth = std::max(statusWidth, static_cast<int>(statusText(image).size()));
        decoded = decoded || image.decodes.has_value();
    }

    out << displayPath(outcome.source) << '\n';
    out << std::right << std::setw(numberWidth) << numberHead << "  " << std::setw(offsetWidth)
        << offsetHead << "  " << std::setw(sizeWidth) << sizeHead << "  "
        << std::setw(dimensionsWidth) << dimensionsHead << "  " << std::left;
    if (decoded)
        out << std::setw(statusWidth) << statusHead << "  decodes";
    else
        out << statusHead;
    out << std::right << '\n';
    for (const ImageInfo& image : outcome.images) {
        out << std::setw(numberWidth) << image.number << "  " << std::setw(offsetWidth)
            << image.offset << "  " << std::setw(sizeWidth) << image.size << "  "
            << std::setw(dimensionsWidth) << dimensionsText(image.jpeg) << "  " << std::left;
        if (decoded)
            out << std::setw(statusWidth) << statusText(image) << "  " << decodeText(image);
        else
            out << statusText(image);
        out << std::right << '\n';
    }
}

} // namespace glintmark::cli
