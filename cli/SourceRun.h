#pragma once

#include "engine/Extraction.h"

#include <filesystem>
#include <iosfwd>
#include <string_view>
#include <vector>

namespace glintmark::cli {

// Every image file is named this stem, a number of at least four digits and this extension.
inline constexpr std::string_view kImageStem = "Vorlesk_";
inline constexpr std::string_view kImageExt = ".jpg";

// What became of one source.
struct SourceOutcome
{
    std::filesystem::path source;
    std::filesystem::path folder; // where its images went (list mode: would go)
    ExtractResult result;
    std::vector<ImageInfo> images; // filled only when asked for
};

// How to run each source.
struct SourceRunSettings
{
    RunMode mode = RunMode::Write;
    bool collectImages = false;
    bool trim = false;    // write each image only through its end marker
    bool check = false;   // decode every image (needs collectImages)
    bool gallery = false; // write the gallery page (needs collectImages; write mode only)
    // Where to draw a progress bar; none when null.
    std::ostream* progressStream = nullptr;
};

// The job that extracts `source` into `folder`.
ExtractJob makeJob(const std::filesystem::path& source, const std::filesystem::path& folder);

// Extracts one source into `folder`, creating the folder (with its parents) first when writing.
SourceOutcome extractSource(const std::filesystem::path& source,
                            const std::filesystem::path& folder, const SourceRunSettings& settings);

} // namespace glintmark::cli
