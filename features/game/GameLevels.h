#pragma once

#include "engine/ExtractError.h"
#include "engine/io/RawDir.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

namespace glintmark::features {

// One level of a game folder.
struct GameLevel
{
    std::filesystem::path file;     // the level, as the game folder was spelled plus its path
    std::filesystem::path relative; // its path inside the game folder ("maps/castle.ldb")
    // The path inside the game folder of the file read for it: `relative`, or for a link the
    // file the link leads to.
    std::filesystem::path inside;
    // That file as the listing found it (device, index, kind), when the game folder was given
    // open; kind Missing when it could not be looked at.
    FileIdentity identity;
};

// A folder inside a game that could not be read, so that levels in it may be missing.
struct UnreadFolder
{
    std::filesystem::path relative; // its path inside the game folder ("maps/locked")
    ExtractError error;             // names the folder and the system's reason
};

// Every level database (`*.ldb`, in any letter case) below `gameDir`, at any depth, sorted by
// relative path. Links to folders are not followed; a link to a file counts only when the file
// lies inside `gameDir`, so nothing outside the game is ever read. A game folder that cannot be
// opened sets `error`, naming it. A folder inside it that cannot be read is added to `unread`
// (in sorted order) and the search goes on past it; without `unread`, it sets `error` and the
// list found so far is returned. A stop (`keepGoing` turning false) returns what was found,
// without an error. With `opened`, the game folder opened, each level's file is looked at
// through it and its identity recorded.
std::vector<GameLevel> findLevels(const std::filesystem::path& gameDir,
                                  const std::function<bool()>& keepGoing,
                                  std::optional<ExtractError>& error,
                                  std::vector<UnreadFolder>* unread = nullptr,
                                  const RawDir* opened = nullptr);

// Where a level's images go below the game's output folder: its relative path without the
// extension, so that levels of the same name in different folders never share one.
std::filesystem::path levelFolderName(const std::filesystem::path& relative);

} // namespace glintmark::features
