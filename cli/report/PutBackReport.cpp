#include "cli/report/PutBackReport.h"

#include "cli/report/GamePutBackReport.h"
#include "cli/report/PutBackFrame.h"
#include "cli/report/PutBackJson.h"
#include "engine/ExtractError.h"
#include "engine/io/PathText.h"
#include "features/ImageStatus.h"

#include <algorithm>
#include <array>
#include <iomanip>
#include <ostream>
#include <sstream>
#include <string_view>
#include <vector>

namespace glintmark::cli {

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
    Json passedOver = Json::array();
    for (const Refusal& image : outcome.passedOver)
        passedOver.push_back(refusalJson(image));
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
        {"passed_over", passedOver},
        {"since_extraction", sinceJson(outcome.since)},
        {"error", error},
    };
    out << document.dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
}

// The replaced images as a table: each image's room (its original's bytes through the end
// marker), the edit's bytes, the bytes left over (filled with zeros) and the quality --fit chose,
// the numbers written plainly, as --list writes them.
void writeTable(const PutBackOutcome& outcome, std::ostream& out)
{
    if (outcome.replaced.empty())
        return;
    const char* const heads[] = {"image", "original", "edited", "spare", "quality"};
    std::vector<std::array<std::string, 5>> rows;
    std::array<std::size_t, 5> widths{};
    for (std::size_t i = 0; i < widths.size(); ++i)
        widths[i] = std::string_view(heads[i]).size();
    for (const Replacement& image : outcome.replaced) {
        rows.push_back({std::to_string(image.number), std::to_string(image.end),
                        std::to_string(image.length), std::to_string(image.end - image.length),
                        image.quality ? std::to_string(*image.quality) : std::string("-")});
        for (std::size_t i = 0; i < widths.size(); ++i)
            widths[i] = std::max(widths[i], rows.back()[i].size());
    }
    const auto line = [&](const auto& cells, const std::string& file) {
        for (std::size_t i = 0; i < widths.size(); ++i)
            out << (i == 0 ? "" : "  ") << std::right << std::setw(static_cast<int>(widths[i]))
                << cells[i];
        out << "  " << file << '\n';
    };
    line(heads, "file");
    for (std::size_t r = 0; r < rows.size(); ++r)
        line(rows[r], displayPath(outcome.replaced[r].file.filename()));
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
    for (const Refusal& image : outcome.passedOver)
        parts.passedOver.push_back(&image);
    parts.notWritten = displayPath(request.into) + " was not written";
    parts.error = &outcome.error;
    parts.json = [&](std::ostream& to) { writeJson(request, outcome, to); };
    parts.lines = [&](std::ostream& to) {
        to << sinceLine(displayPath(request.source), outcome.since);
        writeTable(outcome, to);
    };
    parts.summary = [&] { return summary(request, outcome); };
    writePutBackReport(parts, json, quiet, out, err);
}

namespace {

// The pack a run wrote: its folder, the textures in it, whether it was written, and its error.
Json packMember(const std::filesystem::path& folder, const features::PackWritten& pack)
{
    return {{"folder", displayPath(folder)},
            {"written", !pack.error && !pack.stopped},
            {"textures", pack.entries.size()},
            {"error", errorJson(pack.error)}};
}

// What became of the pack, after the run's own report: its error on `err`, and unless quiet a
// line on `out` once it is written.
void reportPack(const std::filesystem::path& folder, const features::PackWritten& pack, bool quiet,
                std::ostream& out, std::ostream& err)
{
    if (pack.error)
        err << "glintmark-cli: " << pack.error->message << "; no pack was written\n" << std::flush;
    else if (!pack.stopped && !quiet)
        out << textures(pack.entries.size()) << " saved as the pack " << displayPath(folder) << '\n'
            << std::flush;
}

} // namespace

void reportPutBack(const features::PutBackRun& run, const std::filesystem::path& pack, bool json,
                   bool quiet, bool verbose, std::ostream& out, std::ostream& err)
{
    // With a pack written, the JSON document gains a "pack" member after the run's own.
    std::ostringstream document;
    std::ostream& to = json && run.pack ? document : out;
    if (const auto* level = std::get_if<features::LevelPutBackRun>(&run.run))
        reportPutBack(level->request, level->outcome, json, quiet, to, err);
    else if (const auto* applied = std::get_if<features::GamePutBackRun>(&run.run))
        reportGamePutBack(applied->request, applied->outcome, json, quiet, verbose, to, err);
    const auto* game = std::get_if<features::GamePutBackRun>(&run.run);
    if (run.fromPack && game != nullptr && !json && !quiet &&
        run.status() == features::PutBackStatus::Written &&
        std::none_of(game->outcome.levels.begin(), game->outcome.levels.end(),
                     [](const features::LevelPutBack& level) { return level.changes(); }))
        out << "nothing written: no texture of the pack changes " << displayPath(game->request.game)
            << '\n'
            << std::flush;
    if (!run.pack)
        return;
    if (json) {
        Json whole = Json::parse(document.str());
        whole["pack"] = packMember(pack, *run.pack);
        out << whole.dump(2, ' ', false, Json::error_handler_t::replace) << '\n' << std::flush;
        if (run.pack->error)
            err << "glintmark-cli: " << run.pack->error->message << "; no pack was written\n"
                << std::flush;
        return;
    }
    reportPack(pack, *run.pack, quiet, out, err);
}

} // namespace glintmark::cli
