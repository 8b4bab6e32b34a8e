#include "features/putback/PackPutBack.h"

#include "engine/Extraction.h"
#include "engine/LockedFolder.h"
#include "engine/io/PathText.h"
#include "engine/io/RawDir.h"
#include "features/game/TextureIndex.h"
#include "features/putback/LevelCopy.h"
#include "features/putback/LevelScan.h"
#include "features/putback/NewGameFolder.h"
#include "features/putback/PackFile.h"
#include "features/putback/ReplacementPlan.h"

#include <algorithm>
#include <map>

namespace glintmark::features {
namespace {

namespace fs = std::filesystem;

// No texture's edit is near this; a pack file that is cannot be one and is not read.
constexpr std::uint64_t kLargestEdit = std::uint64_t{256} << 20;

// One place of a pack's texture in a level: the image there and the entry that goes to it.
struct Place
{
    ImageInfo image;
    std::size_t entry = 0;
};

// Two edits or more for one place: none of them goes there.
struct Clash
{
    ImageInfo image;
    std::vector<std::size_t> entries;
};

// Everything applying a pack, or edits chosen one by one, carries from phase to phase.
struct PackRun
{
    const GamePutBackRequest& request;
    bool asLevel;
    RunEvents& events;
    GamePutBackOutcome& outcome;
    std::vector<PackEntry> entries{};
    std::vector<fs::path> files{};                   // each entry's file, as it is named
    std::vector<std::optional<TexturePlace>> only{}; // each entry's one place, if it has one
    bool direct = false; // the files lie where they are named, not in the pack's folder
    std::multimap<Digest, std::size_t> byTexture{}; // entries by their texture
    std::vector<bool> found{};                      // each entry: it has a place
    RawDir pack{};
    std::vector<FileIdentity> sourceIds{};           // each level, as it was scanned
    std::vector<std::vector<ImageInfo>> originals{}; // each level's replaced images, by number
    std::uint64_t held = 0;
    bool stopped = false;
};

// The folder that holds `file`.
fs::path folderOf(const fs::path& file)
{
    return file.has_parent_path() ? file.parent_path() : fs::path(".");
}

// The bytes of entry `index`'s file; the reason when it cannot be read.
std::optional<std::string> readEntry(const PackRun& run, std::size_t index, std::string& reason)
{
    std::error_code ec;
    RawFile file;
    if (run.direct) {
        // Through its folder, as the pack's own files are: a link or a pipe is refused, not read.
        const RawDir folder = RawDir::open(folderOf(run.files[index]), ec);
        if (!ec)
            file = folder.openForReading(run.files[index].filename(), ec);
    } else {
        file = run.pack.openForReading(fs::path(run.entries[index].file), ec);
    }
    FileIdentity entry;
    if (!ec)
        entry = file.identity(ec);
    if (!ec && entry.size > kLargestEdit) {
        reason = "is larger than any texture can be";
        return std::nullopt;
    }
    std::string bytes;
    if (!ec) {
        bytes.resize(static_cast<std::size_t>(entry.size));
        bytes.resize(file.readFully(bytes.data(), bytes.size(), ec));
    }
    if (ec) {
        reason = "cannot be read: " + ec.message();
        return std::nullopt;
    }
    return bytes;
}

// The original's bytes from its signature through its end marker (or its whole length).
std::optional<ExtractError> readOriginal(const RawFile& source, const fs::path& file,
                                         const ImageInfo& image, std::string& bytes)
{
    const std::uint64_t length = image.jpeg.end ? *image.jpeg.end : image.size;
    bytes.assign(static_cast<std::size_t>(length), '\0');
    std::error_code ec;
    const std::size_t got = source.readAt(image.offset, bytes.data(), bytes.size(), ec);
    if (ec)
        return makeError(ErrorKind::SourceRead, file, "Cannot read the source file", ec);
    if (got != bytes.size())
        return ExtractError{ErrorKind::SourceRead, file,
                            "The source file \"" + displayPath(file) +
                                "\" changed while it was read: image " +
                                std::to_string(image.number) + " was cut short"};
    return std::nullopt;
}

std::optional<ExtractError> openLevel(const GameLevel& level, RawFile& source,
                                      FileIdentity& sourceId, bool& stopped)
{
    std::error_code ec;
    source = RawFile::openForReading(level.file, ec);
    if (ec == std::errc::interrupted) {
        stopped = true;
        return std::nullopt;
    }
    if (ec)
        return makeError(ErrorKind::SourceOpen, level.file, "Cannot open the source file", ec);
    return refuseSource(level.file, source, sourceId);
}

// Judges the entry's file against each of its places in level `index`.
void judgePlaces(PackRun& run, std::size_t index, const RawFile& source,
                 const std::vector<Place>& places, std::optional<ExtractError>& error)
{
    LevelPutBack& level = run.outcome.levels[index];
    const auto keepGoing = [&run] { return run.events.keepGoing(); };
    for (const Place& place : places) {
        if (!run.events.keepGoing()) {
            run.stopped = true;
            return;
        }
        const PackEntry& entry = run.entries[place.entry];
        const fs::path& file = run.files[place.entry];
        const std::string at = " (for image " + std::to_string(place.image.number) + " of " +
                               levelText(level.level.relative) + ")";
        std::string reason;
        std::optional<std::string> edit = readEntry(run, place.entry, reason);
        if (!edit) {
            level.outcome.refused.push_back({place.image.number, file, reason + at});
            continue;
        }
        std::string original;
        if ((error = readOriginal(source, level.level.file, place.image, original)))
            return;
        // An entry saved as PNG is encoded for its place, as a PNG edit in a folder is.
        auto judged = judgeEdit(file.filename(), std::move(*edit), place.image, original,
                                run.request.fit, keepGoing);
        if (!run.events.keepGoing()) {
            run.stopped = true;
            return;
        }
        if (std::holds_alternative<Unchanged>(judged)) {
            ++level.outcome.unchanged;
        } else if (auto* why = std::get_if<std::string>(&judged)) {
            level.outcome.refused.push_back({place.image.number, file, *why + at});
        } else {
            Replacement replacement = std::move(std::get<Replacement>(judged));
            replacement.file = file;
            if (run.held + replacement.bytes.size() > run.request.heldBytes)
                std::string().swap(replacement.bytes);
            run.held += replacement.bytes.size();
            if (run.request.recordTextures)
                level.outcome.textures.push_back({file, entry.texture, place.image.jpeg.width,
                                                  place.image.jpeg.height,
                                                  place.image.jpeg.components});
            level.outcome.replaced.push_back(std::move(replacement));
            run.originals[index].push_back(place.image);
        }
    }
}

// Scans level `index` for the pack's textures and judges each place found.
std::optional<ExtractError> planLevel(PackRun& run, std::size_t index)
{
    LevelPutBack& level = run.outcome.levels[index];
    RawFile source;
    if (auto error = openLevel(level.level, source, run.sourceIds[index], run.stopped);
        error || run.stopped) {
        // An empty level holds no texture to put anything into.
        const bool empty =
            run.sourceIds[index].type == FileType::Regular && run.sourceIds[index].size == 0;
        run.sourceIds[index].type = empty ? FileType::Missing : run.sourceIds[index].type;
        return empty ? std::nullopt : error;
    }
    std::vector<Place> places;
    std::vector<Clash> clashes;
    LevelScan scan(
        run.events, [](std::uint64_t) { return false; },
        [&](const ImageInfo& image, const Digest& texture) {
            std::vector<std::size_t> here;
            const auto [first, last] = run.byTexture.equal_range(texture);
            for (auto entry = first; entry != last; ++entry) {
                const auto& only = run.only[entry->second];
                if (!only || (only->number == image.number && only->level == level.level.relative))
                    here.push_back(entry->second);
            }
            for (const std::size_t entry : here)
                run.found[entry] = true;
            if (here.size() > 1)
                clashes.push_back({image, std::move(here)});
            else if (here.size() == 1)
                places.push_back({image, here.front()});
        });
    ExtractJob listing;
    listing.sourceFile = level.level.file;
    const ExtractResult listed = listOpenSource(listing, source, &scan);
    level.outcome.images = listed.count;
    run.stopped = listed.status == RunStatus::Stopped;
    if (listed.status == RunStatus::Failed)
        return listed.error;
    if (run.stopped)
        return std::nullopt;
    for (const Clash& clash : clashes) {
        for (const std::size_t entry : clash.entries) {
            std::string others;
            for (const std::size_t other : clash.entries)
                if (other != entry)
                    others +=
                        (others.empty() ? "\"" : ", \"") + displayPath(run.files[other]) + "\"";
            level.outcome.refused.push_back(
                {clash.image.number, run.files[entry],
                 "is not the only edit for image " + std::to_string(clash.image.number) + " of " +
                     levelText(level.level.relative) + ": so is " + others});
        }
    }
    std::optional<ExtractError> error;
    judgePlaces(run, index, source, places, error);
    std::sort(level.outcome.replaced.begin(), level.outcome.replaced.end(),
              [](const Replacement& a, const Replacement& b) { return a.offset < b.offset; });
    std::sort(run.originals[index].begin(), run.originals[index].end(),
              [](const ImageInfo& a, const ImageInfo& b) { return a.number < b.number; });
    return error;
}

// The levels the pack goes into: every level of the game, or the one level.
std::optional<ExtractError> findPackLevels(PackRun& run)
{
    std::optional<ExtractError> error;
    std::vector<GameLevel> found;
    if (run.asLevel) {
        GameLevel level;
        level.file = run.request.game;
        level.relative = run.request.game.filename();
        found.push_back(level);
    } else {
        found = findLevels(
            run.request.game, [&run] { return run.events.keepGoing(); }, error);
        run.stopped = !error && !run.events.keepGoing();
    }
    for (const GameLevel& level : found) {
        LevelPutBack entry;
        entry.level = level;
        entry.into = run.asLevel ? run.request.into : run.request.into / level.relative;
        run.outcome.levels.push_back(std::move(entry));
    }
    run.sourceIds.resize(found.size());
    run.originals.resize(found.size());
    return error;
}

// Names each entry whose texture stands in no level: refused, or passed over as asked.
void tellUnfound(PackRun& run)
{
    for (std::size_t i = 0; i < run.entries.size(); ++i) {
        if (run.found[i])
            continue;
        const PackEntry& entry = run.entries[i];
        std::vector<Refusal>& told =
            run.request.ignoreUnmatched ? run.outcome.passedOver : run.outcome.refused;
        const auto& only = run.only[i];
        told.push_back({0, run.files[i],
                        only ? "is the edit of image " + std::to_string(only->number) + " of " +
                                   levelText(only->level) + ", which no longer holds its texture"
                             : "is the edit of a texture (" + std::to_string(entry.width) + "x" +
                                   std::to_string(entry.height) + ") that is in no level of " +
                                   displayPath(run.request.game)});
    }
}

// The same file, unchanged, as when it was scanned.
std::optional<ExtractError> checkSame(const fs::path& file, const FileIdentity& before,
                                      const FileIdentity& now)
{
    if (now.sameFileAs(before) && now.size == before.size && now.changed == before.changed)
        return std::nullopt;
    return ExtractError{ErrorKind::SourceRead, file,
                        "The source file \"" + displayPath(file) +
                            "\" changed while the pack was applied; nothing was put in place"};
}

// Writes the new level `index` through `produce`'s writer: the source with its replacements.
bool copyOne(PackRun& run, std::size_t index, const RawFile& source, FileWriter& writer,
             std::optional<ExtractError>& failure)
{
    LevelPutBack& level = run.outcome.levels[index];
    PutBackRequest again;
    again.fit = run.request.fit;
    again.folder = run.request.folder;
    EditedFolder folder;
    folder.path = run.request.folder;
    std::error_code ec;
    if (!run.direct)
        folder.dir = RawDir::open(run.request.folder, ec);
    const auto reload = [&](Replacement& replacement) -> std::optional<ExtractError> {
        if (run.direct) {
            // Each file is read again in its own folder, one folder open at a time.
            folder.path = folderOf(replacement.file);
            folder.dir = RawDir::open(folder.path, ec);
            again.folder = folder.path;
        }
        if (ec)
            return makeError(
                ErrorKind::SourceOpen, folder.path,
                run.direct ? "Cannot read the edit's folder" : "Cannot read the pack folder", ec);
        const auto& originals = run.originals[index];
        const auto original = std::lower_bound(
            originals.begin(), originals.end(), replacement.number,
            [](const ImageInfo& image, std::uint64_t n) { return image.number < n; });
        return reloadReplacement(again, folder, source, *original, run.events, replacement);
    };
    LevelParts parts{
        level.level.file,       level.into, source, run.sourceIds[index], level.outcome.images,
        level.outcome.replaced, reload};
    return copyLevel(parts, writer, run.events, run.stopped, failure);
}

// Opens level `index` again, as it was scanned, for the writing.
std::optional<ExtractError> reopen(PackRun& run, std::size_t index, RawFile& source)
{
    FileIdentity now;
    if (auto error = openLevel(run.outcome.levels[index].level, source, now, run.stopped);
        error || run.stopped)
        return error;
    return checkSame(run.outcome.levels[index].level.file, run.sourceIds[index], now);
}

std::optional<ExtractError> writeOneLevel(PackRun& run)
{
    RawFile source;
    if (auto error = reopen(run, 0, source); error || run.stopped)
        return error;
    std::optional<ExtractError> refused;
    LockedFolder target = LockedFolder::openBeside(run.request.into, run.sourceIds[0],
                                                   "the new level", "run", refused);
    if (refused)
        return refused;
    std::optional<ExtractError> failure;
    std::optional<ExtractError> error =
        target.writeFile(run.request.into.filename(), "the new level", [&](FileWriter& writer) {
            return copyOne(run, 0, source, writer, failure);
        });
    return failure ? failure : error;
}

std::optional<ExtractError> writeLevels(PackRun& run)
{
    NewGameFolder written(run.request.into);
    std::optional<ExtractError> error = written.begin();
    // The writing pass goes through the changed levels only, each announced as it begins.
    const auto changing = static_cast<std::size_t>(
        std::count_if(run.outcome.levels.begin(), run.outcome.levels.end(),
                      [](const LevelPutBack& level) { return level.changes(); }));
    std::size_t step = 0;
    for (std::size_t i = 0; !error && !run.stopped && i < run.outcome.levels.size(); ++i) {
        if (!run.outcome.levels[i].changes())
            continue;
        run.events.onLevel({step++, changing, run.outcome.levels[i].level.relative, false});
        run.stopped = !run.events.keepGoing();
        RawFile source;
        if (!run.stopped)
            error = reopen(run, i, source);
        if (error || run.stopped)
            break;
        std::optional<ExtractError> failure;
        bool complete = false;
        error = written.write(
            run.outcome.levels[i].level.relative, "the new level",
            [&](FileWriter& writer) { return copyOne(run, i, source, writer, failure); }, complete);
        if (failure)
            error = std::move(failure);
    }
    if (!error && !run.stopped && !run.events.keepGoing())
        run.stopped = true;
    if (!error && !run.stopped)
        error = written.place();
    if (!written.placed()) {
        if (auto left = written.discard()) {
            if (error)
                error->message += "; " + left->message;
            else
                error = std::move(left);
        }
    }
    return error;
}

GamePutBackOutcome ended(GamePutBackOutcome& outcome, PutBackStatus status,
                         std::optional<ExtractError> error = std::nullopt)
{
    outcome.status = error ? PutBackStatus::Failed : status;
    outcome.error = std::move(error);
    return std::move(outcome);
}

// The new levels' place refused before anything is read (in a dry run too, when named).
std::optional<ExtractError> refuseTarget(const GamePutBackRequest& request, bool asLevel)
{
    if (request.into.empty() || asLevel)
        return std::nullopt;
    std::error_code ec;
    const fs::path game = fs::weakly_canonical(request.game, ec);
    const fs::path into = fs::weakly_canonical(request.into, ec);
    const auto [gameEnd, intoAt] =
        std::mismatch(game.begin(), game.end(), into.begin(), into.end());
    (void)intoAt;
    if (!ec && gameEnd == game.end())
        return ExtractError{ErrorKind::OutputIsSource, request.into,
                            "The new levels would be written into the game folder \"" +
                                displayPath(request.game) + "\" itself (at \"" +
                                displayPath(request.into) + "\"); choose a folder outside it"};
    return refuseForeignFolder(request.into);
}

// Finds the entries' places in every level, judges them and writes what changes.
GamePutBackOutcome applyEntries(PackRun& run)
{
    const GamePutBackRequest& request = run.request;
    GamePutBackOutcome& outcome = run.outcome;
    RunEvents& events = run.events;
    for (std::size_t i = 0; i < run.entries.size(); ++i)
        run.byTexture.emplace(run.entries[i].texture, i);
    run.only.resize(run.entries.size());
    run.found.assign(run.entries.size(), false);
    if (auto error = findPackLevels(run))
        return ended(outcome, PutBackStatus::Failed, std::move(error));
    for (std::size_t i = 0; i < outcome.levels.size() && !run.stopped; ++i) {
        events.onLevel({i, outcome.levels.size(), outcome.levels[i].level.relative, true});
        if (auto error = planLevel(run, i))
            return ended(outcome, PutBackStatus::Failed, std::move(error));
    }
    if (run.stopped || !events.keepGoing())
        return ended(outcome, PutBackStatus::Stopped);
    tellUnfound(run);
    const bool refused =
        !outcome.refused.empty() ||
        std::any_of(outcome.levels.begin(), outcome.levels.end(),
                    [](const LevelPutBack& level) { return !level.outcome.refused.empty(); });
    if (refused)
        return ended(outcome, PutBackStatus::Refused);
    const bool changes = std::any_of(outcome.levels.begin(), outcome.levels.end(),
                                     [](const LevelPutBack& level) { return level.changes(); });
    if (request.dryRun || !changes)
        return ended(outcome, request.dryRun ? PutBackStatus::DryRun : PutBackStatus::Written);
    std::optional<ExtractError> error = run.asLevel ? writeOneLevel(run) : writeLevels(run);
    if (error)
        return ended(outcome, PutBackStatus::Failed, std::move(error));
    return ended(outcome, run.stopped ? PutBackStatus::Stopped : PutBackStatus::Written);
}

} // namespace

GamePutBackOutcome applyPack(const GamePutBackRequest& request, bool asLevel, RunEvents& events)
{
    GamePutBackOutcome outcome;
    PackRun run{request, asLevel, events, outcome};
    if (auto error = refuseTarget(request, asLevel))
        return ended(outcome, PutBackStatus::Failed, std::move(error));
    PackRead read = readPack(request.folder);
    if (read.error)
        return ended(outcome, PutBackStatus::Failed, std::move(read.error));
    run.entries = std::move(read.entries);
    for (const PackEntry& entry : run.entries)
        run.files.push_back(request.folder / entry.file);
    std::error_code ec;
    run.pack = RawDir::open(request.folder, ec);
    if (ec)
        return ended(outcome, PutBackStatus::Failed,
                     makeError(ErrorKind::SourceOpen, request.folder, "Cannot open the pack", ec));
    return applyEntries(run);
}

GamePutBackOutcome applyEdits(const GamePutBackRequest& request,
                              const std::vector<TextureEdit>& edits, bool asLevel,
                              RunEvents& events)
{
    GamePutBackOutcome outcome;
    PackRun run{request, asLevel, events, outcome};
    if (auto error = refuseTarget(request, asLevel))
        return ended(outcome, PutBackStatus::Failed, std::move(error));
    run.direct = true;
    for (const TextureEdit& edit : edits) {
        run.entries.push_back({edit.texture, edit.width, edit.height, edit.components, {}});
        run.files.push_back(edit.file);
        run.only.push_back(edit.only);
    }
    return applyEntries(run);
}

} // namespace glintmark::features
