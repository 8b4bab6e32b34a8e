#include "engine/Percent.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace {

struct PercentCase
{
    std::uint64_t done;
    std::uint64_t total;
    int percent;
};

TEST(PercentOf, RoundsDownAndStaysWithinRange)
{
    constexpr std::uint64_t max = std::numeric_limits<std::uint64_t>::max();
    constexpr std::uint64_t gib4 = std::uint64_t{1} << 32;
    const PercentCase cases[] = {
        {0, 100, 0},
        {1, 100, 1},
        {99, 100, 99},
        {100, 100, 100},
        {150, 100, 100},
        {0, 0, 100},
        {5, 0, 100},
        {1, 3, 33},
        {2, 3, 66},
        {999, 1000, 99},
        {1, 1000, 0},
        {1000, 50, 100},
        {gib4, gib4 + 1, 99},
        {gib4 / 2, gib4, 50},
        {max - 1, max, 99},
        {max / 2, max, 49},
        {max / 2 + 1, max, 50},
        {1, max, 0},
        {max / 100, max, 0},
        {max / 100 + 1, max, 1},
    };
    for (const PercentCase& c : cases)
        EXPECT_EQ(glintmark::percentOf(c.done, c.total), c.percent) << c.done << " of " << c.total;
}

} // namespace
