#pragma once

#include "engine/ExtractError.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <vector>

namespace glintmark::features {

// A folder below a game's extraction that holds image files but is no level's folder.
struct UnmatchedFolder
{
    std::filesystem::path folder{};   // as the extraction was spelled plus its path
    std::filesystem::path relative{}; // its path inside the extraction; empty for the top
    std::uint64_t files = 0;          // the image files in it
};

// Every folder at or below `extraction` (links to folders are not followed) that holds image
// files (named as an extracted image is, or an image file near one: nearMiss) and is none of
// `levelFolders` (each spelled as `extraction` joined with the level's folder name), sorted by
// path, with how many such files each holds. A folder that cannot be read sets `error`, naming
// it; a stop (`keepGoing` turning false) returns what was found so far.
std::vector<UnmatchedFolder>
findUnmatchedFolders(const std::filesystem::path& extraction,
                     const std::set<std::filesystem::path>& levelFolders,
                     const std::function<bool()>& keepGoing, std::optional<ExtractError>& error);

// Why the image files of `unmatched` go nowhere in the game `game`, and what may be wrong.
std::string unmatchedFolderReason(const UnmatchedFolder& unmatched,
                                  const std::filesystem::path& game);

} // namespace glintmark::features
