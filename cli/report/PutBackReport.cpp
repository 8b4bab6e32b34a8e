#include "cli/report/PutBackReport.h"

#include "cli/report/PutBackJson.h"
#include "engine/ExtractError.h"
#include "engine/io/PathText.h"
#include "features/ImageStatus.h"

#include <iomanip>
#include <ostream>

namespace glintmark::cli {

using features::groupedNumber;
namespace {

std::string textures(std::uint64_t count)
{
    return std::to_string(count) + (count == 1 ? " texture" : " textures");
}

void writeJson(const PutBackRequest& request, const PutBackOutcome& outcome, std::ostream& out)
{
    Json replaced = Json::array();
    for (const Replacement& image : outcome.replaced)
        replaced.push_back(replacementJson(image));
    Json refused = Json::array();
    for (const Refusal& image : outcome.refused)
        refused.push_back(refusalJson(image));
    const Json error = errorJson(outcome.error);
    const Json document = {
        {"source", displayPath(request.source)},
        {"folder", displayPath(request.folder)},
        {"into", request.into.empty() ? Json(nullptr) : Json(displayPath(request.into))},
        {"dry_run", request.dryRun},
        {"status", putBackStatusName(outcome.status)},
        {"images", outcome.images},
        {"unchanged", outcome.unchanged},
        {"replaced", replaced},
        {"refused", refused},
        {"error", error},
    };
    out << document.dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
}

void writeTable(const PutBackOutcome& outcome, std::ostream& out)
{
    if (outcome.replaced.empty())
        return;
    out << std::right << std::setw(6) << "image" << std::setw(14) << "end" << std::setw(14) << "new"
        << std::setw(12) << "slack" << std::setw(9) << "quality"
        << "  file\n";
    for (const Replacement& image : outcome.replaced) {
        out << std::setw(6) << image.number << std::setw(14) << groupedNumber(image.end)
            << std::setw(14) << groupedNumber(image.length) << std::setw(12)
            << groupedNumber(image.end - image.length) << std::setw(9)
            << (image.quality ? std::to_string(*image.quality) : std::string("-")) << "  "
            << displayPath(image.file.filename()) << '\n';
    }
}

std::string summary(const PutBackRequest& request, const PutBackOutcome& outcome)
{
    std::string line = textures(outcome.replaced.size());
    line += request.dryRun ? " would be put back" : " put back";
    line += " from " + displayPath(request.folder);
    if (!request.dryRun)
        line += " into " + displayPath(request.into);
    line += "; " + std::to_string(outcome.unchanged) + " unchanged, of " +
            textures(outcome.images) + " in " + displayPath(request.source);
    if (request.dryRun)
        line += " (dry run: nothing written)";
    return line + "\n";
}

} // namespace

void reportPutBack(const PutBackRequest& request, const PutBackOutcome& outcome, bool json,
                   bool quiet, std::ostream& out, std::ostream& err)
{
    constexpr const char* kProgram = "glintmark-cli: ";
    for (const Refusal& image : outcome.refused)
        err << kProgram << displayPath(image.file) << ' ' << image.reason << '\n';
    if (outcome.status == PutBackStatus::Refused) {
        err << kProgram
            << (request.dryRun ? std::string("nothing would be written")
                               : displayPath(request.into) + " was not written")
            << ": "
            << (outcome.refused.size() == 1
                    ? "an edited texture cannot"
                    : std::to_string(outcome.refused.size()) + " edited textures cannot")
            << " go back\n";
    }
    if (outcome.error)
        err << kProgram << outcome.error->message << '\n';
    err << std::flush;

    const bool done =
        outcome.status == PutBackStatus::Written || outcome.status == PutBackStatus::DryRun;
    if (json) {
        writeJson(request, outcome, out);
    } else if (done) {
        writeTable(outcome, out);
        if (!quiet)
            out << summary(request, outcome);
    }
    // Out now, so that a report that cannot be written is known before the exit code is.
    out << std::flush;
}

} // namespace glintmark::cli
