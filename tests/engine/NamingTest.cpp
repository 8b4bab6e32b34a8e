#include "engine/Extraction.h"
#include "engine/OutputGuard.h"
#include "engine/SignatureScanner.h"

#include <gtest/gtest.h>

#include <string>

namespace {

namespace fs = std::filesystem;

TEST(ImageFileName, HasAtLeastFourDigits)
{
    const std::pair<std::uint64_t, const char*> cases[] = {
        {1, "Vorlesk_0001.jpg"},      {7, "Vorlesk_0007.jpg"},
        {123, "Vorlesk_0123.jpg"},    {9999, "Vorlesk_9999.jpg"},
        {10000, "Vorlesk_10000.jpg"}, {4294967296, "Vorlesk_4294967296.jpg"},
    };
    for (const auto& [number, name] : cases)
        EXPECT_EQ(glintmark::imageFileName(fs::path("out") / "Vorlesk_", number, ".jpg"),
                  fs::path("out") / name);
}

TEST(IsImageName, MatchesExactlyTheNamesARunWrites)
{
    const std::pair<const char*, bool> cases[] = {
        {"Vorlesk_0001.jpg", true},    {"Vorlesk_0003.jpg", true},   {"Vorlesk_9999.jpg", true},
        {"Vorlesk_10000.jpg", true},   {"Vorlesk_123456.jpg", true}, {"Vorlesk_0000.jpg", false},
        {"Vorlesk_001.jpg", false},    {"Vorlesk_01234.jpg", false}, {"Vorlesk_00001.jpg", false},
        {"Vorlesk_12a4.jpg", false},   {"Vorlesk_0001.jpeg", false}, {"Vorlesk_0001", false},
        {"vorlesk_0001.jpg.x", false}, {"XVorlesk_0001.jpg", false}, {"Vorlesk_.jpg", false},
        {"level.ldb", false},
    };
    for (const auto& [name, expected] : cases)
        EXPECT_EQ(glintmark::isImageName(name, "Vorlesk_", ".jpg"), expected) << name;
    EXPECT_TRUE(glintmark::isImageName("0042.jpg", "", ".jpg"));
}

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
