#pragma once

#include "engine/Extraction.h"

#include <filesystem>
#include <functional>
#include <iosfwd>
#include <string_view>

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
};

// How to run each source.
struct SourceRunSettings
{
    RunMode mode = RunMode::Write;
    // Where to draw a progress bar; none when null.
    std::ostream* progressStream = nullptr;
    // Hears of every complete image as soon as it is complete (may be empty).
    std::function<void(const ImageInfo&)> onImage;
    // Asked after every block; false stops the run there (may be empty).
    std::function<bool()> keepGoing;
};

// The job that extracts `source` into `folder`.
ExtractJob makeJob(const std::filesystem::path& source, const std::filesystem::path& folder);

// Extracts one source into `folder`; when writing, the folder is created (with its parents) once
// the source has been opened.
SourceOutcome extractSource(const std::filesystem::path& source,
                            const std::filesystem::path& folder, const SourceRunSettings& settings);

} // namespace glintmark::cli
