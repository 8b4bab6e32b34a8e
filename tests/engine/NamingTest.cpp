#include "engine/ErrorText.h"
#include "engine/Extraction.h"
#include "engine/OutputGuard.h"
#include "engine/SignatureScanner.h"
#include "engine/WindowsNames.h"

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
TEST(WindowsNames, DeviceNamesWithAnyExtensionAndCase)
{
    const std::pair<const char*, bool> cases[] = {
        {"CON", true},
        {"con.ldb", true},
        {"Nul.tar.gz", true},
        {"AUX .ldb", true},
        {"prn.", true},
        {"COM1", true},
        {"lpt9.txt", true},
        {"COM\xC2\xB9", true},
        {"lpt\xC2\xB3.log", true}, // a superscript three too
        {"CONOUT$", true},
        {"COM0", false},
        {"COM10", false},
        {"CONSOLE", false},
        {"nul_level", false},
        {"level.con", false},
        {"", false},
        {".", false},
        {"\xC3\x89t\xC3\xA9", false},
    };
    for (const auto& [name, expected] : cases)
        EXPECT_EQ(glintmark::isReservedDeviceName(glintmark::pathFromUtf8(name)), expected) << name;
    EXPECT_EQ(glintmark::reservedDevicePart(fs::path("out") / "NUL" / "x"), fs::path("NUL"));
    EXPECT_EQ(glintmark::reservedDevicePart(fs::path("levels") / "con1.ldb"), fs::path());
}

TEST(WindowsNames, KeysMatchWhereWindowsSeesOneName)
{
    const std::pair<const char*, const char*> cases[] = {
        {"Level", "level"},
        {"lvl.", "lvl"},
        {"lvl . .", "lvl"},
        {"...", ""},
        {".hidden", ".hidden"},
        {"\xC3\x89t\xC3\xA9", "\xC3\xA9t\xC3\xA9"},               // Été
        {"\xCE\xA9MEGA", "\xCF\x89mega"},                         // ΩMEGA
        {"\xCE\xA3\xCE\xBF\xCF\x82", "\xCF\x83\xCE\xBF\xCF\x83"}, // final sigma
        {"\xEF\xBC\xA1", "\xEF\xBD\x81"},                         // fullwidth A
        {"\xF0\x90\x90\x80", "\xF0\x90\x90\xA8"},                 // Deseret, 4 bytes
        {"Stra\xC3\x9F"
         "e",
         "stra\xC3\x9F"
         "e"},                                                    // no full folding
        {"\xE6\x97\xA5\xE6\x9C\xAC", "\xE6\x97\xA5\xE6\x9C\xAC"}, // no case at all
        {"A\xFF\xC3", "a\xFF\xC3"},                               // not UTF-8: kept
        {"\xC0\xC1Z", "\xC0\xC1z"},                               // overlong: kept
    };
    for (const auto& [name, key] : cases)
        EXPECT_EQ(glintmark::windowsNameKey(name), key) << name;
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
