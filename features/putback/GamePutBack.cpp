#include "features/putback/GamePutBack.h"

#include "engine/Extraction.h"
#include "engine/LockedFolder.h"
#include "engine/io/PathText.h"
#include "features/game/IndexJson.h"
#include "features/game/TextureIndex.h"
#include "features/putback/EditIndex.h"
#include "features/putback/EditPlaces.h"
#include "features/putback/LevelCopy.h"
#include "features/putback/LevelScan.h"
#include "features/putback/NewGameFolder.h"
#include "features/putback/ReplacementPlan.h"
#include "features/putback/UnmatchedFolders.h"

#include <algorithm>
#include <map>
#include <set>

namespace glintmark::features {
namespace {

namespace fs = std::filesystem;

// One edit as it goes everywhere: the replacement planned for its own place (its bytes let go),
// and the level whose folder holds its file.
struct Edit
{
    Replacement planned;
    std::size_t level = 0;
};

// What the planning keeps of a level for the writing.
struct LevelState
{
    FileIdentity sourceId;              // as the level was scanned; type Missing until it was
    std::vector<ImageInfo> originals;   // of every replacement, in ascending order of number
    std::optional<EditedFolder> edited; // its folder of edited images, when it has one
};

// Everything a put-back into a game carries from phase to phase.
struct GameRun
{
    const GamePutBackRequest& request;
    RunEvents& events;
    GamePutBackOutcome& outcome;
    std::vector<LevelState> states;        // one for each level
    std::map<Digest, Edit> edits;          // by the texture of the edit's original
    std::map<fs::path, std::size_t> owner; // a folder of edited images to the level it belongs to
    // Each edited file by its identity (device, index), with the levels whose folders name it.
    std::map<std::pair<std::uint64_t, std::uint64_t>, std::vector<std::pair<std::size_t, fs::path>>>
        editedFiles;
    std::uint64_t held = 0; // replacement bytes kept in memory
    bool stopped = false;
    std::optional<EditIndex> index{}; // the extraction's index, when it has one to go by
    // Without --everywhere, each texture of the index with the number of levels it lists it in;
    // made when first needed.
    std::optional<std::map<Digest, std::size_t>> levelsOfTexture{};
};

// Whether `path` (made canonical as far as it exists) is `root` or lies inside it.
bool within(const fs::path& path, const fs::path& root)
{
    std::error_code ec;
    const fs::path target = fs::weakly_canonical(path, ec);
    if (ec)
        return false;
    const auto [rootEnd, targetAt] =
        std::mismatch(root.begin(), root.end(), target.begin(), target.end());
    (void)targetAt;
    return rootEnd == root.end();
}

// The new levels may not go into the game itself, where one could take the place of another
// level than its own.
std::optional<ExtractError> refuseIntoGame(const GamePutBackRequest& request, const fs::path& at)
{
    std::error_code ec;
    const fs::path game = fs::canonical(request.game, ec);
    if (ec || !within(at, game))
        return std::nullopt;
    ExtractError error;
    error.kind = ErrorKind::OutputIsSource;
    error.file = at;
    error.message = "The new levels would be written into the game folder \"" +
                    displayPath(request.game) + "\" itself (at \"" + displayPath(at) +
                    "\"); choose a folder outside it";
    return error;
}

// An earlier put-back's folder of new levels is replaced whole: it may not hold the game or the
// folder of edits, which would go with it.
std::optional<ExtractError> refuseReplacingInputs(const GamePutBackRequest& request)
{
    std::error_code ec;
    const fs::path into = fs::canonical(request.into, ec);
    if (ec)
        return std::nullopt;
    for (const auto& [input, what] : {std::pair{&request.game, "game folder"},
                                      std::pair{&request.folder, "folder of edited images"}}) {
        if (!within(*input, into))
            continue;
        ExtractError error;
        error.kind = ErrorKind::OutputIsSource;
        error.file = request.into;
        error.message = "The " + std::string(what) + " \"" + displayPath(*input) +
                        "\" lies inside \"" + displayPath(request.into) +
                        "\", which the new levels replace whole; choose a folder outside it";
        return error;
    }
    return std::nullopt;
}

// The request for one level, as putBack() would take it; `heldBytes` is what is left of the
// game's bound.
PutBackRequest levelRequest(const GameRun& run, const LevelPutBack& level)
{
    PutBackRequest one;
    one.source = level.level.file;
    one.folder = level.folder;
    one.into = level.into;
    one.fit = run.request.fit;
    one.dryRun = run.request.dryRun;
    one.ignoreUnmatched = run.request.ignoreUnmatched;
    one.heldBytes = run.request.heldBytes - std::min(run.held, run.request.heldBytes);
    return one;
}

// Opens a level's source and checks it can be copied; `stopped` at a stop while it waited.
std::optional<ExtractError> openLevel(const LevelPutBack& level, RawFile& source,
                                      FileIdentity& sourceId, bool& stopped)
{
    std::error_code ec;
    source = RawFile::openForReading(level.level.file, ec);
    if (ec == std::errc::interrupted) {
        stopped = true;
        return std::nullopt;
    }
    if (ec)
        return makeError(ErrorKind::SourceOpen, level.level.file, "Cannot open the source file",
                         ec);
    return refuseSource(level.level.file, source, sourceId);
}

// The same file, unchanged, as `before`.
std::optional<ExtractError> checkSame(const fs::path& file, const FileIdentity& before,
                                      const FileIdentity& now)
{
    if (before.type == FileType::Missing ||
        (now.sameFileAs(before) && now.size == before.size && now.changed == before.changed))
        return std::nullopt;
    return ExtractError{ErrorKind::SourceRead, file,
                        "The source file \"" + displayPath(file) +
                            "\" changed while the game was read; nothing was put in place"};
}

// How many levels the index lists each of its textures in.
std::map<Digest, std::size_t> countLevelsOfTextures(const EditIndex& index)
{
    std::map<Digest, std::size_t> levels;
    for (const auto& [name, level] : index.levels) {
        std::set<Digest> textures;
        for (const auto& [number, texture] : level.images)
            textures.insert(texture);
        for (const Digest& texture : textures)
            ++levels[texture];
    }
    return levels;
}

// Notes each replacement of `level` whose texture (the one its file was cut from, by the index)
// the index lists in other levels as well, which keep it without --everywhere.
void noteUsedElsewhere(GameRun& run, const LevelPutBack& level,
                       const std::vector<EditTarget>& targets)
{
    if (!run.index || level.outcome.replaced.empty())
        return;
    if (!run.levelsOfTexture)
        run.levelsOfTexture = countLevelsOfTextures(*run.index);
    for (const Replacement& replacement : level.outcome.replaced) {
        const auto target =
            std::find_if(targets.begin(), targets.end(), [&](const EditTarget& candidate) {
                return candidate.original && candidate.original->number == replacement.number;
            });
        if (target == targets.end() || !target->extracted)
            continue;
        const auto listed = run.levelsOfTexture->find(*target->extracted);
        if (listed != run.levelsOfTexture->end() && listed->second > 1)
            run.outcome.usedElsewhere.push_back(
                {replacement.file, level.level.relative, listed->second - 1});
    }
}

// Reads a level that has a folder of edited images and plans its replacements, as putBack()
// does; with --everywhere also the texture of each replacement's original, in `textures`.
std::optional<ExtractError> planLevel(GameRun& run, std::size_t index,
                                      std::map<std::uint64_t, Digest>& textures)
{
    LevelPutBack& level = run.outcome.levels[index];
    LevelState& state = run.states[index];
    const PutBackRequest one = levelRequest(run, level);
    RawFile source;
    if (auto error = openLevel(level, source, state.sourceId, run.stopped); error || run.stopped)
        return error;
    state.edited.emplace();
    if (auto error = openEditedFolder(one, *state.edited))
        return error;
    run.owner[level.folder] = index;
    const EditedFolder& edited = *state.edited;
    EditScan wanted;
    wanted.numbers = edited.numbers;
    wanted.levelName = levelText(level.level.relative);
    wanted.hashTextures = run.request.everywhere || run.request.recordTextures;
    if (run.index) {
        wanted.indexed = run.index->level(wanted.levelName);
        if (wanted.indexed == nullptr && !edited.numbers.empty())
            level.outcome.since.byNumber =
                displayPath(run.index->file) + " does not list " + wanted.levelName;
    }
    LevelEdits found;
    std::optional<ExtractError> scanned = scanForEdits(level.level.file, source, state.sourceId,
                                                       wanted, run.events, found, run.stopped);
    level.outcome.images = found.images;
    if (scanned || run.stopped)
        return scanned;
    const std::string byNumber = std::move(level.outcome.since.byNumber);
    level.outcome.since = found.since;
    level.outcome.since.byNumber = byNumber;
    for (const EditTarget& target : found.targets) {
        if (target.original && target.texture)
            textures[target.original->number] = *target.texture;
    }
    if (auto error =
            planEdits(one, edited, source, found.named, found.targets, run.events, level.outcome))
        return error;
    if (run.request.recordTextures)
        recordTextures(found.targets, level.outcome);
    run.stopped = !run.events.keepGoing();
    for (const Replacement& replacement : level.outcome.replaced) {
        std::error_code ec;
        const FileIdentity file = edited.dir.entry(replacement.file.filename(), false, ec);
        if (!ec && file.type == FileType::Regular && file.index != 0)
            run.editedFiles[{file.device, file.index}].emplace_back(index, replacement.file);
    }
    if (!run.request.everywhere)
        noteUsedElsewhere(run, level, found.targets);
    // Closed until an edit of it is read again, so that no descriptor is held for each level.
    state.edited->dir = RawDir();
    for (const Replacement& replacement : level.outcome.replaced) {
        run.held += replacement.bytes.size();
        state.originals.push_back(found.original(replacement.number));
    }
    return std::nullopt;
}

// Records the replacements of level `index` as the edits of their originals' textures; a second,
// different edit of a texture is refused, naming both files.
void recordEdits(GameRun& run, std::size_t index, const std::map<std::uint64_t, Digest>& textures)
{
    const LevelPutBack& level = run.outcome.levels[index];
    for (const Replacement& replacement : level.outcome.replaced) {
        Edit edit{replacement, index};
        std::string().swap(edit.planned.bytes);
        const auto [at, added] = run.edits.emplace(textures.at(replacement.number), edit);
        const Replacement& first = at->second.planned;
        if (added || (first.length == replacement.length && first.digest == replacement.digest))
            continue;
        run.outcome.refused.push_back(
            {replacement.number, replacement.file,
             "is another edit of the texture that " + displayPath(first.file) + " edits (image " +
                 std::to_string(first.number) + " of " +
                 displayPath(run.outcome.levels[at->second.level].level.relative) +
                 "); with --everywhere a texture takes one edit, so neither goes back"});
    }
}

// Scans level `index` for the textures edited elsewhere and adds a replacement wherever one
// stands that its own folder does not replace already.
std::optional<ExtractError> placeEverywhere(GameRun& run, std::size_t index)
{
    LevelPutBack& level = run.outcome.levels[index];
    LevelState& state = run.states[index];
    RawFile source;
    FileIdentity sourceId;
    if (auto error = openLevel(level, source, sourceId, run.stopped); error || run.stopped) {
        // An empty level holds no texture to put anything into.
        const bool empty = sourceId.type == FileType::Regular && sourceId.size == 0;
        return empty && state.sourceId.type == FileType::Missing ? std::nullopt : error;
    }
    if (auto error = checkSame(level.level.file, state.sourceId, sourceId))
        return error;
    state.sourceId = sourceId;
    std::set<std::uint64_t> own;
    for (const Replacement& replacement : level.outcome.replaced)
        own.insert(replacement.number);
    LevelScan scan(
        run.events, [](std::uint64_t) { return false; },
        [&](const ImageInfo& image, const Digest& texture) {
            const auto edit = run.edits.find(texture);
            if (edit == run.edits.end() || own.count(image.number) != 0)
                return;
            Replacement placed = edit->second.planned;
            placed.number = image.number;
            placed.offset = image.offset;
            level.outcome.replaced.push_back(std::move(placed));
            state.originals.push_back(image);
        });
    ExtractJob listing;
    listing.sourceFile = level.level.file;
    const ExtractResult listed = listOpenSource(listing, source, &scan);
    level.outcome.images = listed.count;
    run.stopped = listed.status == RunStatus::Stopped;
    if (listed.status == RunStatus::Failed)
        return listed.error;
    std::sort(level.outcome.replaced.begin(), level.outcome.replaced.end(),
              [](const Replacement& a, const Replacement& b) { return a.offset < b.offset; });
    std::sort(state.originals.begin(), state.originals.end(),
              [](const ImageInfo& a, const ImageInfo& b) { return a.number < b.number; });
    return std::nullopt;
}

// Counts off the levels of one pass over the game as the run comes to them.
class Pass
{
public:
    Pass(GameRun& run, std::size_t count, bool searching)
        : m_run(run), m_count(count), m_searching(searching)
    {}

    // The run comes to level `index` of the game.
    void at(std::size_t index)
    {
        m_run.events.onLevel(
            {m_next++, m_count, m_run.outcome.levels[index].level.relative, m_searching});
    }

private:
    GameRun& m_run;
    std::size_t m_count;
    bool m_searching;
    std::size_t m_next = 0;
};

// Tells the edited files that are one file under several levels' folders (hard links): an edit
// saved through one name changed them all.
void tellSharedEdits(GameRun& run)
{
    for (const auto& [identity, names] : run.editedFiles) {
        if (names.size() < 2)
            continue;
        SharedEdit shared;
        for (const auto& [level, file] : names) {
            shared.files.push_back(file);
            shared.levels.push_back(run.outcome.levels[level].level.relative);
        }
        run.outcome.sharedEdits.push_back(std::move(shared));
    }
    std::sort(run.outcome.sharedEdits.begin(), run.outcome.sharedEdits.end(),
              [](const SharedEdit& a, const SharedEdit& b) { return a.files < b.files; });
    run.editedFiles.clear();
}

// Reads every level with a folder of edited images and plans what goes back; with --everywhere
// then finds every place of every edited texture in every level.
std::optional<ExtractError> planGame(GameRun& run)
{
    const auto& levels = run.outcome.levels;
    Pass planning(run,
                  static_cast<std::size_t>(std::count_if(
                      levels.begin(), levels.end(),
                      [](const LevelPutBack& level) { return !level.folder.empty(); })),
                  false);
    for (std::size_t i = 0; i < run.outcome.levels.size() && !run.stopped; ++i) {
        if (run.outcome.levels[i].folder.empty())
            continue;
        planning.at(i);
        std::map<std::uint64_t, Digest> textures;
        if (auto error = planLevel(run, i, textures))
            return error;
        if (run.request.everywhere && !run.stopped)
            recordEdits(run, i, textures);
    }
    tellSharedEdits(run);
    // Without --everywhere no edit was recorded.
    if (run.edits.empty() || !run.outcome.refused.empty())
        return std::nullopt;
    Pass searching(run, levels.size(), true);
    for (std::size_t i = 0; i < run.outcome.levels.size() && !run.stopped; ++i) {
        searching.at(i);
        if (auto error = placeEverywhere(run, i))
            return error;
    }
    return std::nullopt;
}

// The original of replacement `number`, among a level's.
const ImageInfo& originalOf(const LevelState& state, std::uint64_t number)
{
    return *std::lower_bound(
        state.originals.begin(), state.originals.end(), number,
        [](const ImageInfo& image, std::uint64_t n) { return image.number < n; });
}

// Writes level `index` to its hidden file, checked as one level's new level is.
std::optional<ExtractError> writeLevel(GameRun& run, std::size_t index, NewGameFolder& written)
{
    LevelPutBack& level = run.outcome.levels[index];
    const LevelState& state = run.states[index];
    RawFile source;
    FileIdentity sourceId;
    if (auto error = openLevel(level, source, sourceId, run.stopped); error || run.stopped)
        return error;
    if (auto error = checkSame(level.level.file, state.sourceId, sourceId))
        return error;
    const auto reload = [&](Replacement& replacement) -> std::optional<ExtractError> {
        const std::size_t owner = run.owner.at(replacement.file.parent_path());
        PutBackRequest again = levelRequest(run, level);
        again.folder = run.outcome.levels[owner].folder;
        // Opened for this edit only; what is read must be what was planned, or it fails.
        EditedFolder& edits = *run.states[owner].edited;
        std::error_code ec;
        edits.dir = RawDir::open(again.folder, ec);
        if (ec)
            return makeError(ErrorKind::SourceOpen, again.folder,
                             "Cannot read the folder of edited images", ec);
        auto reloaded = reloadReplacement(
            again, edits, source, originalOf(state, replacement.number), run.events, replacement);
        edits.dir = RawDir();
        return reloaded;
    };
    std::optional<ExtractError> failure;
    bool complete = false;
    auto error = written.write(
        level.level.relative, "the new level",
        [&](FileWriter& writer) {
            LevelParts parts{
                level.level.file,       level.into, source, state.sourceId, level.outcome.images,
                level.outcome.replaced, reload};
            return copyLevel(parts, writer, run.events, run.stopped, failure);
        },
        complete);
    if (failure)
        error = std::move(failure);
    return error;
}

// `error`, with what discarding the unfinished new levels could not remove told after it.
std::optional<ExtractError> leavingNothing(NewGameFolder& written,
                                           std::optional<ExtractError> error)
{
    std::optional<ExtractError> left = written.discard();
    if (!left)
        return error;
    if (!error)
        return left;
    error->message += "; " + left->message;
    return error;
}

// Writes every level that changes into a hidden folder beside the new levels' folder, then puts
// it in that folder's place; a failure or a stop on the way leaves that folder as it was.
std::optional<ExtractError> writeGame(GameRun& run)
{
    const auto& levels = run.outcome.levels;
    // With no level to write, nothing is made; an earlier put-back's folder is still replaced,
    // so that none of its levels passes for this run's.
    std::error_code ec;
    if (std::none_of(levels.begin(), levels.end(),
                     [](const LevelPutBack& level) { return level.changes(); }) &&
        !fs::exists(fs::symlink_status(run.request.into, ec)))
        return std::nullopt;
    NewGameFolder written(run.request.into);
    if (auto error = written.begin())
        return leavingNothing(written, std::move(error));
    Pass writing(run,
                 static_cast<std::size_t>(
                     std::count_if(levels.begin(), levels.end(),
                                   [](const LevelPutBack& level) { return level.changes(); })),
                 false);
    for (std::size_t i = 0; i < run.outcome.levels.size(); ++i) {
        if (!run.outcome.levels[i].changes())
            continue;
        if (!run.events.keepGoing())
            run.stopped = true;
        if (run.stopped)
            return leavingNothing(written, std::nullopt);
        writing.at(i);
        if (auto error = writeLevel(run, i, written); error || run.stopped)
            return leavingNothing(written, std::move(error));
    }
    // A stop that comes after the last level still leaves nothing behind.
    if (!run.events.keepGoing()) {
        run.stopped = true;
        return leavingNothing(written, std::nullopt);
    }
    auto error = written.place();
    return written.placed() ? error : leavingNothing(written, std::move(error));
}

// The game's levels, each with the folder of its edited images (when the extraction has one)
// and the new level it would become.
std::optional<ExtractError> findGameLevels(GameRun& run)
{
    std::optional<ExtractError> error;
    const std::vector<GameLevel> found = findLevels(
        run.request.game, [&run] { return run.events.keepGoing(); }, error);
    run.stopped = !error && !run.events.keepGoing();
    for (const GameLevel& level : found) {
        LevelPutBack entry;
        entry.level = level;
        entry.into = run.request.into / level.relative;
        const fs::path folder = run.request.folder / levelFolderName(level.relative);
        std::error_code ec;
        if (fs::exists(fs::symlink_status(folder, ec)))
            entry.folder = folder;
        run.outcome.levels.push_back(std::move(entry));
    }
    run.states.resize(found.size());
    return error;
}

// Names every folder of the extraction that holds image files but is no level's: refused, or
// passed over as the request asked, so that no edit goes nowhere unsaid.
std::optional<ExtractError> findUnmatched(GameRun& run)
{
    std::set<fs::path> levelFolders;
    for (const LevelPutBack& level : run.outcome.levels)
        levelFolders.insert(run.request.folder / levelFolderName(level.level.relative));
    std::optional<ExtractError> error;
    const std::vector<UnmatchedFolder> unmatched = findUnmatchedFolders(
        run.request.folder, levelFolders, [&run] { return run.events.keepGoing(); }, error);
    run.stopped = !error && !run.events.keepGoing();
    std::vector<Refusal>& told =
        run.request.ignoreUnmatched ? run.outcome.passedOver : run.outcome.refused;
    for (const UnmatchedFolder& folder : unmatched)
        told.push_back({0, folder.folder, unmatchedFolderReason(folder, run.request.game)});
    return error;
}

// The extraction's index, which ties each edit to the texture it was cut from; without one (or
// with an older one) the edits go by number, and the outcome says why.
std::optional<ExtractError> readGameIndex(GameRun& run)
{
    EditIndexRead read = readEditIndex(run.request.folder / std::string(kIndexName));
    if (read.error)
        return std::move(read.error);
    run.index = std::move(read.index);
    const bool edits = std::any_of(run.outcome.levels.begin(), run.outcome.levels.end(),
                                   [](const LevelPutBack& level) { return !level.folder.empty(); });
    if (!run.index && edits)
        run.outcome.byNumber = std::move(read.byNumber);
    return std::nullopt;
}

// The outcome, taken from `outcome`, with its status and error.
GamePutBackOutcome ended(GamePutBackOutcome& outcome, PutBackStatus status,
                         std::optional<ExtractError> error = std::nullopt)
{
    outcome.status = error ? PutBackStatus::Failed : status;
    outcome.error = std::move(error);
    return std::move(outcome);
}

bool anyRefused(const GamePutBackOutcome& outcome)
{
    return !outcome.refused.empty() ||
           std::any_of(outcome.levels.begin(), outcome.levels.end(),
                       [](const LevelPutBack& level) { return !level.outcome.refused.empty(); });
}

} // namespace

GamePutBackOutcome putBackGame(const GamePutBackRequest& request, RunEvents& events)
{
    GamePutBackOutcome outcome;
    GameRun run{request, events, outcome, {}, {}, {}, {}};
    // The target is refused before anything is read (in a dry run too, when named).
    if (!request.dryRun || !request.into.empty()) {
        if (auto error = refuseIntoGame(request, request.into))
            return ended(outcome, PutBackStatus::Failed, std::move(error));
        if (auto error = refuseForeignFolder(request.into))
            return ended(outcome, PutBackStatus::Failed, std::move(error));
        if (auto error = refuseReplacingInputs(request))
            return ended(outcome, PutBackStatus::Failed, std::move(error));
    }
    if (auto error = findGameLevels(run))
        return ended(outcome, PutBackStatus::Failed, std::move(error));
    if (!run.stopped) {
        if (auto error = findUnmatched(run))
            return ended(outcome, PutBackStatus::Failed, std::move(error));
    }
    if (!run.stopped) {
        if (auto error = readGameIndex(run))
            return ended(outcome, PutBackStatus::Failed, std::move(error));
    }
    if (!run.stopped) {
        if (auto error = planGame(run))
            return ended(outcome, PutBackStatus::Failed, std::move(error));
    }
    if (run.stopped || !events.keepGoing())
        return ended(outcome, PutBackStatus::Stopped);
    if (anyRefused(outcome))
        return ended(outcome, PutBackStatus::Refused);
    if (request.dryRun)
        return ended(outcome, PutBackStatus::DryRun);
    if (auto error = writeGame(run))
        return ended(outcome, PutBackStatus::Failed, std::move(error));
    return ended(outcome, run.stopped ? PutBackStatus::Stopped : PutBackStatus::Written);
}

} // namespace glintmark::features
