#pragma once

#include "engine/Extraction.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

namespace glintmark::cli {

// How many threads decode at once: GLINTMARK_CHECK_THREADS when set to a number from 1 to 64,
// otherwise one per processor.
unsigned checkThreadCount();

// Decodes every image in full, reading its bytes from `source` at its offset, and fills in
// `decodes` and `decodeError`. `onProgress` (may be empty) hears after each image the calling
// thread decodes. Fails only when the source cannot be read.
std::optional<ExtractError> checkImages(const std::filesystem::path& source,
                                        std::vector<ImageInfo>& images, unsigned threads,
                                        const std::function<void(const Progress&)>& onProgress);

} // namespace glintmark::cli
