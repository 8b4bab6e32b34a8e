#pragma once

#include "features/game/SourcesRunTypes.h"

namespace glintmark::features {

// The name of a game's index of its distinct textures, beside its levels' folders.
inline constexpr std::string_view kIndexName = "textures.json";

// Extracts (or lists) every source: game folders are opened up into their levels, each level
// gets its folder (its path in the game without the extension; with several sources, a file's
// name without it), and the sources are checked against each other's folders before the first
// byte is read. A game's output folder is locked for the whole run, and once every level is in
// place the game's index (kIndexName) and, with `gallery`, its page are written there. The
// levels run one by one through extractLevel(); `events` hears each step, and its keepGoing()
// ends the run within moments, keeping what is complete.
SourcesOutcome runSources(const SourcesRequest& request, SourcesEvents& events);

} // namespace glintmark::features
