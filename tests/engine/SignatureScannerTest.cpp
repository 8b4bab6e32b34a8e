#include "engine/jpeg/SignatureScanner.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct ScanCase
{
    std::string data;
    std::size_t from;
    std::size_t end;
    std::size_t found;
};

TEST(SignatureScanner, FindsOnlyWholeSignaturesStartingInTheRange)
{
    constexpr auto npos = glintmark::SignatureScanner::npos;
    const glintmark::SignatureScanner scanner("abc");
    const ScanCase cases[] = {
        {"abc", 0, 1, 0},    {"xxabc", 0, 3, 2},  {"xxabc", 0, 2, npos},
        {"abcabc", 1, 4, 3}, {"aababc", 0, 4, 3}, {"abxabc", 0, 4, 3},
        {"ab", 0, 0, npos},  {"abc", 1, 1, npos}, {"aaaaabc", 0, 5, 4},
    };
    for (const ScanCase& c : cases)
        EXPECT_EQ(scanner.find(c.data.data(), c.from, c.end), c.found)
            << c.data << " [" << c.from << ", " << c.end << ")";
    EXPECT_EQ(glintmark::SignatureScanner("q").find("xxq", 0, 3), 2U);
}

} // namespace
