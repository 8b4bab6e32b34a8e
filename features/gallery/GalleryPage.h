#pragma once

#include "features/LevelOutcome.h"

#include <functional>
#include <optional>

namespace glintmark {
class LockedFolder;
}

namespace glintmark::features {

// The gallery page's file name inside each output folder.
inline constexpr std::string_view kGalleryName = "index.html";

// Writes the gallery page through the run's open output folder: every image as a lazily loaded
// thumbnail of its own file, linked to the file itself, with its number, dimensions, size,
// offset and status, and a few lines of plain script to sort and filter them. It needs nothing
// but the folder, also offline. The page replaces the old one only once complete; when
// `keepGoing` turns false on the way, the old page stays. A level of a game links back to the
// game's page at `gamePage`, relative to the level's folder.
std::optional<ExtractError> writeGallery(const LevelOutcome& outcome, LockedFolder& folder,
                                         const std::function<bool()>& keepGoing,
                                         const std::filesystem::path& gamePage = {});

} // namespace glintmark::features
