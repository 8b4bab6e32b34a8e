// Encoding an image again for --fit: the sampling read from a frame header, the pixels decoded
// as the referee decodes them, and every setting carried into what libjpeg writes.
#include "FeaturesTestSupport.h"

#include "features/putback/JpegEncode.h"

#include <gtest/gtest.h>

#include <functional>

#include <cstdlib>

#include <jpeglib.h>

namespace glintmark::featurestest {
namespace {

using features::DecodedImage;
using features::EncodeSettings;
using features::Sampling;

const unsigned char* data(const std::string& bytes)
{
    return reinterpret_cast<const unsigned char*>(bytes.data());
}

std::vector<std::pair<int, int>> pairsOf(const std::vector<Sampling>& sampling)
{
    std::vector<std::pair<int, int>> pairs;
    for (const Sampling& s : sampling)
        pairs.emplace_back(s.horizontal, s.vertical);
    return pairs;
}

// A CMYK JPEG, as print software writes them, made by libjpeg from a seeded pattern.
std::string cmykJpeg()
{
    Referee pattern;
    pattern.width = 24;
    pattern.height = 16;
    pattern.pixelComponents = 4;
    pattern.pixelColourSpace = JCS_CMYK;
    for (unsigned i = 0; i < pattern.width * pattern.height * 4; ++i)
        pattern.pixels.push_back(static_cast<unsigned char>(i * 7));
    return refereeEncode(pattern, {});
}

TEST(JpegEncode, FrameSamplingIsWhatTheFrameHeaderSays)
{
    using Factors = std::vector<std::pair<int, int>>;
    const std::pair<const char*, Factors> cases[] = {
        {"colour", {{2, 2}, {1, 1}, {1, 1}}},
        {"sampling444", {{1, 1}, {1, 1}, {1, 1}}},
        {"grey", {{1, 1}}},
        {"progressive", {{2, 2}, {1, 1}, {1, 1}}},
    };
    for (const auto& [name, factors] : cases) {
        SCOPED_TRACE(name);
        const std::string bytes = testJpeg(name);
        EXPECT_EQ(pairsOf(features::frameSampling(data(bytes), bytes.size())), factors);
        EXPECT_EQ(referee(bytes).sampling, factors);
    }
    const std::string notJpeg = "not a JPEG at all";
    EXPECT_TRUE(features::frameSampling(data(notJpeg), notJpeg.size()).empty());
    const std::string header = testJpeg("colour").substr(0, 30);
    EXPECT_TRUE(features::frameSampling(data(header), header.size()).empty());
}

TEST(JpegEncode, AnImageThatDoesNotDecodeSaysWhyAndEncodesNothing)
{
    const std::string notJpeg = "GIF89a and more";
    DecodedImage image(data(notJpeg), notJpeg.size());
    EXPECT_FALSE(image.ok());
    EXPECT_NE(image.error(), "");
    EXPECT_FALSE(image.encode(EncodeSettings{}).has_value());
}

// Every setting reaches libjpeg: the referee reads each back from what was written, and
// libjpeg given the same pixels and settings writes the very same bytes.
TEST(JpegEncode, EachSettingIsCarriedIntoTheEncoding)
{
    struct Case
    {
        const char* what;
        std::string source;
        EncodeSettings settings;
        std::vector<std::pair<int, int>> sampling; // as written
    };
    EncodeSettings progressive;
    progressive.coding = JpegCoding::Progressive;
    progressive.quality = 80;
    EncodeSettings arithmetic;
    arithmetic.arithmetic = true;
    arithmetic.quality = 40;
    EncodeSettings flat;
    flat.sampling = {{1, 1}, {1, 1}, {1, 1}};
    flat.quality = 30;
    EncodeSettings mismatched; // two factors for three components: libjpeg's own apply
    mismatched.sampling = {{1, 1}, {1, 1}};
    EncodeSettings wide;
    wide.sampling = {{2, 1}, {1, 1}, {1, 1}};
    wide.quality = 100;
    EncodeSettings lowest;
    lowest.quality = 1;
    const std::vector<Case> cases = {
        {"the defaults", testJpeg("colour"), EncodeSettings{}, {{2, 2}, {1, 1}, {1, 1}}},
        {"progressive", testJpeg("colour"), progressive, {{2, 2}, {1, 1}, {1, 1}}},
        {"arithmetic", testJpeg("colour"), arithmetic, {{2, 2}, {1, 1}, {1, 1}}},
        {"sampled 1x1", testJpeg("colour"), flat, {{1, 1}, {1, 1}, {1, 1}}},
        {"sampling that does not match", testJpeg("colour"), mismatched, {{2, 2}, {1, 1}, {1, 1}}},
        {"sampled 2x1", testJpeg("noisy"), wide, {{2, 1}, {1, 1}, {1, 1}}},
        {"quality 1", testJpeg("noisy"), lowest, {{2, 2}, {1, 1}, {1, 1}}},
        {"greyscale stays grey", testJpeg("grey"), EncodeSettings{}, {{1, 1}}},
        {"a progressive source",
         testJpeg("progressive"),
         EncodeSettings{},
         {{2, 2}, {1, 1}, {1, 1}}},
        {"CMYK stays CMYK", cmykJpeg(), EncodeSettings{}, {{1, 1}, {1, 1}, {1, 1}, {1, 1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DecodedImage image(data(c.source), c.source.size());
        ASSERT_TRUE(image.ok()) << image.error();
        const std::optional<std::string> encoded = image.encode(c.settings);
        ASSERT_TRUE(encoded.has_value()) << image.error();
        const Referee source = referee(c.source);
        const Referee judged = referee(*encoded);
        EXPECT_TRUE(judged.clean()) << judged.message;
        EXPECT_EQ(judged.width, source.width);
        EXPECT_EQ(judged.height, source.height);
        EXPECT_EQ(judged.components, source.components);
        EXPECT_EQ(judged.colourSpace, source.colourSpace);
        EXPECT_EQ(judged.progressive, c.settings.coding == JpegCoding::Progressive);
        EXPECT_EQ(judged.arithmetic, c.settings.arithmetic);
        EXPECT_EQ(judged.sampling, c.sampling);
        EXPECT_EQ(judged.quality, c.settings.quality);
        // Huffman tables are optimised for the image whenever there are any.
        EXPECT_EQ(judged.optimisedHuffman, !c.settings.arithmetic);

        RefereeEncoding same;
        same.quality = c.settings.quality;
        same.progressive = c.settings.coding == JpegCoding::Progressive;
        same.arithmetic = c.settings.arithmetic;
        same.sampling = c.sampling;
        EXPECT_TRUE(*encoded == refereeEncode(source, same)) << "the pixels are the referee's";
        // (Progressive scans have their tables made for them whatever is asked.)
        if (!c.settings.arithmetic && c.settings.coding != JpegCoding::Progressive) {
            same.optimise = false;
            EXPECT_LT(encoded->size(), refereeEncode(source, same).size())
                << "smaller than with the standard Huffman tables";
        }
    }
}

TEST(JpegEncode, AnImageCanBeEncodedAgainAndAgain)
{
    const std::string source = testJpeg("noisy");
    DecodedImage image(data(source), source.size());
    std::vector<std::size_t> sizes;
    for (const int quality : {95, 30, 62, 95}) {
        EncodeSettings settings;
        settings.quality = quality;
        const std::optional<std::string> encoded = image.encode(settings);
        ASSERT_TRUE(encoded.has_value());
        EXPECT_EQ(referee(*encoded).quality, quality);
        sizes.push_back(encoded->size());
    }
    EXPECT_EQ(sizes[0], sizes[3]);
    EXPECT_LT(sizes[1], sizes[2]);
    EXPECT_LT(sizes[2], sizes[0]);
}

// A stop asked for while libjpeg is inside one image ends the decoding or the encoding there,
// and the pixels and the encoder's memory together keep to the memory limit.
TEST(JpegEncode, AStopOrTheMemoryLimitEndsTheWorkAndSaysSo)
{
    const std::string source = noiseJpeg(600, 600); // 1,080,000 bytes of pixels
    int asked = 0;
    int stopAt = -1;
    const std::function<bool()> keepGoing = [&] { return ++asked != stopAt; };
    // Decoding asks as it goes; count how often, then stop inside it and inside an encoding.
    {
        const DecodedImage whole(data(source), source.size(), keepGoing);
        ASSERT_TRUE(whole.ok()) << whole.error();
    }
    const int decodingAsks = asked;
    ASSERT_GT(decodingAsks, 10);
    EncodeSettings progressive;
    progressive.coding = JpegCoding::Progressive;

    asked = 0;
    stopAt = decodingAsks / 2;
    const DecodedImage stoppedEarly(data(source), source.size(), keepGoing);
    EXPECT_FALSE(stoppedEarly.ok());
    EXPECT_TRUE(stoppedEarly.stopped());
    EXPECT_EQ(stoppedEarly.error(), "stopped");
    EXPECT_EQ(asked, stopAt) << "asked no more once stopped";

    asked = 0;
    stopAt = decodingAsks + 20;
    DecodedImage stoppedLater(data(source), source.size(), keepGoing);
    ASSERT_TRUE(stoppedLater.ok());
    EXPECT_FALSE(stoppedLater.encode(progressive).has_value());
    EXPECT_TRUE(stoppedLater.stopped());
    EXPECT_EQ(stoppedLater.error(), "stopped");
    EXPECT_EQ(asked, stopAt);

    struct Limit
    {
        const char* mib;
        std::string error; // how it begins; empty: encoded
    };
    const Limit limits[] = {
        {"1", "its 1080000 bytes of pixels are more than the memory limit of 1048576 bytes "
              "(GLINTMARK_CHECK_MEMORY_MIB) allows"},
        {"2", "needs more than the memory limit of 2097152 bytes (GLINTMARK_CHECK_MEMORY_MIB) "
              "leaves beside its 1080000 bytes of pixels"},
        {"8", ""},
    };
    for (const Limit& limit : limits) {
        SCOPED_TRACE(limit.mib);
        const ScopedEnvironment memory("GLINTMARK_CHECK_MEMORY_MIB", limit.mib);
        DecodedImage image(data(source), source.size());
        std::optional<std::string> encoded;
        if (image.ok())
            encoded = image.encode(progressive);
        EXPECT_EQ(image.error(), limit.error);
        EXPECT_FALSE(image.stopped());
        EXPECT_EQ(encoded.has_value(), limit.error.empty());
        if (encoded) {
            EXPECT_TRUE(referee(*encoded).clean());
        }
    }
    // The image limit holds as well.
    const ScopedEnvironment pixels("GLINTMARK_CHECK_IMAGE_MIB", "1");
    const DecodedImage tooLarge(data(source), source.size());
    EXPECT_EQ(tooLarge.error(), "its 1080000 bytes of pixels are more than the image limit of "
                                "1048576 bytes (GLINTMARK_CHECK_IMAGE_MIB) allows");
}

TEST(JpegEncode, SettingsLibjpegRefusesEncodeNothingAndSayWhy)
{
    const std::string source = testJpeg("colour");
    DecodedImage image(data(source), source.size());
    EncodeSettings bogus;
    bogus.sampling = {{5, 1}, {1, 1}, {1, 1}};
    EXPECT_FALSE(image.encode(bogus).has_value());
    EXPECT_NE(image.error().find("sampling factors"), std::string::npos) << image.error();
}

} // namespace
} // namespace glintmark::featurestest
