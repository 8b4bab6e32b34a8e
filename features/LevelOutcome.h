#pragma once

#include "engine/ExtractTypes.h"
#include "features/ImageStatus.h"

#include <filesystem>
#include <vector>

namespace glintmark::features {

// What became of one level.
struct LevelOutcome
{
    std::filesystem::path source;
    std::filesystem::path folder; // where its images went (list mode: would go)
    ExtractResult result;
    // Every image, kept only when they are decoded or shown in a gallery after the run.
    std::vector<CheckedImage> images;
};

} // namespace glintmark::features
