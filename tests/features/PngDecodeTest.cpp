// Decoding an edit saved as PNG: the pixels libpng gives, as ImageMagick's convert reads the same
// file, in the components asked for; the limits checked before decoding; transparency, damage
// and a stop refused.
#include "FeaturesTestSupport.h"

#include "features/putback/PngDecode.h"
#include "support/Referees.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace glintmark::featurestest {
namespace {

namespace fs = std::filesystem;
using testsupport::convertPicture;
using testsupport::runTool;
using testsupport::shellQuoted;
using testsupport::ToolPicture;

// The largest difference between two pictures' samples; -1 when their shapes differ.
int largestDifference(const std::vector<unsigned char>& a, const ToolPicture& b)
{
    if (a.size() != b.pixels.size())
        return -1;
    int most = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        most = std::max(most, std::abs(int{a[i]} - int{b.pixels[i]}));
    return most;
}

class PngDecoding : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!testsupport::imageToolsHere())
            GTEST_SKIP() << "needs ImageMagick's convert and djpeg and cjpeg, its referees";
        dir = freshTestFolder();
        // The sample's colour image 3 (160x120) and grey image 8 (100x100), as djpeg gives them.
        writeBytes(dir / "colour.jpg", demoImage(3));
        writeBytes(dir / "grey.jpg", demoImage(8));
        ASSERT_TRUE(runTool("djpeg -pnm -outfile " + shellQuoted(dir / "colour.ppm") + " " +
                            shellQuoted(dir / "colour.jpg")));
        ASSERT_TRUE(runTool("djpeg -pnm -outfile " + shellQuoted(dir / "grey.pgm") + " " +
                            shellQuoted(dir / "grey.jpg")));
    }

    // The PNG convert writes of `from` ("colour.ppm" or "grey.pgm") with `arguments`.
    fs::path png(const std::string& from, const std::string& arguments, const std::string& name)
    {
        const fs::path out = dir / name;
        EXPECT_TRUE(
            runTool("convert " + shellQuoted(dir / from) + " " + arguments + shellQuoted(out)))
            << arguments;
        return out;
    }

    fs::path dir;
};

TEST_F(PngDecoding, EveryKindOfPngComesOutAsConvertReadsIt)
{
    // One transparent pixel, at (5, 5), whatever else the picture holds.
    const std::string hole = "-alpha on -channel A -fx \"(i==5&&j==5)?0:1\" +channel";
    struct Case
    {
        const char* what;
        const char* from;
        std::string arguments; // convert's, then the PNG's name with its writer
        int asked;             // components asked for: 0 the PNG's own
        int components;        // what comes out; 0 when refused
        int tolerance;         // largest difference from convert's samples
        const char* error;     // why it is refused
    };
    const Case cases[] = {
        {"RGB", "colour.ppm", "-negate PNG24:", 0, 3, 0, ""},
        {"RGB asked as colour", "colour.ppm", "-negate PNG24:", 3, 3, 0, ""},
        {"RGB asked as grey", "colour.ppm", "-negate PNG24:", 1, 1, 1, ""},
        {"grey", "grey.pgm", "-negate PNG:", 0, 1, 0, ""},
        {"grey asked as colour", "grey.pgm", "-negate PNG:", 3, 3, 0, ""},
        {"one bit of grey", "grey.pgm", "-monochrome PNG:", 0, 1, 0, ""},
        {"a palette", "colour.ppm", "-colors 40 PNG8:", 0, 3, 0, ""},
        {"16-bit RGB", "colour.ppm", "-negate -depth 16 PNG48:", 0, 3, 1, ""},
        {"16-bit grey", "grey.pgm", "-depth 16 PNG:", 0, 1, 1, ""},
        {"RGBA, all opaque", "colour.ppm", "-alpha opaque PNG32:", 0, 3, 0, ""},
        {"grey and alpha, all opaque", "grey.pgm", "-alpha opaque -type GrayscaleAlpha PNG:", 0, 1,
         0, ""},
        {"interlaced", "colour.ppm", "-interlace PNG PNG24:", 0, 3, 0, ""},
        {"interlaced RGBA, all opaque", "colour.ppm", "-interlace PNG -alpha opaque PNG32:", 1, 1,
         1, ""},
        {"RGBA with one transparent pixel", "colour.ppm", hole + " PNG32:", 0, 0, 0,
         "has transparent pixels"},
        {"interlaced, one transparent pixel", "colour.ppm", "-interlace PNG " + hole + " PNG32:", 0,
         0, 0, "has transparent pixels"},
        {"grey and alpha, one transparent pixel", "grey.pgm",
         hole + " -type GrayscaleAlpha PNG:", 0, 0, 0, "has transparent pixels"},
        {"a palette with a transparent entry", "colour.ppm", hole + " -colors 40 PNG8:", 0, 0, 0,
         "has transparent pixels"},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string name = "edit" + std::to_string(++n) + ".png";
        const std::string arguments = c.arguments + shellQuoted(dir / name);
        ASSERT_TRUE(runTool("convert " + shellQuoted(dir / c.from) + " " + arguments));
        const std::string bytes = readBytes(dir / name);
        const features::PngDecoded decoded =
            features::decodePng(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                                features::DecodeLimits{}, {}, c.asked);
        EXPECT_FALSE(decoded.stopped);
        if (c.components == 0) {
            EXPECT_TRUE(decoded.transparent);
            EXPECT_EQ(decoded.error, c.error);
            EXPECT_TRUE(decoded.pixels.bytes.empty());
            continue;
        }
        ASSERT_EQ(decoded.error, "");
        EXPECT_FALSE(decoded.transparent);
        const std::optional<ToolPicture> expected = convertPicture(dir / name, c.components);
        ASSERT_TRUE(expected);
        EXPECT_EQ(decoded.pixels.width, expected->width);
        EXPECT_EQ(decoded.pixels.height, expected->height);
        EXPECT_EQ(decoded.pixels.components, c.components);
        EXPECT_EQ(decoded.pixels.colourSpace, c.components == 1 ? 1 : 2); // JCS_GRAYSCALE, RGB
        const int difference = largestDifference(decoded.pixels.bytes, *expected);
        EXPECT_GE(difference, 0);
        EXPECT_LE(difference, c.tolerance);

        const features::PngHeader header = features::readPngHeader(
            reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
        EXPECT_TRUE(header.ok);
        EXPECT_EQ(header.width, expected->width);
        EXPECT_EQ(header.height, expected->height);
        EXPECT_EQ(header.components, std::string(c.from) == "grey.pgm" ? 1 : 3);
    }
}

TEST_F(PngDecoding, TheLimitsAreCheckedAgainstTheHeaderBeforeDecoding)
{
    // 160x120: 19,200 pixels; as RGB 57,600 bytes, a row 480 (RGBA: 76,800 and 640).
    const std::string rgb = readBytes(png("colour.ppm", "PNG24:", "rgb.png"));
    const std::string rgba = readBytes(png("colour.ppm", "-alpha opaque PNG32:", "rgba.png"));
    const std::string interlaced =
        readBytes(png("colour.ppm", "-interlace PNG PNG24:", "interlaced.png"));
    struct Case
    {
        const char* what;
        const std::string& png;
        std::uint64_t maxImage;
        std::uint64_t maxMemory;
        const char* error;
    };
    constexpr std::uint64_t kPlenty = std::uint64_t{1} << 30;
    const Case cases[] = {
        {"RGB at the image limit", rgb, 57600, kPlenty, ""},
        {"RGB one byte over it", rgb, 57599, kPlenty,
         "its 57600 bytes of pixels are more than the image limit of 57599 bytes "
         "(GLINTMARK_CHECK_IMAGE_MIB) allows"},
        {"RGBA, counted with its alpha", rgba, 76799, kPlenty,
         "its 76800 bytes of pixels are more than the image limit of 76799 bytes "
         "(GLINTMARK_CHECK_IMAGE_MIB) allows"},
        {"RGBA at the image limit", rgba, 76800, kPlenty, ""},
        {"RGB with its row under the memory limit", rgb, kPlenty, 58081, ""},
        {"RGB with its row at the memory limit", rgb, kPlenty, 58080,
         "its 58080 bytes of pixels are more than the memory limit of 58080 bytes "
         "(GLINTMARK_CHECK_MEMORY_MIB) allows"},
        {"RGBA with its row at the memory limit", rgba, kPlenty, 58240,
         "its 58240 bytes of pixels are more than the memory limit of 58240 bytes "
         "(GLINTMARK_CHECK_MEMORY_MIB) allows"},
        {"interlaced, read whole first", interlaced, kPlenty, 115200,
         "its 115200 bytes of pixels are more than the memory limit of 115200 bytes "
         "(GLINTMARK_CHECK_MEMORY_MIB) allows"},
        {"interlaced under the memory limit", interlaced, kPlenty, 115201, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const features::PngDecoded decoded =
            features::decodePng(reinterpret_cast<const unsigned char*>(c.png.data()), c.png.size(),
                                features::DecodeLimits{c.maxImage, c.maxMemory});
        EXPECT_EQ(decoded.error, c.error);
        EXPECT_EQ(decoded.pixels.bytes.size(), *c.error == '\0' ? 57600u : 0u);
    }
}

TEST_F(PngDecoding, ADamagedPngIsRefusedWithLibpngsReason)
{
    const std::string whole = readBytes(png("colour.ppm", "PNG24:", "whole.png"));
    // The checksum of the (first) image data chunk, which follows its data, changed.
    std::string crc = whole;
    const std::size_t chunk = crc.find("IDAT");
    ASSERT_NE(chunk, std::string::npos);
    std::size_t length = 0;
    for (std::size_t i = chunk - 4; i < chunk; ++i)
        length = length << 8 | static_cast<unsigned char>(crc[i]);
    crc[chunk + 4 + length + 3] = static_cast<char>(crc[chunk + 4 + length + 3] ^ 0x40);
    std::string wide = whole;
    wide[16] = 0x7F; // a width of more than two thousand million, its checksum left as it was
    const std::pair<std::string, const char*> cases[] = {
        {whole.substr(0, whole.size() / 2), "the file ends before its image does"},
        {whole.substr(0, whole.size() - 12), "the file ends before its image does"},
        {whole.substr(0, 20), "the file ends before its image does"},
        {crc, "IDAT: CRC error"},
        {wide, "IHDR: CRC error"},
        {"GIF89a and more bytes of no PNG", "Not a PNG file"},
        {"", "the file ends before its image does"},
    };
    for (const auto& [bytes, error] : cases) {
        SCOPED_TRACE(error);
        const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
        const features::PngDecoded decoded = features::decodePng(data, bytes.size(), {});
        EXPECT_EQ(decoded.error, error);
        EXPECT_FALSE(decoded.transparent);
        EXPECT_TRUE(decoded.pixels.bytes.empty());
        if (bytes.size() < 40) {
            const features::PngHeader header = features::readPngHeader(data, bytes.size());
            EXPECT_FALSE(header.ok);
            EXPECT_EQ(header.error, error);
        }
    }
}

TEST_F(PngDecoding, AStopEndsTheDecodingBetweenRows)
{
    for (const char* arguments : {"PNG24:", "-interlace PNG PNG24:"}) {
        SCOPED_TRACE(arguments);
        const std::string bytes = readBytes(png("colour.ppm", arguments, "stopped.png"));
        for (const int answers : {0, 1, 7, 119}) {
            SCOPED_TRACE(answers);
            int asked = 0;
            const std::function<bool()> keepGoing = [&] { return asked++ < answers; };
            const features::PngDecoded decoded = features::decodePng(
                reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), {}, keepGoing);
            EXPECT_TRUE(decoded.stopped);
            EXPECT_EQ(decoded.error, "stopped");
            EXPECT_TRUE(decoded.pixels.bytes.empty());
            // Asked once for each row read, and not again after the first no.
            EXPECT_EQ(asked, answers + 1);
        }
    }
    // Asked once a row, 120 rows: a run that goes on is not told to stop.
    const std::string bytes = readBytes(png("colour.ppm", "PNG24:", "whole.png"));
    int asked = 0;
    const features::PngDecoded decoded = features::decodePng(
        reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), {}, [&] {
            ++asked;
            return true;
        });
    EXPECT_EQ(decoded.error, "");
    EXPECT_EQ(asked, 120);
}

} // namespace
} // namespace glintmark::featurestest
