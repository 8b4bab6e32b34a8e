#pragma once

#include "cli/SourceRun.h"

#include <optional>

namespace glintmark::cli {

// The gallery page's file name inside each output folder.
inline constexpr std::string_view kGalleryName = "index.html";

// Writes the gallery page into the source's output folder: every image as a lazily loaded
// thumbnail of its own file, with its number, dimensions, size, offset and status, and a few
// lines of plain script to sort and filter them. It needs nothing but the folder, also offline.
std::optional<ExtractError> writeGallery(const SourceOutcome& outcome);

} // namespace glintmark::cli
