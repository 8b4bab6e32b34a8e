#pragma once

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

} // namespace glintmark::fuzz
