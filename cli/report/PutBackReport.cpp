#include "cli/report/PutBackReport.h"

#include "cli/report/GamePutBackReport.h"
#include "cli/report/PutBackFrame.h"
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
    PutBackReportParts parts;
    parts.status = outcome.status;
    parts.dryRun = request.dryRun;
    for (const Refusal& image : outcome.refused)
        parts.refused.push_back(&image);
    parts.notWritten = displayPath(request.into) + " was not written";
    parts.error = &outcome.error;
    parts.json = [&](std::ostream& to) { writeJson(request, outcome, to); };
    parts.lines = [&](std::ostream& to) { writeTable(outcome, to); };
    parts.summary = [&] { return summary(request, outcome); };
    writePutBackReport(parts, json, quiet, out, err);
}

void reportPutBack(const features::PutBackRun& run, bool json, bool quiet, std::ostream& out,
                   std::ostream& err)
{
    if (const auto* level = std::get_if<features::LevelPutBackRun>(&run.run))
        reportPutBack(level->request, level->outcome, json, quiet, out, err);
    else if (const auto* game = std::get_if<features::GamePutBackRun>(&run.run))
        reportGamePutBack(game->request, game->outcome, json, quiet, out, err);
}

} // namespace glintmark::cli
