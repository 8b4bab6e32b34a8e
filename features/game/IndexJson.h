#pragma once

#include "features/game/TextureIndex.h"

#include <functional>
#include <string_view>

namespace glintmark::features {

// The name of the index of the textures an extraction cut, beside the images or their folders.
inline constexpr std::string_view kIndexName = "textures.json";

// Writes the index as JSON (textures.json, and the "textures" member of the command line's JSON
// report), handed to `out` in pieces of about 64 KiB: {"version": 3, "complete": whether every
// folder of the game was read, "unread": [{"folder", "message"}, ...] the folders that were not,
// "levels": [paths], "sources": [{"level", "size", "modified"}, ...] each level's file as its run
// opened it (null for what is not a regular file), "textures": [{"sha256", "width", "height",
// "bytes", "in": [{"level", "number", "offset", "written"}, ...]}, ...]}, one texture a line,
// each level named by levelText(), which keeps every byte of a name.
// `keepGoing` is asked between textures; false ends the text early (and incomplete). False when
// it ended early or `out` refused a piece.
bool writeIndexJson(const TextureIndex& index, const std::function<bool(std::string_view)>& out,
                    const std::function<bool()>& keepGoing);

} // namespace glintmark::features
