#pragma once

#include "features/game/TextureIndex.h"

#include <functional>
#include <string_view>

namespace glintmark::features {

// Writes the index as JSON (textures.json, and the "textures" member of the command line's JSON
// report), handed to `out` in pieces of about 64 KiB: {"version": 2, "complete": whether every
// folder of the game was read, "unread": [{"folder", "message"}, ...] the folders that were not,
// "levels": [paths], "textures": [{"sha256",
// "width", "height", "bytes", "in": [{"level", "number", "offset"}, ...]}, ...]}, one texture a
// line, each level named by levelText(), which keeps every byte of a name.
// `keepGoing` is asked between textures; false ends the text early (and incomplete). False when
// it ended early or `out` refused a piece.
bool writeIndexJson(const TextureIndex& index, const std::function<bool(std::string_view)>& out,
                    const std::function<bool()>& keepGoing);

} // namespace glintmark::features
