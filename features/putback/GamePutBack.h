#pragma once

#include "features/RunEvents.h"
#include "features/game/GameLevels.h"
#include "features/putback/PutBack.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

namespace glintmark::features {

// What the user asked to put back into a whole game, and where.
struct GamePutBackRequest
{
    std::filesystem::path game;   // the game folder whose levels the images came from; only read
    std::filesystem::path folder; // the extraction: each level's images in a folder of its own
    std::filesystem::path into;   // the folder the changed levels are written into, as in the game
    bool fit = false;             // encode again what does not fit or is coded otherwise
    bool dryRun = false;          // say what would be done; write nothing
    bool ignoreUnmatched = false; // pass over files that match no image instead of refusing them
    bool everywhere = false;      // an edit goes wherever its original's texture is, in any level
    // The most bytes of replacements kept in memory, over all levels, from the comparing to the
    // writing; those beyond it are read and encoded again as the writing reaches them.
    std::uint64_t heldBytes = std::uint64_t{64} << 20;
    // Record, in each level's outcome, the texture of each edit's original (as putBack() does).
    bool recordTextures = false;
};

// One level of the game and what becomes of it.
struct LevelPutBack
{
    GameLevel level;
    std::filesystem::path folder; // its edited images; empty when the extraction has none
    std::filesystem::path into;   // the new level, `into` joined with its relative path
    // Its images, its unchanged and refused files and the replacements that go into it (each
    // naming its edited file, which with --everywhere may lie in another level's folder), in
    // ascending order of offset. Its status and error are not used: the game's are.
    PutBackOutcome outcome;

    // Whether a new level is (or would be) written for it.
    bool changes() const { return !outcome.replaced.empty(); }
};

// An edited file that is one file under several levels' folders (hard links, as --dedupe makes
// them): an edit of it is an edit in each of those levels.
struct SharedEdit
{
    std::vector<std::filesystem::path> files{};  // each of its names, in the order of the levels
    std::vector<std::filesystem::path> levels{}; // the relative paths of those levels
};

// An edit put back in its own level only, whose texture the extraction's index lists in other
// levels too: they keep the texture as it was (--everywhere would replace it there as well).
struct UsedElsewhere
{
    std::filesystem::path file{};  // the edited file
    std::filesystem::path level{}; // the relative path of the level it goes into
    std::size_t otherLevels = 0;   // the other levels the index lists the texture in
};

// What a put-back into a game did or would do.
struct GamePutBackOutcome
{
    PutBackStatus status = PutBackStatus::Failed;
    std::vector<LevelPutBack> levels; // every level of the game, sorted by relative path
    // Edits refused for the game as a whole: a second, different edit of a texture already
    // edited elsewhere (--everywhere), naming both files; a folder of the extraction that holds
    // image files but is no level's, naming the folder.
    std::vector<Refusal> refused;
    // Folders of the extraction that hold image files but are no level's, as the request asked
    // (ignoreUnmatched): each naming the folder, with how many files it holds.
    std::vector<Refusal> passedOver{};
    // Edited files that are one file in several levels' folders, in the order of their first name.
    std::vector<SharedEdit> sharedEdits{};
    // Without --everywhere, each edit whose texture the index lists in other levels, in the
    // order of the levels and their replacements.
    std::vector<UsedElsewhere> usedElsewhere{};
    // When the extraction has edits but no index to go by: why they went by number, so that a
    // change of the levels since the extraction cannot be seen. (Each level's `since` tells the
    // rest.)
    std::string byNumber{};
    std::optional<ExtractError> error;
};

// Compares the edited images of every level of `request.game` (found by findLevels, each in the
// extraction's folder named by levelFolderName) with their originals, as putBack() does for one
// level, and with --everywhere also finds every image of every level whose texture is an edited
// image's original's. Unless a dry run, or anything is refused, it then writes every level that
// changes, checked as one level's is, at its relative path into a hidden folder beside
// `request.into`, and puts that folder in its place by one rename once all are written (a folder
// an earlier put-back made there is replaced whole; anything else there is refused before
// anything is read). A refusal, a failure or a stop leaves `request.into` as it was and no
// hidden folder.
GamePutBackOutcome putBackGame(const GamePutBackRequest& request, RunEvents& events);

} // namespace glintmark::features
