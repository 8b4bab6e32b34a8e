#pragma once

#include "engine/jpeg/JpegStructure.h"

#include <cstdio>
#include <cstdlib>

namespace glintmark::fuzz {

// Stops the fuzzer with `what` when a property does not hold; libFuzzer then saves the input
// and reports it as a crash, so a broken property fails as loudly as a sanitizer report.
inline void require(bool holds, const char* what)
{
    if (!holds) {
        std::fprintf(stderr, "broken property: %s\n", what);
        std::abort();
    }
}

// Whether two readings of an image found the same in every field.
inline bool sameStructure(const JpegStructure& a, const JpegStructure& b)
{
    return a.width == b.width && a.height == b.height && a.components == b.components &&
           a.precision == b.precision && a.coding == b.coding && a.arithmetic == b.arithmetic &&
           a.hasFrame == b.hasFrame && a.scans == b.scans && a.end == b.end &&
           a.problem == b.problem && a.problemAt == b.problemAt;
}

} // namespace glintmark::fuzz
