#include "features/game/SourcesRun.h"

#include "engine/LockedFolder.h"
#include "engine/io/PathQueries.h"
#include "engine/io/PathText.h"
#include "features/LevelExtraction.h"
#include "features/gallery/GalleryPage.h"
#include "features/game/GameGallery.h"
#include "features/game/GameTextures.h"
#include "features/game/IndexJson.h"
#include "features/game/IndexLevels.h"
#include "features/game/TextureIndex.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <set>
#include <utility>

namespace glintmark::features {
namespace {

// Opens and locks the output folder of the run's levels into `folder` (creating it with its
// parents), for the files the run writes there itself.
std::optional<ExtractError> openRunFolder(const std::filesystem::path& outputDir,
                                          std::optional<LockedFolder>& folder)
{
    std::error_code ignored; // a folder that cannot be made is named by the opening
    createFolders(outputDir, ignored);
    std::optional<ExtractError> error;
    folder.emplace(LockedFolder::openBeside(outputDir / std::string(kIndexName), FileIdentity{},
                                            "the texture index", "run", error));
    if (error)
        folder.reset();
    return error;
}

// What the run writes into the output folder beside its levels' folders: the index, and a
// game's page.
struct RunFiles
{
    bool index = false;
    bool gallery = false;

    bool any() const { return index || gallery; }
};

// The files the run writes beside its levels' folders; none when it writes none, or its one
// level writes straight into the output folder (where that level's run writes the index).
RunFiles runFiles(const SourcesRequest& request, const SourceList& list)
{
    RunFiles files;
    if (request.mode != RunMode::Write)
        return files;
    const bool ownFolders = list.game || request.folderPerSource || list.files.size() > 1;
    files.index = request.index && ownFolders;
    files.gallery = request.gallery && list.game;
    return files;
}

// Writes the run's index and, for a game with the gallery, its page through the run's locked
// folder.
std::optional<ExtractError> writeRunFiles(const SourcesRequest& request, const RunFiles& files,
                                          const OutputPlan& plan, const GameTextures& textures,
                                          LockedFolder& folder, RunEvents& events)
{
    const auto keepGoing = [&events] { return events.keepGoing(); };
    if (files.index) {
        std::optional<ExtractError> error =
            folder.writeFile(std::string(kIndexName), "the texture index", [&](FileWriter& file) {
                return writeIndexJson(
                    textures.index(), [&file](std::string_view piece) { return file.write(piece); },
                    keepGoing);
            });
        if (error)
            return error;
    }
    if (!files.gallery || !keepGoing())
        return std::nullopt;
    std::vector<std::filesystem::path> levelFolders;
    for (const std::filesystem::path& levelFolder : plan.folders)
        levelFolders.push_back(levelFolder.lexically_relative(request.outputDir));
    const std::string title =
        displayPath(request.sources.size() == 1 ? request.sources.front() : request.outputDir);
    return writeGameGallery(textures.index(), levelFolders, title, folder, keepGoing);
}

// How each level is run.
LevelRunSettings levelSettings(const SourcesRequest& request, GameTextures* textures)
{
    LevelRunSettings settings;
    settings.mode = request.mode;
    settings.trim = request.trim;
    settings.check = request.check;
    settings.gallery = request.gallery;
    settings.writers = request.writers;
    settings.textures = textures;
    return settings;
}

// Runs the planned levels one by one, then writes the game's own files.
SourcesOutcome runLevels(const SourcesRequest& request, const SourceList& list,
                         const OutputPlan& plan, SourcesEvents& events)
{
    SourcesOutcome outcome;
    const bool writing = request.mode == RunMode::Write;
    const RunFiles files = runFiles(request, list);
    // A game (or a deduplicated run) learns every texture's digest, and so does every run that
    // writes an index; a run that writes files beside its levels' folders keeps the output
    // folder locked throughout for them.
    const bool told = list.game || request.dedupe;
    std::shared_ptr<GameTextures> textures;
    if (told || (writing && request.index)) {
        textures = std::make_shared<GameTextures>(request.trim, request.dedupe && writing);
        for (const UnreadFolder& folder : list.unread)
            textures->markUnread(folder.relative, folder.error.message);
    }
    std::optional<LockedFolder> runFolder;
    if (files.any()) {
        outcome.folderError = openRunFolder(request.outputDir, runFolder);
        if (outcome.folderError) {
            outcome.status = SourcesStatus::Failed;
            return outcome;
        }
    }
    LevelRunSettings settings = levelSettings(request, textures.get());
    // One level straight into the output folder: its own run writes the index there.
    settings.writeIndex = writing && request.index && !files.index;

    bool anyFailed = !list.problems.empty();
    std::uint64_t bytesBefore = 0;
    const std::size_t count = list.files.size();
    for (std::size_t i = 0; i < count && events.keepGoing(); ++i) {
        events.onLevelStart(LevelStart{i, count, list.files[i], list.names[i], plan.folders[i],
                                       list.game, bytesBefore, list.totalBytes});
        bytesBefore += list.sizes[i];
        if (textures)
            textures->beginLevel(list.names[i], plan.folders[i]);
        LevelRunSettings levelRun = settings;
        levelRun.openSource = list.openers[i];
        // A game's level page links back to the game's page, which is written at the end.
        if (files.gallery) {
            levelRun.gamePage =
                (request.outputDir / std::string(kGalleryName)).lexically_relative(plan.folders[i]);
        }
        const LevelOutcome level = extractLevel(list.files[i], plan.folders[i], levelRun, events);
        events.onLevelEnd(level);
        anyFailed = anyFailed || level.result.status != RunStatus::Completed;
    }
    if (textures) {
        textures->closeFolders();
        if (told)
            outcome.textures = textures;
    }
    if (textures && events.keepGoing()) {
        if (told)
            events.onTextures(*textures);
        if (runFolder && events.keepGoing()) {
            outcome.filesError = writeRunFiles(request, files, plan, *textures, *runFolder, events);
            anyFailed = anyFailed || outcome.filesError.has_value();
        }
    }
    if (!events.keepGoing())
        outcome.status = SourcesStatus::Stopped;
    else
        outcome.status = anyFailed ? SourcesStatus::Failed : SourcesStatus::Completed;
    return outcome;
}

// Why writing this run into its output folder would mix its textures with another run's, as
// the folder's index tells; empty when it would not: no index there, an index of the same game
// (one of its levels is among this run's), or, for files, an index of no level but this run's
// (the same level extracted again).
std::string foreignIndex(const SourcesRequest& request, const SourceList& list)
{
    const auto indexed = readIndexLevels(request.outputDir / std::string(kIndexName));
    if (!indexed || indexed->empty())
        return {};
    std::set<std::string> ours;
    for (const std::filesystem::path& name : list.names)
        ours.insert(levelText(name));
    const auto isOurs = [&ours](const std::string& level) { return ours.count(level) > 0; };
    if (list.game ? std::any_of(indexed->begin(), indexed->end(), isOurs)
                  : std::all_of(indexed->begin(), indexed->end(), isOurs))
        return {};
    const std::size_t count = indexed->size();
    return "\"" + displayPath(request.outputDir) + "\" holds the textures of another game, of " +
           std::to_string(count) + (count == 1 ? " level (" : " levels (") + indexed->front() +
           (count > 1 ? ", ...)" : ")") + ", as its " + std::string(kIndexName) +
           " says; extract into another folder, or add --force to extract into it all the same";
}

SourcesOutcome refused(std::string why)
{
    SourcesOutcome outcome;
    outcome.status = SourcesStatus::Refused;
    outcome.refusal = std::move(why);
    return outcome;
}

} // namespace

SourcesOutcome runSources(const SourcesRequest& request, SourcesEvents& events)
{
    const SourceList list =
        expandSources(request.sources, [&events] { return events.keepGoing(); });
    events.onListed(list);
    if (!events.keepGoing())
        return SourcesOutcome{SourcesStatus::Stopped, {}, {}, {}, {}};
    if (list.files.empty())
        return SourcesOutcome{SourcesStatus::NoLevels, {}, {}, {}, {}};
    const bool writing = request.mode == RunMode::Write;
    // With a game among the sources, its folder is the game's own (its index and page), so
    // every file named beside it gets a folder of its own, even when the game has no level.
    const OutputPlan plan = planOutputFolders(
        list.files, request.outputDir, request.folderPerSource || list.game, list.subfolders);
    if (!plan.problem.empty() && writing)
        return refused(plan.problem);
    // All sources against all folders, before the first byte is read: a later source must not
    // be written over, or swept, by an earlier one's run.
    if (std::string clash = sourceInAnotherFolder(list.files, plan, request.gallery);
        !clash.empty() && writing)
        return refused(std::move(clash));
    // Nor may a level's folder take the place of the files the run writes beside them.
    if (const RunFiles files = runFiles(request, list); files.any()) {
        std::vector<std::filesystem::path> ownFiles;
        if (files.index)
            ownFiles.emplace_back(std::string(kIndexName));
        if (files.gallery)
            ownFiles.emplace_back(std::string(kGalleryName));
        if (std::string clash = folderAtOwnFile(list.files, plan, request.outputDir, ownFiles);
            !clash.empty())
            return refused(std::move(clash));
        // Nor may those files replace a source, read before them and gone after.
        for (const std::filesystem::path& name : ownFiles) {
            const std::filesystem::path own = request.outputDir / name;
            for (const std::filesystem::path& source : list.files) {
                std::error_code ec; // a file that is not there is no source's
                if (samePlace(source, own, ec)) {
                    return refused(displayPath(source) + " is where the run writes its own " +
                                   displayPath(name) + "; move it, or extract into another folder");
                }
            }
        }
    }
    if (std::string foreign = foreignIndex(request, list);
        !foreign.empty() && writing && !request.force)
        return refused(std::move(foreign));
    events.onPlanned(list, plan);
    return runLevels(request, list, plan, events);
}

} // namespace glintmark::features
