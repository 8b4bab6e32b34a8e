#pragma once

#include "engine/ExtractError.h"

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
};

// Every level database (`*.ldb`, in any letter case) below `gameDir`, at any depth, sorted by
// relative path. Links to folders are not followed; a link to a file counts only when the file
// lies inside `gameDir`, so nothing outside the game is ever read. A folder that cannot be read
// sets `error`, naming it, and the list found so far is returned; so does a stop (`keepGoing`
// turning false), without an error.
std::vector<GameLevel> findLevels(const std::filesystem::path& gameDir,
                                  const std::function<bool()>& keepGoing,
                                  std::optional<ExtractError>& error);

// Where a level's images go below the game's output folder: its relative path without the
// extension, so that levels of the same name in different folders never share one.
std::filesystem::path levelFolderName(const std::filesystem::path& relative);

} // namespace glintmark::features
