#pragma once

#include "cli/SourceRun.h"

#include <filesystem>

namespace glintmark::cli {

// What goes to standard output, written as the run goes: nothing of it waits for the end, so a
// run of any number of images holds no more than one of them in memory.
class Report
{
public:
    virtual ~Report() = default;
    // A source is about to be read into `folder`.
    virtual void beginSource(const std::filesystem::path& source,
                             const std::filesystem::path& folder) = 0;
    // One of its images is complete.
    virtual void image(const ImageInfo& image) = 0;
    // Its run has ended, however it ended.
    virtual void endSource(const SourceOutcome& outcome) = 0;
    // No more sources follow; the output is complete.
    virtual void finish() = 0;
};

} // namespace glintmark::cli
