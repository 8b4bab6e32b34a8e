#pragma once

#include "features/LevelOutcome.h"
#include "features/game/GameTextures.h"

#include <filesystem>

namespace glintmark::cli {

using features::CheckedImage;
using features::LevelOutcome;

// What goes to standard output, written as the run goes. Without --check or --gallery each image
// is written as it is found, so a run of any number of images holds none of them; with either,
// the run keeps every image's record (not its bytes) and hands them over once they are decoded
// or shown, in order, before endSource().
class Report
{
public:
    virtual ~Report() = default;
    // A source is about to be read into `folder`.
    virtual void beginSource(const std::filesystem::path& source,
                             const std::filesystem::path& folder) = 0;
    // One of its images is complete.
    virtual void image(const CheckedImage& image) = 0;
    // Its run has ended, however it ended.
    virtual void endSource(const LevelOutcome& outcome) = 0;
    // The sources were a game's levels: its textures, told once before finish().
    virtual void textures(const features::GameTextures& textures) { (void)textures; }
    // No more sources follow; the output is complete.
    virtual void finish() = 0;
};

} // namespace glintmark::cli
