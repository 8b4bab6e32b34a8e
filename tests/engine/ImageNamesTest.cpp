#include "engine/names/ImageNames.h"

#include <gtest/gtest.h>

#include <string>

namespace {

namespace fs = std::filesystem;

TEST(ImageFileName, IsTheStemTheNumberWithAtLeastFourDigitsAndTheExtension)
{
    struct Case
    {
        const char* stem;
        std::uint64_t number;
        const char* ext;
        const char* name;
    };
    const Case cases[] = {
        {"Vorlesk_", 1, ".jpg", "Vorlesk_0001.jpg"},
        {"Vorlesk_", 7, ".jpg", "Vorlesk_0007.jpg"},
        {"Vorlesk_", 123, ".jpg", "Vorlesk_0123.jpg"},
        {"Vorlesk_", 9999, ".jpg", "Vorlesk_9999.jpg"},
        {"Vorlesk_", 10000, ".jpg", "Vorlesk_10000.jpg"},
        {"Vorlesk_", 4294967296, ".jpg", "Vorlesk_4294967296.jpg"},
        {"tex-", 42, ".jfif", "tex-0042.jfif"},
        {"", 3, "", "0003"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(glintmark::imageFileName(c.stem, c.number, c.ext).native(),
                  fs::path(c.name).native())
            << c.name;
}

TEST(IsImageName, MatchesExactlyTheNamesARunWrites)
{
    struct Case
    {
        const char* name;
        const char* stem;
        const char* ext;
        bool expected;
    };
    const Case cases[] = {
        {"Vorlesk_0001.jpg", "Vorlesk_", ".jpg", true},
        {"Vorlesk_0003.jpg", "Vorlesk_", ".jpg", true},
        {"Vorlesk_9999.jpg", "Vorlesk_", ".jpg", true},
        {"Vorlesk_10000.jpg", "Vorlesk_", ".jpg", true},
        {"Vorlesk_123456.jpg", "Vorlesk_", ".jpg", true},
        {"Vorlesk_0000.jpg", "Vorlesk_", ".jpg", false},
        {"Vorlesk_001.jpg", "Vorlesk_", ".jpg", false},
        {"Vorlesk_01234.jpg", "Vorlesk_", ".jpg", false},
        {"Vorlesk_00001.jpg", "Vorlesk_", ".jpg", false},
        {"Vorlesk_12a4.jpg", "Vorlesk_", ".jpg", false},
        {"Vorlesk_0001.jpeg", "Vorlesk_", ".jpg", false},
        {"Vorlesk_0001", "Vorlesk_", ".jpg", false},
        {"vorlesk_0001.jpg.x", "Vorlesk_", ".jpg", false},
        {"XVorlesk_0001.jpg", "Vorlesk_", ".jpg", false},
        {"Vorlesk_.jpg", "Vorlesk_", ".jpg", false},
        {"level.ldb", "Vorlesk_", ".jpg", false},
        {"0042.jpg", "", ".jpg", true},
        // Another stem and extension: only their own names match.
        {"tex-0042.jfif", "tex-", ".jfif", true},
        {"tex-10000.jfif", "tex-", ".jfif", true},
        {"Vorlesk_0042.jfif", "tex-", ".jfif", false},
        {"tex-0042.jpg", "tex-", ".jfif", false},
        {"Vorlesk_0042.jpg", "tex-", ".jfif", false},
        {"0042", "", "", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(glintmark::isImageName(c.name, c.stem, c.ext), c.expected)
            << c.name << " for " << c.stem << "NNNN" << c.ext;
}

TEST(IsTemporaryName, MatchesTheHiddenNamesOfThisStemAndExtensionOnly)
{
    struct Case
    {
        const char* name;
        const char* stem;
        const char* ext;
        bool expected;
    };
    const Case cases[] = {
        {".Vorlesk_0001.jpg.part", "Vorlesk_", ".jpg", true},
        {".Vorlesk_10000.jpg.part", "Vorlesk_", ".jpg", true},
        {"Vorlesk_0001.jpg.part", "Vorlesk_", ".jpg", false},
        {".Vorlesk_0001.jpg", "Vorlesk_", ".jpg", false},
        {".Vorlesk_0000.jpg.part", "Vorlesk_", ".jpg", false},
        {".index.html.part", "Vorlesk_", ".jpg", false},
        {".part", "Vorlesk_", ".jpg", false},
        {".tex-0007.png.part", "tex-", ".png", true},
        {".Vorlesk_0007.jpg.part", "tex-", ".png", false},
        {".tex-0007.jpg.part", "tex-", ".png", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(glintmark::isTemporaryName(c.name, c.stem, c.ext), c.expected)
            << c.name << " for " << c.stem << "NNNN" << c.ext;
}

// The folder is opened and named without its trailing separators; the paths of its images keep
// the folder's text as it was given.
TEST(ImageFolder, DropsTrailingSeparatorsAndImagePathKeepsTheText)
{
    struct Case
    {
        std::string folder;
        std::string opened;
        std::string image; // the path reported for "Vorlesk_0001.jpg" in it
    };
#ifdef _WIN32
    const Case cases[] = {
        {"out", "out", "out\\Vorlesk_0001.jpg"},  {"out\\", "out", "out\\Vorlesk_0001.jpg"},
        {"out/", "out", "out/Vorlesk_0001.jpg"},  {"out\\\\", "out", "out\\\\Vorlesk_0001.jpg"},
        {"C:\\", "C:\\", "C:\\Vorlesk_0001.jpg"}, {"C:", "C:\\", "C:\\Vorlesk_0001.jpg"},
        {".", ".", ".\\Vorlesk_0001.jpg"},        {"", ".", ".\\Vorlesk_0001.jpg"},
    };
#else
    const Case cases[] = {
        {"out", "out", "out/Vorlesk_0001.jpg"},    {"out/", "out", "out/Vorlesk_0001.jpg"},
        {"out//", "out", "out//Vorlesk_0001.jpg"}, {"a/b/", "a/b", "a/b/Vorlesk_0001.jpg"},
        {"/", "/", "/Vorlesk_0001.jpg"},           {".", ".", "./Vorlesk_0001.jpg"},
        {"", ".", "./Vorlesk_0001.jpg"},
    };
#endif
    for (const Case& c : cases) {
        EXPECT_EQ(glintmark::imageFolder(c.folder).string(), c.opened) << "[" << c.folder << "]";
        EXPECT_EQ(glintmark::imagePath(c.folder, "Vorlesk_0001.jpg").string(), c.image)
            << "[" << c.folder << "]";
    }
}

// Device names are checked on every system, so Windows' rules are proven everywhere.

} // namespace
