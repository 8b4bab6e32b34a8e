#pragma once

#include "engine/ExtractError.h"
#include "features/game/GameLevels.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace glintmark::features {

// The sources of a run with every game folder among them opened up into its levels.
struct SourceList
{
    std::vector<std::filesystem::path> files; // the levels to read, in order
    // For each, the folder below the output folder its images go to: a game level's path there
    // without its extension; empty for a file named on the command line.
    std::vector<std::filesystem::path> subfolders;
    // For each, its name in the game's index: its path inside its game, or its file name.
    std::vector<std::filesystem::path> names;
    // For each, how it is opened: a game's level through the game's open folder, as the
    // regular file the listing found there (anything else is refused, named, without waiting
    // for it); empty for a file named on the command line, opened by its path.
    std::vector<std::function<RawFile(std::error_code&)>> openers;
    std::vector<std::uint64_t> sizes; // for each, its size now; 0 when it has none (a pipe)
    std::uint64_t totalBytes = 0;     // all of them
    bool game = false;                // at least one source was a folder
    // Game folders that could not be read or hold no level, and folders inside a game that could
    // not be read, each naming the folder and the reason.
    std::vector<ExtractError> problems;
    // The folders inside a game that could not be read: the levels in them are missing.
    std::vector<UnreadFolder> unread;
};

// Opens up the game folders among `sources` (in their place, each into its levels in sorted
// order); files stay as they are. `keepGoing` turning false ends the search early.
SourceList expandSources(const std::vector<std::filesystem::path>& sources,
                         const std::function<bool()>& keepGoing);

} // namespace glintmark::features
