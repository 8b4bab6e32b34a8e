// How an image stands and what its decoding found, in the words reports use.
#include "features/ImageStatus.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace glintmark::featurestest {
namespace {

using features::CheckedImage;

TEST(ImageStatus, StatusTextSaysHowTheImageEnds)
{
    struct Case
    {
        const char* what;
        std::optional<std::uint64_t> end;
        JpegProblem problem;
        std::uint64_t problemAt;
        std::uint64_t size;
        const char* expected;
    };
    const Case cases[] = {
        {"ends at the cut", 4000, JpegProblem::None, 0, 4000, "whole"},
        {"one byte behind", 4000, JpegProblem::None, 0, 4001, "trailing: 1 byte"},
        {"many bytes behind", 4000, JpegProblem::None, 0, 4120, "trailing: 120 bytes"},
        {"cut in the data", std::nullopt, JpegProblem::CutInScan, 3999, 4000,
         "cut short: cut inside the image data at byte 3999"},
        {"cut in a segment", std::nullopt, JpegProblem::CutInSegment, 17, 18,
         "cut short: cut inside a segment at byte 17"},
        {"bad length", std::nullopt, JpegProblem::BadLength, 20, 900,
         "damaged: bad segment length at byte 20"},
        {"misplaced marker", std::nullopt, JpegProblem::BadMarker, 0, 10,
         "damaged: misplaced marker at byte 0"},
        {"no frame", std::nullopt, JpegProblem::NoFrame, 300, 301,
         "damaged: no frame header at byte 300"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ImageInfo image;
        image.size = c.size;
        image.jpeg.end = c.end;
        image.jpeg.problem = c.problem;
        image.jpeg.problemAt = c.problemAt;
        EXPECT_EQ(features::statusText(image), c.expected);
    }
}

TEST(ImageStatus, DecodeTextIsTheVerdictInAWord)
{
    const std::pair<std::optional<bool>, std::string> cases[] = {
        {true, "yes"},
        {false, "no"},
        {std::nullopt, "-"},
    };
    for (const auto& [decodes, word] : cases) {
        CheckedImage image;
        image.decodes = decodes;
        image.decodeError = decodes.value_or(true) ? "" : "Not decoded: over a limit";
        EXPECT_EQ(features::decodeText(image), word);
    }
}

// The decoding tally in the words the summary and the gallery share.
TEST(ImageStatus, DecodingTextCountsTheVerdicts)
{
    struct Case
    {
        int decode, doNotDecode, notChecked, undecided;
        const char* expected;
    };
    const Case cases[] = {
        {0, 0, 0, 0, ""},
        {0, 0, 0, 3, ""}, // nothing decoded nor tried: no check, or a stop came first
        {1, 0, 0, 0, "1 decodes, 0 do not decode"},
        {2, 1, 0, 0, "2 decode, 1 does not decode"},
        {0, 2, 0, 1, "0 decode, 2 do not decode"},
        {40, 2, 1, 5, "40 decode, 2 do not decode, 1 not checked"},
        {0, 0, 2, 0, "0 decode, 0 do not decode, 2 not checked"},
        {1200, 0, 0, 0, "1200 decode, 0 do not decode"},
    };
    for (const Case& c : cases) {
        std::vector<CheckedImage> images;
        const auto add = [&](int count, std::optional<bool> decodes, const char* error) {
            CheckedImage image;
            image.decodes = decodes;
            image.decodeError = error;
            images.insert(images.end(), static_cast<std::size_t>(count), image);
        };
        add(c.undecided, std::nullopt, "");
        add(c.decode, true, "");
        add(c.doNotDecode, false, "Premature end of JPEG file");
        add(c.notChecked, std::nullopt, "Not decoded: over a limit");
        const features::DecodeTally tally = features::tallyDecoding(images);
        EXPECT_EQ(tally.decode, static_cast<std::uint64_t>(c.decode));
        EXPECT_EQ(tally.doNotDecode, static_cast<std::uint64_t>(c.doNotDecode));
        EXPECT_EQ(tally.notChecked, static_cast<std::uint64_t>(c.notChecked));
        EXPECT_EQ(features::decodingText(tally), c.expected);
    }
}

TEST(ImageStatus, GroupedNumberGroupsThousands)
{
    const std::pair<std::uint64_t, std::string> cases[] = {
        {0, "0"},
        {7, "7"},
        {999, "999"},
        {1000, "1,000"},
        {17638, "17,638"},
        {100000, "100,000"},
        {999999, "999,999"},
        {1000000, "1,000,000"},
        {1234567, "1,234,567"},
        {std::numeric_limits<std::uint64_t>::max(), "18,446,744,073,709,551,615"},
    };
    for (const auto& [value, text] : cases)
        EXPECT_EQ(features::groupedNumber(value), text) << value;
}

} // namespace
} // namespace glintmark::featurestest
