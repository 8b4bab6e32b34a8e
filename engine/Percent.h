#pragma once

#include <cstdint>

namespace glintmark {

// Whole per cent of `total` that `done` makes up, rounded down and capped at 100. Nothing to do
// (`total` 0) counts as done. Exact for every 64-bit value.
int percentOf(std::uint64_t done, std::uint64_t total);

} // namespace glintmark
