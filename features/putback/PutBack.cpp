#include "features/putback/PutBack.h"

#include "engine/Extraction.h"
#include "engine/LockedFolder.h"
#include "engine/io/PathText.h"
#include "engine/names/ImageNames.h"
#include "features/game/IndexJson.h"
#include "features/game/TextureIndex.h"
#include "features/putback/EditIndex.h"
#include "features/putback/EditPlaces.h"
#include "features/putback/LevelCopy.h"
#include "features/putback/ReplacementPlan.h"

namespace glintmark::features {
namespace {

namespace fs = std::filesystem;

PutBackOutcome ended(PutBackOutcome outcome, PutBackStatus status)
{
    outcome.status = status;
    return outcome;
}

PutBackOutcome failed(PutBackOutcome outcome, ExtractError error)
{
    outcome.status = PutBackStatus::Failed;
    outcome.error = std::move(error);
    return outcome;
}

// A new level named among the edited images (an image's name or one near it, or a hidden part
// name) in their own folder would take an edit's place, or be swept as a leftover.
std::optional<ExtractError> refuseNameAmongEdits(const PutBackRequest& request)
{
    const std::filesystem::path name = request.into.filename();
    const std::string text = displayPath(name);
    const std::filesystem::path stem(std::string{kImageStem});
    const bool hiddenPart =
        text.size() > 6 && text.front() == '.' && text.compare(text.size() - 5, 5, ".part") == 0;
    if (!imageNumber(name, stem, kImageExt) && !pngEditNumber(name) && !nearImageName(name) &&
        !hiddenPart)
        return std::nullopt;
    const std::filesystem::path folder = request.into.parent_path().empty()
                                             ? std::filesystem::path(".")
                                             : request.into.parent_path();
    std::error_code ec;
    if (!std::filesystem::equivalent(folder, request.folder, ec))
        return std::nullopt;
    return ExtractError{ErrorKind::ImageCreate, request.into,
                        "Cannot create the new level \"" + displayPath(request.into) +
                            "\": that name belongs to the edited images in " +
                            displayPath(request.folder) + "; it was left untouched"};
}

// The index's record of the level `source`: the only level it lists (the level may have been
// renamed since), or the one named as the file is; null when it lists others only.
const IndexedLevel* indexedLevelOf(const EditIndex& index, const fs::path& source)
{
    if (index.levels.size() == 1)
        return &index.levels.begin()->second;
    return index.level(levelText(source.filename()));
}

ExtractError notIndexed(const EditIndex& index, const fs::path& source)
{
    return ExtractError{ErrorKind::SourceOpen, index.file,
                        "The index \"" + displayPath(index.file) + "\" lists " +
                            std::to_string(index.levels.size()) + " levels, none named " +
                            levelText(source.filename()) +
                            ", so the edits beside it cannot be tied to " + displayPath(source) +
                            "'s textures"};
}

// Reads the folder's index and the level once, and ties each edited file to its place in the
// level now (`found`), by texture when the index has the level, by number otherwise.
std::optional<ExtractError> findEdits(const PutBackRequest& request, RawFile& source,
                                      const FileIdentity& sourceId, const EditedFolder& edited,
                                      RunEvents& events, LevelEdits& found, bool& stopped)
{
    EditScan wanted;
    wanted.numbers = edited.numbers;
    wanted.levelName = displayPath(request.source);
    wanted.hashTextures = request.recordTextures;
    const EditIndexRead index = readEditIndex(request.folder / std::string(kIndexName));
    if (index.error)
        return index.error;
    if (index.index) {
        wanted.indexed = indexedLevelOf(*index.index, request.source);
        if (wanted.indexed == nullptr)
            return notIndexed(*index.index, request.source);
    }
    std::optional<ExtractError> scanned =
        scanForEdits(request.source, source, sourceId, wanted, events, found, stopped);
    if (!index.index && !edited.numbers.empty())
        found.since.byNumber = index.byNumber;
    return scanned;
}

} // namespace

PutBackOutcome putBack(const PutBackRequest& request, RunEvents& events)
{
    PutBackOutcome outcome;
    std::error_code ec;
    RawFile source = RawFile::openForReading(request.source, ec);
    if (ec == std::errc::interrupted)
        return ended(std::move(outcome), PutBackStatus::Stopped);
    if (ec)
        return failed(std::move(outcome), makeError(ErrorKind::SourceOpen, request.source,
                                                    "Cannot open the source file", ec));
    FileIdentity sourceId;
    if (auto refused = refuseSource(request.source, source, sourceId))
        return failed(std::move(outcome), std::move(*refused));

    // The target is refused before anything is read or written (in a dry run too, when named).
    std::optional<ExtractError> refused;
    std::optional<LockedFolder> target;
    if (!request.dryRun || !request.into.empty()) {
        if (auto amongEdits = refuseNameAmongEdits(request))
            return failed(std::move(outcome), std::move(*amongEdits));
        target.emplace(
            LockedFolder::openBeside(request.into, sourceId, "the new level", "run", refused));
        if (refused)
            return failed(std::move(outcome), std::move(*refused));
    }

    EditedFolder edited;
    if (auto error = openEditedFolder(request, edited))
        return failed(std::move(outcome), std::move(*error));
    LevelEdits found;
    bool stopped = false;
    std::optional<ExtractError> scanned =
        findEdits(request, source, sourceId, edited, events, found, stopped);
    outcome.images = found.images;
    outcome.since = found.since;
    if (scanned)
        return failed(std::move(outcome), std::move(*scanned));
    if (stopped)
        return ended(std::move(outcome), PutBackStatus::Stopped);

    if (auto error =
            planEdits(request, edited, source, found.named, found.targets, events, outcome))
        return failed(std::move(outcome), std::move(*error));
    if (request.recordTextures)
        recordTextures(found.targets, outcome);
    if (!events.keepGoing())
        return ended(std::move(outcome), PutBackStatus::Stopped);
    if (!outcome.refused.empty())
        return ended(std::move(outcome), PutBackStatus::Refused);
    if (request.dryRun)
        return ended(std::move(outcome), PutBackStatus::DryRun);

    std::optional<ExtractError> failure;
    std::optional<ExtractError> error =
        target->writeFile(request.into.filename(), "the new level", [&](FileWriter& writer) {
            LevelParts level{request.source,
                             request.into,
                             source,
                             sourceId,
                             found.images,
                             outcome.replaced,
                             [&](Replacement& replacement) {
                                 return reloadReplacement(request, edited, source,
                                                          found.original(replacement.number),
                                                          events, replacement);
                             }};
            return copyLevel(level, writer, events, stopped, failure);
        });
    if (failure)
        error = std::move(failure);
    if (error)
        return failed(std::move(outcome), std::move(*error));
    return ended(std::move(outcome), stopped ? PutBackStatus::Stopped : PutBackStatus::Written);
}

} // namespace glintmark::features
