#include "engine/HexDecode.h"
#include "support/Signature.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace {

std::string bytes(std::initializer_list<unsigned char> values)
{
    std::string out;
    for (const unsigned char v : values)
        out.push_back(static_cast<char>(v));
    return out;
}

struct DecodeCase
{
    std::string_view name;
    std::string_view text;
    std::string expected;
};

void PrintTo(const DecodeCase& c, std::ostream* os)
{
    *os << c.name;
}

class HexToBytesCases : public ::testing::TestWithParam<DecodeCase>
{
};

TEST_P(HexToBytesCases, Decodes)
{
    const DecodeCase& c = GetParam();
    EXPECT_EQ(glintmark::HexToBytes(c.text), c.expected) << "text: [" << c.text << "]";
}

INSTANTIATE_TEST_SUITE_P(
    EdgeCases, HexToBytesCases,
    ::testing::Values(DecodeCase{"JfifSignature", glintmark::kJfifSignatureHex,
                                 glintmark::testsupport::signature()},
                      DecodeCase{"LowerCase", "ffd8ffe000104a464946",
                                 glintmark::testsupport::signature()},
                      DecodeCase{"MixedCase", "fF0aA0", bytes({0xFF, 0x0A, 0xA0})},
                      DecodeCase{"SurroundingSpaces", "   FFD8  ", bytes({0xFF, 0xD8})},
                      DecodeCase{"OddLengthLastDigitDoubled", "ABC", bytes({0xAB, 0xCC})},
                      DecodeCase{"SingleDigit", "7", bytes({0x77})},
                      DecodeCase{"NonHexHighDigitIsZero", "G1", bytes({0x01})},
                      DecodeCase{"NonHexLowDigitIsZero", "1G", bytes({0x10})},
                      DecodeCase{"NonHexBothDigits", "ZZ", bytes({0x00})},
                      DecodeCase{"LettersPastFAreZero", "gf", bytes({0x0F})},
                      DecodeCase{"SingleSpaceShiftsGrouping", "FF D8", bytes({0xFF, 0x88})},
                      DecodeCase{"TwoSpacesKeepGrouping", "FF  D8", bytes({0xFF, 0xD8})},
                      DecodeCase{"SpaceAsLowDigitIsZero", "F  1", bytes({0xF0})},
                      DecodeCase{"Empty", "", std::string()},
                      DecodeCase{"SpacesOnly", "     ", std::string()},
                      DecodeCase{"TabsAreNotTrimmed", "\tA", bytes({0x0A})},
                      DecodeCase{"HighBitCharacterIsZero", "\xC3\xA9", bytes({0x00})}),
    [](const ::testing::TestParamInfo<DecodeCase>& param) {
        return std::string(param.param.name);
    });

struct PairCase
{
    std::string_view group;
    std::int16_t value;
};

TEST(HexPairValue, GivesTheValueOfOneOrTwoDigits)
{
    const PairCase cases[] = {
        {"00", 0},   {"09", 9},   {"0A", 10}, {"0f", 15}, {"10", 16}, {"FF", 255},
        {"ff", 255}, {"7F", 127}, {"A", 170}, {"0", 0},   {"9", 153}, {"/0", 0},
        {":0", 0},   {"@0", 0},   {"G0", 0},  {"`0", 0},  {"g0", 0},  {"", 0},
    };
    for (const PairCase& c : cases)
        EXPECT_EQ(glintmark::HexPairValue(c.group), c.value) << "group: [" << c.group << "]";
}

} // namespace
