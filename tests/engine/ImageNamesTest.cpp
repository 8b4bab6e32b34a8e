#include "engine/names/ImageNames.h"

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

// Device names are checked on every system, so Windows' rules are proven everywhere.

} // namespace
