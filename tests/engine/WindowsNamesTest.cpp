#include "engine/names/WindowsNames.h"
#include "engine/io/PathText.h"

#include <gtest/gtest.h>

#include <string>

namespace {

namespace fs = std::filesystem;

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

} // namespace
