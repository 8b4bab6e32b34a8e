#include "cli/report/GamePutBackReport.h"

#include "cli/report/PutBackFrame.h"
#include "cli/report/PutBackJson.h"
#include "engine/io/PathText.h"
#include "features/game/TextureIndex.h"

#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace glintmark::cli {
namespace {

namespace fs = std::filesystem;
using features::GamePutBackOutcome;
using features::GamePutBackRequest;
using features::LevelPutBack;
using features::PutBackStatus;

// Where an edited file went: the levels, in the game's order, and the image numbers in each.
using Places = std::vector<std::pair<fs::path, std::vector<std::uint64_t>>>;

// Every edited file that goes back, by path, with its places.
std::map<fs::path, Places> placesByFile(const GamePutBackOutcome& outcome)
{
    std::map<fs::path, Places> files;
    for (const LevelPutBack& level : outcome.levels) {
        for (const features::Replacement& image : level.outcome.replaced) {
            Places& places = files[image.file];
            if (places.empty() || places.back().first != level.level.relative)
                places.emplace_back(level.level.relative, std::vector<std::uint64_t>{});
            places.back().second.push_back(image.number);
        }
    }
    return files;
}

std::size_t countOf(const GamePutBackOutcome& outcome, bool changed)
{
    std::size_t count = 0;
    for (const LevelPutBack& level : outcome.levels)
        count += level.changes() == changed ? 1 : 0;
    return count;
}

void writeJson(const GamePutBackRequest& request, const GamePutBackOutcome& outcome,
               std::ostream& out)
{
    Json levels = Json::array();
    Json unchanged = Json::array();
    Json refused = Json::array();
    Json passedOver = Json::array();
    Json since = Json::array();
    for (const LevelPutBack& level : outcome.levels) {
        const std::string relative = features::levelText(level.level.relative);
        if (level.outcome.since.changed || !level.outcome.since.byNumber.empty()) {
            since.push_back(sinceJson(level.outcome.since));
            since.back()["level"] = relative;
        }
        for (const features::Refusal& image : level.outcome.refused) {
            refused.push_back(refusalJson(image));
            refused.back()["level"] = relative;
        }
        for (const features::Refusal& image : level.outcome.passedOver) {
            passedOver.push_back(refusalJson(image));
            passedOver.back()["level"] = relative;
        }
        if (!level.changes()) {
            unchanged.push_back(relative);
            continue;
        }
        Json replaced = Json::array();
        for (const features::Replacement& image : level.outcome.replaced)
            replaced.push_back(replacementJson(image));
        levels.push_back({{"level", relative},
                          {"into", displayPath(level.into)},
                          {"images", level.outcome.images},
                          {"replaced", replaced}});
    }
    for (const features::Refusal& image : outcome.refused)
        refused.push_back(refusalJson(image));
    for (const features::Refusal& folder : outcome.passedOver)
        passedOver.push_back(refusalJson(folder));
    Json edits = Json::array();
    for (const auto& [file, places] : placesByFile(outcome)) {
        Json where = Json::array();
        for (const auto& [level, numbers] : places)
            where.push_back({{"level", features::levelText(level)}, {"numbers", numbers}});
        edits.push_back({{"file", displayPath(file)}, {"places", where}});
    }
    Json shared = Json::array();
    for (const features::SharedEdit& edit : outcome.sharedEdits) {
        Json files = Json::array();
        Json in = Json::array();
        for (std::size_t i = 0; i < edit.files.size(); ++i) {
            files.push_back(displayPath(edit.files[i]));
            in.push_back(features::levelText(edit.levels[i]));
        }
        shared.push_back({{"files", files}, {"levels", in}});
    }
    Json elsewhere = Json::array();
    for (const features::UsedElsewhere& edit : outcome.usedElsewhere)
        elsewhere.push_back({{"file", displayPath(edit.file)},
                             {"level", features::levelText(edit.level)},
                             {"other_levels", edit.otherLevels}});
    const Json document = {
        {"game", displayPath(request.game)},
        {"folder", displayPath(request.folder)},
        {"into", request.into.empty() ? Json(nullptr) : Json(displayPath(request.into))},
        {"dry_run", request.dryRun},
        {"everywhere", request.everywhere},
        {"status", putBackStatusName(outcome.status)},
        {"edits", edits},
        {"shared_files", shared},
        {"used_elsewhere", elsewhere},
        {"levels", levels},
        {"unchanged_levels", unchanged},
        {"refused", refused},
        {"passed_over", passedOver},
        {"by_number", outcome.byNumber.empty() ? Json(nullptr) : Json(outcome.byNumber)},
        {"since_extraction", since},
        {"error", errorJson(outcome.error)},
    };
    out << document.dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
}

std::string counted(std::size_t count, const char* one, const char* many)
{
    return std::to_string(count) + ' ' + (count == 1 ? one : many);
}

// One line per edited file with its places, then, when asked for, one per unchanged level.
void writeLines(const GamePutBackOutcome& outcome, bool unchanged, std::ostream& out)
{
    if (!outcome.byNumber.empty())
        out << "the edits went by number (" << outcome.byNumber
            << "), so a change of the levels since the extraction cannot be seen\n";
    for (const LevelPutBack& level : outcome.levels)
        out << sinceLine(features::levelText(level.level.relative), level.outcome.since);
    for (const auto& [file, places] : placesByFile(outcome)) {
        out << displayPath(file) << " ->";
        const char* separator = " ";
        for (const auto& [level, numbers] : places) {
            out << separator << features::levelText(level)
                << (numbers.size() == 1 ? " image " : " images ");
            for (std::size_t i = 0; i < numbers.size(); ++i)
                out << (i == 0 ? "" : ", ") << numbers[i];
            separator = "; ";
        }
        out << '\n';
    }
    // A file linked under several levels' folders (--dedupe) was edited in each of them at once.
    for (const features::SharedEdit& edit : outcome.sharedEdits) {
        out << displayPath(edit.files.front()) << " is one file with";
        for (std::size_t i = 1; i < edit.files.size(); ++i)
            out << (i == 1 ? " " : ", ") << displayPath(edit.files[i]);
        out << " (hard links, as --dedupe stores them): an edit of it is an edit in each of its "
            << counted(edit.levels.size(), "level", "levels") << ": ";
        for (std::size_t i = 0; i < edit.levels.size(); ++i)
            out << (i == 0 ? "" : ", ") << features::levelText(edit.levels[i]);
        out << '\n';
    }
    // Without --everywhere, an edit goes into its own level only, though others hold its texture.
    for (const features::UsedElsewhere& edit : outcome.usedElsewhere)
        out << displayPath(edit.file) << ": its texture is also in "
            << counted(edit.otherLevels, "other level", "other levels") << " of the extraction, "
            << (edit.otherLevels == 1 ? "which keeps" : "which keep")
            << " it as it was (--everywhere would put the edit there too)\n";
    for (const LevelPutBack& level : outcome.levels) {
        if (unchanged && !level.changes())
            out << "unchanged: " << features::levelText(level.level.relative) << '\n';
    }
}

std::string summary(const GamePutBackRequest& request, const GamePutBackOutcome& outcome)
{
    std::string line = counted(placesByFile(outcome).size(), "edited texture", "edited textures");
    line += request.dryRun ? " would go into " : " went into ";
    line += counted(countOf(outcome, true), "level", "levels");
    if (!request.dryRun)
        line += " under " + displayPath(request.into);
    line += "; " + counted(countOf(outcome, false), "level", "levels") + " unchanged, of " +
            counted(outcome.levels.size(), "level", "levels") + " in " + displayPath(request.game);
    if (request.dryRun)
        line += " (dry run: nothing written)";
    return line + "\n";
}

} // namespace

void reportGamePutBack(const GamePutBackRequest& request, const GamePutBackOutcome& outcome,
                       bool json, bool quiet, bool verbose, std::ostream& out, std::ostream& err)
{
    PutBackReportParts parts;
    parts.status = outcome.status;
    parts.dryRun = request.dryRun;
    for (const LevelPutBack& level : outcome.levels) {
        for (const features::Refusal& image : level.outcome.refused)
            parts.refused.push_back(&image);
        for (const features::Refusal& image : level.outcome.passedOver)
            parts.passedOver.push_back(&image);
    }
    for (const features::Refusal& image : outcome.refused)
        parts.refused.push_back(&image);
    for (const features::Refusal& folder : outcome.passedOver)
        parts.passedOver.push_back(&folder);
    parts.notWritten = "no level was written under " + displayPath(request.into);
    parts.error = &outcome.error;
    parts.json = [&](std::ostream& to) { writeJson(request, outcome, to); };
    parts.lines = [&](std::ostream& to) { writeLines(outcome, verbose, to); };
    parts.summary = [&] { return summary(request, outcome); };
    writePutBackReport(parts, json, quiet, out, err);
}

} // namespace glintmark::cli
