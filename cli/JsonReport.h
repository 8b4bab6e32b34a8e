#pragma once

#include "cli/SourceRun.h"

#include <string>
#include <vector>

namespace glintmark::cli {

// One JSON document describing every source's run: its folder, status, count, images and
// error. File names that are not valid UTF-8 come out with replacement characters.
std::string jsonReport(const std::vector<SourceOutcome>& outcomes, RunMode mode);

} // namespace glintmark::cli
