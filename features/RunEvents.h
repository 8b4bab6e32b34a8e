#pragma once

#include "engine/ExtractTypes.h"
#include "features/ImageStatus.h"

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

// What a front end hears of a run, on the thread that runs it. The run calls; it never waits
// for an answer other than keepGoing(), and nothing a listener does reaches back into the run.
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
    // `phase` has ended: nothing more of it will be reported. May come more than once.
    virtual void onPhaseEnd(Phase phase) { (void)phase; }
    // An image is complete, with its verdict when it was decoded.
    virtual void onImage(const CheckedImage& image) { (void)image; }
    // Asked often; false stops the run within moments, keeping only what is complete.
    virtual bool keepGoing() { return true; }
};

} // namespace glintmark::features
