#pragma once

#include "engine/ExtractTypes.h"
#include "features/ImageStatus.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>

namespace glintmark::features {

// The phases a run of the features goes through, in the order they come.
enum class Phase
{
    Reading,   // the source is read once, from its first byte to its last
    Decoding,  // the images are decoded (--check)
    Comparing, // put-back compares the edited images with their originals
    Writing    // put-back writes the new level
};

// The word reports use for a phase: "reading", "decoding", "comparing", "writing".
const char* phaseName(Phase phase);

// A game's run moving on to the next level of one of its passes over the levels.
struct LevelStep
{
    std::size_t index = 0;      // of the level in the pass, from 0
    std::size_t count = 0;      // the levels the pass goes through
    std::filesystem::path name; // the level's path in the game
    bool searching = false;     // the pass that looks for the edited textures in every level
};

// What a front end hears of a run, on the thread that runs it. The run calls; it never waits
// for an answer other than keepGoing() and imagesToWrite(), and nothing a listener does reaches
// back into the run.
class RunEvents
{
public:
    virtual ~RunEvents() = default;
    // How far `phase` has got; called after every block or every few images.
    virtual void onProgress(Phase phase, const Progress& progress)
    {
        (void)phase;
        (void)progress;
    }
    // The progress that follows is that of the level `step` names, within its pass.
    virtual void onLevel(const LevelStep& step) { (void)step; }
    // `phase` has ended: nothing more of it will be reported. May come more than once.
    virtual void onPhaseEnd(Phase phase) { (void)phase; }
    // An image is complete, with its verdict when it was decoded.
    virtual void onImage(const CheckedImage& image) { (void)image; }
    // Asked often; false stops the run within moments, keeping only what is complete.
    virtual bool keepGoing() { return true; }
    // Asked as a writing run of a level begins: the numbers of its only images to write; the
    // others are read past, and neither told, checked nor indexed. Every image when none.
    virtual std::optional<std::set<std::uint64_t>> imagesToWrite() { return std::nullopt; }
};

} // namespace glintmark::features
