#pragma once

#include "features/RunEvents.h"
#include "features/putback/GamePutBack.h"
#include "features/putback/PackWriter.h"
#include "features/putback/PutBack.h"

#include <filesystem>
#include <optional>
#include <variant>

namespace glintmark::features {

// What the user asked to put back, and where: into one level, or into every level of a game
// folder.
struct PutBackSettings
{
    std::filesystem::path source; // the level, or the game folder, the images came from
    std::filesystem::path folder; // the edited images, as the extraction left them
    std::filesystem::path into;   // the new level, or the folder of the new levels
    bool fit = false;             // encode again what does not fit or is coded otherwise
    bool dryRun = false;          // say what would be done; write nothing
    bool ignoreUnmatched = false; // pass over files that match no image instead of refusing them
    bool everywhere = false;      // a game's edit goes wherever its original's texture is
    // When not empty: the folder the edits that go back are written to as a pack, once the run
    // has written its level(s) or, in a dry run, has judged them.
    std::filesystem::path pack{};
};

// A put-back into one level: what was asked of it and what it did.
struct LevelPutBackRun
{
    PutBackRequest request;
    PutBackOutcome outcome;
};

// A put-back into a game: what was asked of it and what it did.
struct GamePutBackRun
{
    GamePutBackRequest request;
    GamePutBackOutcome outcome;
};

// What a put-back did: into a level or into a game, or nothing at all when the settings were
// refused before anything was read.
struct PutBackRun
{
    // `everywhere` was asked for a source that is not a game folder; nothing was read.
    bool everywhereNeedsGame = false;
    std::variant<std::monostate, LevelPutBackRun, GamePutBackRun> run;
    // The folder of edits was a pack (it holds pack.json), applied to the level or the game
    // (applyPack): the run is a GamePutBackRun whatever the source.
    bool fromPack = false;
    // The pack folder cannot be replaced (it is no pack and not empty, or no folder); nothing
    // was read.
    std::optional<ExtractError> packRefused{};
    // What writing the pack did, when one was asked for and the run came to it.
    std::optional<PackWritten> pack{};

    // How it ended; Refused when the settings were, Failed or Stopped as the pack's writing was.
    PutBackStatus status() const;
};

// Puts the edited images back into the source: into every level of it when it is a game folder
// (putBackGame), into the one level otherwise (putBack). --everywhere needs a game. A folder
// holding pack.json is a pack, applied to the level or the game (applyPack). With a pack
// asked for, a run that was written (or a dry run that would be) then writes the edits that go
// back as that pack (writePack); a refused, failed or stopped run writes none.
PutBackRun putBackSource(const PutBackSettings& settings, RunEvents& events);

} // namespace glintmark::features
