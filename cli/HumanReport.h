#pragma once

#include "cli/SourceRun.h"

#include <iosfwd>
#include <string>

namespace glintmark::cli {

// The closing line for a source, such as "42 textures extracted from levels/a.ldb into out/a"
// (list mode: "42 textures found in levels/a.ldb"); after decoding, "; 40 whole, 2 damaged".
std::string summaryLine(const SourceOutcome& outcome, RunMode mode);

// The lines for a failed source: the error itself and, when images were kept, where they are.
std::string errorLines(const SourceOutcome& outcome, RunMode mode);

// How an image stands, for people: "whole", "whole + 120 bytes", "cut short: cut inside the
// image data at byte 4000", "damaged: bad segment length at byte 20".
std::string statusText(const ImageInfo& image);

// Writes the source's name and an aligned table of its images' numbers, offsets, sizes,
// dimensions and status (and, after decoding, whether each decodes).
void writeImageTable(std::ostream& out, const SourceOutcome& outcome);

} // namespace glintmark::cli
