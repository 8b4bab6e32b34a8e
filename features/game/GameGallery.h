#pragma once

#include "engine/ExtractError.h"
#include "features/game/TextureIndex.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace glintmark {
class LockedFolder;
}

namespace glintmark::features {

// Writes the game's gallery page (kGalleryName) through the game's open output folder: each
// distinct texture once, as a lazily loaded thumbnail of the first file that holds it, with its
// dimensions, size and digest, and every level and number that uses it, each linked to its file.
// `levelFolders` gives, for each level of the index, its folder relative to the page; `title`
// heads the page. A few lines of plain script sort and filter it. The page replaces the old one
// only once complete; when `keepGoing` turns false on the way, the old page stays.
std::optional<ExtractError> writeGameGallery(const TextureIndex& index,
                                             const std::vector<std::filesystem::path>& levelFolders,
                                             const std::string& title, LockedFolder& folder,
                                             const std::function<bool()>& keepGoing);

} // namespace glintmark::features
