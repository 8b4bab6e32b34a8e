// Decoding one JPEG completely under limits: the verdict matches libjpeg's own as a file would
// give it, limits hold to the byte, and a stop or a failed read ends the decoding.
#include "FeaturesTestSupport.h"

#include "features/check/JpegDecode.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

namespace glintmark::featurestest {
namespace {

using features::DecodeLimits;
using features::DecodeResult;
using features::ImageBytesReader;

// Hands out the bytes of `bytes`; positions past its end give nothing.
ImageBytesReader readerOf(const std::string& bytes)
{
    return [&bytes](std::uint64_t position, unsigned char* buffer, std::size_t count,
                    std::error_code&) {
        if (position >= bytes.size())
            return std::size_t{0};
        const std::size_t taken = std::min<std::size_t>(count, bytes.size() - position);
        std::memcpy(buffer, bytes.data() + position, taken);
        return taken;
    };
}

DecodeResult decode(const std::string& bytes, const DecodeLimits& limits = {})
{
    return features::decodeJpeg(readerOf(bytes), bytes.size(), limits);
}

// Where the `count`th start of scan stands.
std::size_t scanStart(const std::string& jpeg, int count)
{
    std::size_t at = 0;
    for (int i = 0; i < count; ++i)
        at = jpeg.find("\xFF\xDA", at + 1);
    return at;
}

// The image with a comment segment of `length` bytes (the length field's count) after its JFIF
// segment, which the decoder skips over.
std::string withComment(const std::string& jpeg, std::size_t length)
{
    std::string comment = "\xFF\xFE";
    comment += static_cast<char>(length >> 8);
    comment += static_cast<char>(length & 0xFF);
    comment.append(length - 2, 'c');
    return jpeg.substr(0, 20) + comment + jpeg.substr(20);
}

// A restart marker in the middle of the image data: the structure holds, the decoder objects.
std::string strayRestart(std::string jpeg)
{
    std::size_t at = (jpeg.find("\xFF\xDA") + jpeg.size()) / 2;
    while (jpeg[at - 1] == '\xFF' || jpeg[at] == '\xFF' || jpeg[at + 1] == '\xFF')
        ++at;
    return jpeg.replace(at, 2, "\xFF\xD3");
}

TEST(JpegDecode, SoundImagesDecodeAsTheRefereeDecodesThem)
{
    std::vector<std::pair<std::string, std::string>> images;
    for (const char* name : {"colour", "taller", "wider", "grey", "sampling444", "progressive",
                             "arithmetic", "extended", "noisy", "large_progressive"})
        images.emplace_back(name, testJpeg(name));
    for (int number = 1; number <= 11; ++number)
        images.emplace_back("sample image " + std::to_string(number), demoImage(number));
    // Skipped segments that end beyond the block the decoder was handed, and beyond the next.
    for (const std::size_t length : {4000, 4100, 9000, 65535})
        images.emplace_back("comment of " + std::to_string(length),
                            withComment(testJpeg("colour"), length));
    for (const auto& [what, bytes] : images) {
        SCOPED_TRACE(what);
        const Referee expected = referee(bytes);
        ASSERT_TRUE(expected.clean()) << expected.message;
        const DecodeResult result = decode(bytes);
        EXPECT_TRUE(result.decodes()) << result.message;
        EXPECT_TRUE(result.finished);
        EXPECT_EQ(result.warnings, 0);
        EXPECT_EQ(result.message, "");
        EXPECT_EQ(result.width, expected.width);
        EXPECT_EQ(result.height, expected.height);
        EXPECT_EQ(result.components, expected.components);
        EXPECT_FALSE(result.overLimit);
        EXPECT_FALSE(result.stopped);
        EXPECT_FALSE(result.readFailed);
    }
}

TEST(JpegDecode, DamagedImagesDoNotDecodeAndSayWhatTheRefereeSays)
{
    const std::string large = testJpeg("large_progressive");
    const std::string colour = testJpeg("colour");
    const std::pair<const char*, std::string> cases[] = {
        {"progressive, cut before its second scan", large.substr(0, scanStart(large, 2))},
        {"progressive, cut before its fifth scan", large.substr(0, scanStart(large, 5))},
        {"progressive, cut before its last scan", large.substr(0, scanStart(large, 10))},
        {"progressive, without its end marker", large.substr(0, large.size() - 2)},
        {"baseline, cut inside its data", colour.substr(0, colour.size() - 200)},
        {"baseline, cut after its header", colour.substr(0, scanStart(colour, 1) + 14)},
        // Cut inside a segment, the decoder reads on past the end marker it is given at the end.
        {"baseline, cut inside its quantisation table",
         colour.substr(0, colour.find("\xFF\xDB") + 30)},
        {"baseline, cut inside its frame header", colour.substr(0, colour.find("\xFF\xC0") + 8)},
        {"baseline, cut inside a Huffman table", colour.substr(0, colour.find("\xFF\xC4") + 12)},
        {"progressive, cut inside a scan's Huffman table",
         large.substr(0, large.find("\xFF\xC4", scanStart(large, 3)) + 9)},
        {"three flipped bits", flippedBitsImage()},
        {"a stray restart marker", strayRestart(demoImage(3))},
    };
    for (const auto& [what, bytes] : cases) {
        SCOPED_TRACE(what);
        const Referee expected = referee(bytes);
        ASSERT_FALSE(expected.clean());
        const DecodeResult result = decode(bytes);
        EXPECT_FALSE(result.decodes());
        EXPECT_EQ(result.finished, expected.finished);
        EXPECT_EQ(result.warnings, expected.warnings);
        EXPECT_EQ(result.message, expected.message);
        EXPECT_FALSE(result.overLimit);
        EXPECT_FALSE(result.readFailed);
    }
}

TEST(JpegDecode, NoBytesAtAllIsAnEmptyFile)
{
    const DecodeResult result = decode("");
    EXPECT_FALSE(result.finished);
    EXPECT_FALSE(result.decodes());
    EXPECT_EQ(result.message, "Empty input file");
}

TEST(JpegDecode, AnImageAtTheImageLimitDecodesAndOneByteOverDoesNot)
{
    struct Case
    {
        const char* name;
        std::uint64_t decodedBytes; // width x height x components
        const char* claim;
    };
    const Case cases[] = {
        {"colour", 48 * 32 * 3, "48x32 pixels of 3 components"},
        {"grey", 48 * 32, "48x32 pixels of 1 components"},
        {"progressive", 48 * 32 * 3, "48x32 pixels of 3 components"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string bytes = testJpeg(c.name);
        DecodeLimits limits;
        limits.maxImageBytes = c.decodedBytes;
        const DecodeResult at = decode(bytes, limits);
        EXPECT_TRUE(at.decodes()) << at.message;
        EXPECT_FALSE(at.overLimit);

        limits.maxImageBytes = c.decodedBytes - 1;
        const DecodeResult over = decode(bytes, limits);
        EXPECT_TRUE(over.overLimit);
        EXPECT_FALSE(over.finished);
        EXPECT_FALSE(over.decodes());
        EXPECT_EQ(over.message, "Not decoded: it claims " + std::string(c.claim) + ", " +
                                    std::to_string(c.decodedBytes) +
                                    " bytes decoded, 1 over the image limit of " +
                                    std::to_string(c.decodedBytes - 1) +
                                    " bytes (GLINTMARK_CHECK_IMAGE_MIB, at least 1 to decode it)");
    }
}

// Tiny images whose frame headers claim far more than their data holds: each is refused before
// its decoding starts, saying which limit and by how much (the cases of the command line's
// findings, here against the decoder itself).
TEST(JpegDecode, ImagesOverTheDecodingLimitsAreRefusedWithTheReason)
{
    constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;
    struct Hostile
    {
        const char* what;
        int number; // the sample image patched
        unsigned width, height;
        std::uint64_t maxImageBytes, maxMemory;
        bool overLimit;
        const char* says;
    };
    const Hostile cases[] = {
        {"baseline, huge", 2, 24000, 24000, 256 * kMiB, 512 * kMiB, true,
         "Not decoded: it claims 24000x24000 pixels of 3 components, 1728000000 bytes decoded, "
         "1459564544 over the image limit of 268435456 bytes (GLINTMARK_CHECK_IMAGE_MIB, at "
         "least 1648 to decode it)"},
        {"progressive, largest", 4, 65500, 65500, 256 * kMiB, 512 * kMiB, true,
         "12870750000 bytes decoded, 12602314544 over the image limit"},
        {"grey, needing exactly 2 MiB", 5, 1024, 2048, kMiB, 512 * kMiB, true,
         "2097152 bytes decoded, 1048576 over the image limit of 1048576 bytes "
         "(GLINTMARK_CHECK_IMAGE_MIB, at least 2 to decode it)"},
        {"progressive, its coefficients over the memory limit", 4, 4000, 4000, 256 * kMiB,
         16 * kMiB, true,
         "Not decoded: its scans need 48000000 bytes of coefficients held at once, 31222784 over "
         "the memory limit of 16777216 bytes (GLINTMARK_CHECK_MEMORY_MIB, at least 46 to decode "
         "it)"},
        {"progressive, blocks rounded up to whole sampling units", 4, 120, 90, 256 * kMiB, 36863,
         true, "its scans need 36864 bytes of coefficients held at once, 1 over"},
        {"baseline, its rows over the memory limit", 2, 60000, 8, 256 * kMiB, kMiB, true,
         "over the memory limit of 1048576 bytes"},
        {"baseline, within the limits: decoded, and damaged", 2, 1000, 1000, 256 * kMiB, 512 * kMiB,
         false, "Corrupt JPEG data"},
    };
    for (const Hostile& c : cases) {
        SCOPED_TRACE(c.what);
        DecodeLimits limits;
        limits.maxImageBytes = c.maxImageBytes;
        limits.maxMemory = c.maxMemory;
        const DecodeResult result = decode(claimingImage(c.number, c.width, c.height), limits);
        EXPECT_EQ(result.overLimit, c.overLimit);
        EXPECT_FALSE(result.decodes());
        EXPECT_NE(result.message.find(c.says), std::string::npos) << result.message;
    }
}

TEST(JpegDecode, CoefficientsExactlyAtTheMemoryLimitAreNotRefusedForThemselves)
{
    // Sample image 4 is 120x90, progressive, 2x2 sampled: 16x12 luma blocks once rounded up to
    // whole sampling units, 8x6 blocks for each chroma component, 128 bytes a block.
    DecodeLimits limits;
    limits.maxMemory = (16 * 12 + 2 * 8 * 6) * 128;
    const DecodeResult result = decode(demoImage(4), limits);
    EXPECT_TRUE(result.overLimit); // the decoder's own needs come on top
    EXPECT_EQ(result.message.find("its scans need"), std::string::npos) << result.message;
}

// The least memory limit under which `bytes` decode, found by halving.
std::uint64_t leastMemory(const std::string& bytes)
{
    std::uint64_t fails = 0;
    std::uint64_t decodes = std::uint64_t{64} << 20;
    while (decodes - fails > 1) {
        const std::uint64_t middle = (fails + decodes) / 2;
        DecodeLimits limits;
        limits.maxMemory = middle;
        (decode(bytes, limits).decodes() ? decodes : fails) = middle;
    }
    return decodes;
}

TEST(JpegDecode, EveryByteTheDecoderTakesCountsAgainstTheMemoryLimit)
{
    for (const char* name : {"colour", "progressive", "noisy"}) {
        SCOPED_TRACE(name);
        const std::string bytes = testJpeg(name);
        const std::uint64_t least = leastMemory(bytes);
        DecodeLimits limits;
        limits.maxMemory = least - 1;
        const DecodeResult result = decode(bytes, limits);
        EXPECT_TRUE(result.overLimit);
        EXPECT_FALSE(result.finished);
        const std::string tail = ", 1 over the memory limit of " + std::to_string(least - 1) +
                                 " bytes (GLINTMARK_CHECK_MEMORY_MIB, at least 1 to decode it)";
        EXPECT_EQ(result.message.rfind("Not decoded: the decoder asked for ", 0), 0u)
            << result.message;
        EXPECT_NE(result.message.find(tail), std::string::npos) << result.message;
    }
}

// Coefficients beyond the limit, kept in memory by the decoder's own choice, would go to a
// backing store, which there is none of.
TEST(JpegDecode, ALargeProgressiveImageNeedsAllItsCoefficientsInMemory)
{
    const std::string bytes = testJpeg("large_progressive");
    const std::uint64_t least = leastMemory(bytes);
    DecodeLimits limits;
    limits.maxMemory = least - 1;
    const DecodeResult result = decode(bytes, limits);
    EXPECT_TRUE(result.overLimit);
    EXPECT_FALSE(result.finished);
    EXPECT_EQ(result.message, "Not decoded: the decoder needed more than the memory limit of " +
                                  std::to_string(least - 1) +
                                  " bytes (GLINTMARK_CHECK_MEMORY_MIB)");
}

TEST(JpegDecode, ADecodingEndsAtAStop)
{
    const std::string bytes = testJpeg("large_progressive");
    struct Case
    {
        const char* what;
        bool stopFirst; // set before decoding starts
        int stopAtRead; // set by the reader at this read (0: never)
        bool stopped;
    };
    const Case cases[] = {
        {"asked before it starts", true, 0, true},
        {"asked while it reads", false, 2, true},
        {"never asked", false, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::atomic<bool> stop{c.stopFirst};
        int reads = 0;
        const ImageBytesReader read = [&](std::uint64_t position, unsigned char* buffer,
                                          std::size_t count, std::error_code& ec) {
            if (++reads == c.stopAtRead)
                stop = true;
            return readerOf(bytes)(position, buffer, count, ec);
        };
        const DecodeResult result = features::decodeJpeg(read, bytes.size(), {}, &stop);
        EXPECT_EQ(result.stopped, c.stopped);
        EXPECT_EQ(result.finished, !c.stopped);
        EXPECT_EQ(result.decodes(), !c.stopped);
        if (c.stopAtRead != 0) {
            EXPECT_EQ(reads, c.stopAtRead) << "no more is read once the stop is seen";
        }
    }
}

// A stop asked for once the decoder holds every byte is seen all the same: between rows, not
// only when the decoder wants more bytes.
TEST(JpegDecode, AStopReachesADecoderThatHasReadEverything)
{
    // Padded so that its last read is a single small block that ends with the end marker.
    const std::string large = testJpeg("large_progressive");
    const std::string bytes = withComment(large, 3 * 65536 + 1000 - large.size() - 2);
    ASSERT_EQ(bytes.size(), 3u * 65536 + 1000);
    std::atomic<bool> stop{false};
    const ImageBytesReader read = [&](std::uint64_t position, unsigned char* buffer,
                                      std::size_t count, std::error_code& ec) {
        if (position + count == bytes.size())
            stop = true;
        return readerOf(bytes)(position, buffer, count, ec);
    };
    const DecodeResult result = features::decodeJpeg(read, bytes.size(), {}, &stop);
    EXPECT_TRUE(result.stopped);
    EXPECT_FALSE(result.finished);
    EXPECT_TRUE(features::decodeJpeg(readerOf(bytes), bytes.size(), {}).decodes());
}

TEST(JpegDecode, BytesThatCannotBeReadAreAFailedReadNotAVerdict)
{
    const std::string bytes = testJpeg("large_progressive");
    struct Case
    {
        const char* what;
        std::uint64_t failFrom; // reads from here fail
        bool withError;         // with an error, or only short
    };
    const Case cases[] = {
        {"the first read fails", 0, true},
        {"a later read fails", 70000, true},
        {"the bytes end early", 70000, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ImageBytesReader read = [&](std::uint64_t position, unsigned char* buffer,
                                          std::size_t count, std::error_code& ec) {
            if (position + count <= c.failFrom)
                return readerOf(bytes)(position, buffer, count, ec);
            if (c.withError)
                ec = std::make_error_code(std::errc::io_error);
            return c.withError ? std::size_t{0} : readerOf(bytes)(position, buffer, 10, ec);
        };
        const DecodeResult result = features::decodeJpeg(read, bytes.size(), {});
        EXPECT_TRUE(result.readFailed);
        EXPECT_FALSE(result.finished);
        EXPECT_FALSE(result.decodes());
        EXPECT_EQ(result.readError,
                  c.withError ? std::make_error_code(std::errc::io_error) : std::error_code());
    }
}

TEST(JpegDecode, OnlyTheImagesLengthIsRead)
{
    // An image followed by the start of another: only its own length is asked for, and the
    // decoder sees its end where the length ends.
    const std::string colour = testJpeg("colour");
    const std::string bytes = colour + testJpeg("grey");
    std::uint64_t furthest = 0;
    const ImageBytesReader read = [&](std::uint64_t position, unsigned char* buffer,
                                      std::size_t count, std::error_code& ec) {
        furthest = std::max<std::uint64_t>(furthest, position + count);
        return readerOf(bytes)(position, buffer, count, ec);
    };
    EXPECT_TRUE(features::decodeJpeg(read, colour.size(), {}).decodes());
    EXPECT_EQ(furthest, colour.size());
    const DecodeResult cut = features::decodeJpeg(read, colour.size() - 100, {});
    EXPECT_FALSE(cut.decodes());
    EXPECT_EQ(cut.message, referee(colour.substr(0, colour.size() - 100)).message);
}

TEST(JpegDecode, TheLimitsComeFromTheEnvironmentInWholeMebibytes)
{
    constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;
    struct Case
    {
        const char* value;      // null: unset
        std::uint64_t expected; // 0: the default
    };
    const Case cases[] = {
        {nullptr, 0},
        {"1", kMiB},
        {"300", 300 * kMiB},
        {"1048576", 1048576 * kMiB},
        {"0", 0},
        {"1048577", 0},
        {"", 0},
        {"12x", 0},
        {"x12", 0},
        {"-1", 0},
    };
    const DecodeLimits defaults;
    EXPECT_EQ(defaults.maxImageBytes, 256 * kMiB);
    EXPECT_EQ(defaults.maxMemory, 512 * kMiB);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value ? c.value : "unset");
        {
            const ScopedEnvironment image("GLINTMARK_CHECK_IMAGE_MIB", c.value);
            const ScopedEnvironment memory("GLINTMARK_CHECK_MEMORY_MIB", nullptr);
            const DecodeLimits limits = features::decodeLimits();
            EXPECT_EQ(limits.maxImageBytes, c.expected ? c.expected : defaults.maxImageBytes);
            EXPECT_EQ(limits.maxMemory, defaults.maxMemory);
        }
        {
            const ScopedEnvironment image("GLINTMARK_CHECK_IMAGE_MIB", nullptr);
            const ScopedEnvironment memory("GLINTMARK_CHECK_MEMORY_MIB", c.value);
            const DecodeLimits limits = features::decodeLimits();
            EXPECT_EQ(limits.maxImageBytes, defaults.maxImageBytes);
            EXPECT_EQ(limits.maxMemory, c.expected ? c.expected : defaults.maxMemory);
        }
    }
}

TEST(JpegDecode, AWholeImageInMemoryIsDecodedUnderTheEnvironmentsLimits)
{
    const std::string claim = claimingImage(2, 1024, 1024); // 3 MiB decoded
    const auto decodeWhole = [](const std::string& bytes) {
        return features::decodeJpeg(reinterpret_cast<const unsigned char*>(bytes.data()),
                                    bytes.size());
    };
    {
        const ScopedEnvironment image("GLINTMARK_CHECK_IMAGE_MIB", "2");
        EXPECT_TRUE(decodeWhole(claim).overLimit);
    }
    {
        const ScopedEnvironment image("GLINTMARK_CHECK_IMAGE_MIB", "3");
        EXPECT_FALSE(decodeWhole(claim).overLimit);
    }
    EXPECT_TRUE(decodeWhole(testJpeg("colour")).decodes());
    EXPECT_FALSE(decodeWhole(flippedBitsImage()).decodes())
        << "fed as from a file, not all at once";
}

} // namespace
} // namespace glintmark::featurestest
