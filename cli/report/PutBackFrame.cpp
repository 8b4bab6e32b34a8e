#include "cli/report/PutBackFrame.h"

#include "engine/io/PathText.h"

#include <ostream>

namespace glintmark::cli {

std::string sinceLine(const std::string& level, const features::SinceExtraction& since)
{
    if (!since.byNumber.empty())
        return "the edits for " + level + " went by number (" + since.byNumber +
               "), so a change of it since the extraction cannot be seen\n";
    if (!since.byTexture || !since.changed)
        return {};
    const auto textures = [](std::uint64_t count) {
        return std::to_string(count) + (count == 1 ? " texture" : " textures");
    };
    return level + " changed since it was extracted: " + textures(since.moved) + " moved, " +
           std::to_string(since.gone) + " gone, " + std::to_string(since.added) + " new\n";
}

void writePutBackReport(const PutBackReportParts& parts, bool json, bool quiet, std::ostream& out,
                        std::ostream& err)
{
    using features::PutBackStatus;
    constexpr const char* kProgram = "glintmark-cli: ";
    for (const features::Refusal* image : parts.refused)
        err << kProgram << displayPath(image->file) << ' ' << image->reason << '\n';
    if (parts.status == PutBackStatus::Refused) {
        const std::size_t refused = parts.refused.size();
        err << kProgram
            << (parts.dryRun ? std::string("nothing would be written") : parts.notWritten) << ": "
            << (refused == 1 ? "an edited texture cannot"
                             : std::to_string(refused) + " edited textures cannot")
            << " go back\n";
    }
    // JSON carries them in the document; quiet, only errors are told.
    if (!json && !quiet) {
        for (const features::Refusal* image : parts.passedOver)
            err << kProgram << displayPath(image->file) << ' ' << image->reason
                << " (passed over: --ignore-unmatched)\n";
    }
    if (parts.error != nullptr && *parts.error)
        err << kProgram << (*parts.error)->message << '\n';
    err << std::flush;

    const bool done =
        parts.status == PutBackStatus::Written || parts.status == PutBackStatus::DryRun;
    if (json) {
        parts.json(out);
    } else if (done && !quiet) {
        // Quiet, a put-back's report is its errors only.
        parts.lines(out);
        out << parts.summary();
    }
    // Out now, so that a report that cannot be written is known before the exit code is.
    out << std::flush;
}

} // namespace glintmark::cli
