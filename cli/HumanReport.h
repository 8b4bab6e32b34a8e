#pragma once

#include "cli/SourceRun.h"

#include <iosfwd>
#include <string>

namespace glintmark::cli {

// The closing line for a source, such as "42 textures extracted from levels/a.ldb into out/a"
// (list mode: "42 textures found in levels/a.ldb").
std::string summaryLine(const SourceOutcome& outcome, RunMode mode);

// The lines for a failed source: the error itself and, when images were kept, where they are.
std::string errorLines(const SourceOutcome& outcome, RunMode mode);

// Writes the source's name and an aligned table of its images' numbers, offsets and sizes.
void writeImageTable(std::ostream& out, const SourceOutcome& outcome);

} // namespace glintmark::cli
