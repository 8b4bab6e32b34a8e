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

std::string summaryLine(const SourceOutcome& outcome, RunMode mode)
{
    if (mode == RunMode::ListOnly)
        return textures(outcome.result.count) + " found in " + displayPath(outcome.source);
    return textures(outcome.result.count) + " extracted from " + displayPath(outcome.source) +
           " into " + displayPath(outcome.folder);
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
    int numberWidth = static_cast<int>(numberHead.size());
    int offsetWidth = static_cast<int>(offsetHead.size());
    int sizeWidth = static_cast<int>(sizeHead.size());
    for (const ImageInfo& image : outcome.images) {
        numberWidth = std::max(numberWidth, digitsOf(image.number));
        offsetWidth = std::max(offsetWidth, digitsOf(image.offset));
        sizeWidth = std::max(sizeWidth, digitsOf(image.size));
    }

    out << displayPath(outcome.source) << '\n';
    out << std::right << std::setw(numberWidth) << numberHead << "  " << std::setw(offsetWidth)
        << offsetHead << "  " << std::setw(sizeWidth) << sizeHead << '\n';
    for (const ImageInfo& image : outcome.images) {
        out << std::setw(numberWidth) << image.number << "  " << std::setw(offsetWidth)
            << image.offset << "  " << std::setw(sizeWidth) << image.size << '\n';
    }
}

} // namespace glintmark::cli
