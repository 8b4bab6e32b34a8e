#pragma once

#include "features/game/IndexJson.h"
#include "features/game/SourcesRunTypes.h"

namespace glintmark::features {

// Extracts (or lists) every source: game folders are opened up into their levels, each level
// gets its folder (its path in the game without the extension; with several sources, a file's
// name without it), and the sources are checked against each other's folders before the first
// byte is read. Writing, unless `index` is off, every run records what it cut in an index
// (kIndexName): a level written straight into the output folder writes it there through its own
// run, at its end; levels each in a folder of their own (a game, several files,
// `folderPerSource`) have the output folder locked for the whole run, and once every level is
// in place the index and, for a game with `gallery`, the game's page are written there. The
// levels run one by one through extractLevel(); `events` hears each step, and its keepGoing()
// ends the run within moments, keeping what is complete.
SourcesOutcome runSources(const SourcesRequest& request, SourcesEvents& events);

} // namespace glintmark::features
