#pragma once

#include "engine/Extraction.h"
#include "engine/names/ImageNames.h"

#include <filesystem>
#include <functional>
#include <iosfwd>
#include <string_view>
#include <vector>

namespace glintmark::cli {

// What became of one source.
struct SourceOutcome
{
    std::filesystem::path source;
    std::filesystem::path folder; // where its images went (list mode: would go)
    ExtractResult result;
    // Every image, kept only when they are decoded or shown in a gallery after the run.
    std::vector<ImageInfo> images;
};

// How to run each source.
struct SourceRunSettings
{
    RunMode mode = RunMode::Write;
    bool trim = false;    // write each image only through its end marker
    bool check = false;   // decode every image once the source has been read
    bool gallery = false; // write the gallery page (write mode only)
    // Where to draw a progress bar; none when null.
    std::ostream* progressStream = nullptr;
    // Hears of every complete image as soon as it is complete, or, when the images are decoded
    // or shown in a gallery, once that is done (may be empty).
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
