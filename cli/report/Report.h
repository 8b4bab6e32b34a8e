#pragma once

#include "features/LevelOutcome.h"
#include "features/game/GameTextures.h"

#include "engine/ExtractError.h"

#include <filesystem>
#include <optional>
#include <vector>

namespace glintmark::cli {

using features::CheckedImage;
using features::LevelOutcome;

// How the run over the sources went as a whole, beyond each source's own end.
struct RunSummary
{
    RunStatus status = RunStatus::Completed; // failed when anything failed, stopped at a stop
    // Game folders that could not be read or hold no level, and folders inside a game that
    // could not be read.
    std::vector<ExtractError> problems;
    // The game's own output folder or files could not be used.
    std::optional<ExtractError> error;
};

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
    // How the whole run went, told once before finish().
    virtual void summary(const RunSummary& summary) { (void)summary; }
    // No more sources follow; the output is complete.
    virtual void finish() = 0;
};

} // namespace glintmark::cli
