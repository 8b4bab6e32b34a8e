// Decoding a run's images on threads: each gets the referee's verdict whatever the number of
// threads, a stop reaches a decoder in the middle of an image, and bytes that cannot be read back
// fail the source rather than give a verdict.
#include "FeaturesTestSupport.h"

#include "features/check/DecodePool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>

namespace glintmark::featurestest {
namespace {

namespace fs = std::filesystem;
using features::CheckedImage;
using features::DecodeOutcome;
using features::ImageBytesStore;

// A level of images of every kind: sound, damaged so that only decoding tells, cut between
// progressive scans, over the image limit, and with bytes behind the end marker.
LevelBuilder mixedLevel()
{
    const std::string large = testJpeg("large_progressive");
    LevelBuilder level(3);
    level.filler(700).image(testJpeg("colour")).filler(150);
    level.image(flippedBitsImage());
    level.image(testJpeg("grey")).filler(3000);
    level.image(large.substr(0, large.find("\xFF\xDA", large.find("\xFF\xDA") + 2)));
    level.image(claimingImage(2, 24000, 24000)).filler(40);
    level.image(large).filler(10);
    level.image(testJpeg("progressive"));
    return level;
}

// What the referee says of each image: its verdict (none over the limit) and the complaint.
struct Verdict
{
    std::optional<bool> decodes;
    std::string error;
};

std::vector<Verdict> verdictsOf(const std::vector<CheckedImage>& images)
{
    std::vector<Verdict> verdicts;
    for (const CheckedImage& image : images)
        verdicts.push_back({image.decodes, image.decodeError});
    return verdicts;
}

bool operator==(const Verdict& a, const Verdict& b)
{
    return a.decodes == b.decodes && a.error == b.error;
}

// Opens the level written at `file` as a run does and gives the store its bytes.
struct OpenedLevel
{
    RawFile file;
    FileIdentity identity;
};

OpenedLevel openLevel(const fs::path& file)
{
    OpenedLevel opened;
    std::error_code ec;
    opened.file = RawFile::openForReading(file, ec);
    EXPECT_FALSE(ec) << ec.message();
    opened.identity = opened.file.identity(ec);
    EXPECT_FALSE(ec) << ec.message();
    return opened;
}

TEST(DecodePool, EveryImageGetsTheRefereesVerdictOnAnyNumberOfThreads)
{
    const fs::path dir = freshTestFolder();
    const LevelBuilder level = mixedLevel();
    writeBytes(dir / "level.ldb", level.bytes());
    std::vector<Verdict> expected;
    std::uint64_t decodedBytes = 0;
    for (const CheckedImage& image : imagesOf(level)) {
        const std::uint64_t length = image.jpeg.end.value_or(image.size);
        decodedBytes += length;
        if (image.jpeg.width == 24000) {
            expected.push_back({std::nullopt, "Not decoded: it claims 24000x24000 pixels of 3 "
                                              "components, 1728000000 bytes decoded, 1459564544 "
                                              "over the image limit of 268435456 bytes "
                                              "(GLINTMARK_CHECK_IMAGE_MIB, at least 1648 to "
                                              "decode it)"});
            continue;
        }
        const Referee judged = referee(level.bytes().substr(image.offset, length));
        expected.push_back({judged.clean(), judged.clean() ? "" : judged.message});
    }
    ASSERT_EQ(expected.size(), 7u);
    EXPECT_EQ(std::count(expected.begin(), expected.end(), Verdict{true, ""}), 4);

    for (const unsigned threads : {0u, 1u, 2u, 5u, 64u}) {
        SCOPED_TRACE(threads);
        const OpenedLevel opened = openLevel(dir / "level.ldb");
        ImageBytesStore kept;
        kept.sourceOpened(opened.file, opened.identity);
        std::vector<CheckedImage> images = imagesOf(level);
        // A verdict from before is no verdict now.
        for (CheckedImage& image : images) {
            image.decodes = true;
            image.decodeError = "from before";
        }
        std::vector<Progress> heard;
        const DecodeOutcome outcome =
            features::decodeImages(kept, dir / "level.ldb", images, threads, {},
                                   [&](const Progress& progress) { heard.push_back(progress); });
        EXPECT_FALSE(outcome.stopped);
        EXPECT_FALSE(outcome.error.has_value());
        const std::vector<Verdict> found = verdictsOf(images);
        for (std::size_t i = 0; i < found.size(); ++i) {
            EXPECT_EQ(found[i].decodes, expected[i].decodes) << "image " << i + 1;
            EXPECT_EQ(found[i].error, expected[i].error) << "image " << i + 1;
        }
        // Progress never goes back and ends with every image and every byte decoded.
        ASSERT_FALSE(heard.empty());
        for (std::size_t i = 1; i < heard.size(); ++i) {
            EXPECT_GE(heard[i].imagesCompleted, heard[i - 1].imagesCompleted);
            EXPECT_GE(heard[i].bytesRead, heard[i - 1].bytesRead);
            EXPECT_GE(heard[i].percent, heard[i - 1].percent);
        }
        EXPECT_EQ(heard.back().imagesCompleted, 7u);
        EXPECT_EQ(heard.back().percent, 100);
        EXPECT_EQ(heard.back().bytesRead, decodedBytes);
    }
}

TEST(DecodePool, ImagesCopiedFromAPipeGetTheSameVerdicts)
{
    const fs::path dir = freshTestFolder();
    const LevelBuilder level = mixedLevel();
    writeBytes(dir / "level.ldb", level.bytes());
    const OpenedLevel opened = openLevel(dir / "level.ldb");
    ImageBytesStore fromFile;
    fromFile.sourceOpened(opened.file, opened.identity);
    std::vector<CheckedImage> expected = imagesOf(level);
    ASSERT_FALSE(features::decodeImages(fromFile, dir / "level.ldb", expected, 2, {}, {}).error);

    FileIdentity pipe;
    pipe.type = FileType::Other;
    ImageBytesStore copied;
    copied.sourceOpened(RawFile(), pipe);
    const std::string& bytes = level.bytes();
    for (std::size_t at = level.offset(0); at < bytes.size(); at += 1000)
        copied.imageBytes(at, bytes.data() + at, std::min<std::size_t>(1000, bytes.size() - at));
    std::vector<CheckedImage> images = imagesOf(level);
    const DecodeOutcome outcome = features::decodeImages(copied, "-", images, 3, {}, {});
    EXPECT_FALSE(outcome.error.has_value());
    EXPECT_TRUE(verdictsOf(images) == verdictsOf(expected));
}

// An image far larger than any texture, claimed by its frame header: decoding it takes seconds,
// and a stop asked for reaches the decoder in its midst, which gives it no verdict.
TEST(DecodePool, AStopReachesADecoderBusyInsideOneLargeImage)
{
    const fs::path dir = freshTestFolder();
    LevelBuilder level(5);
    level.image(claimingImage(5, 40000, 40000)).image(testJpeg("colour"));
    writeBytes(dir / "level.ldb", level.bytes());
    const ScopedEnvironment limit("GLINTMARK_CHECK_IMAGE_MIB", "4096");
    for (const unsigned threads : {1u, 2u}) {
        SCOPED_TRACE(threads);
        const OpenedLevel opened = openLevel(dir / "level.ldb");
        ImageBytesStore kept;
        kept.sourceOpened(opened.file, opened.identity);
        std::vector<CheckedImage> images = imagesOf(level);
        int asked = 0;
        int heardAfterStop = 0;
        const DecodeOutcome outcome = features::decodeImages(
            kept, dir / "level.ldb", images, threads, [&] { return ++asked < 2; },
            [&](const Progress&) { heardAfterStop += asked >= 2 ? 1 : 0; });
        EXPECT_TRUE(outcome.stopped);
        EXPECT_FALSE(outcome.error.has_value());
        EXPECT_EQ(asked, 2) << "not asked again once it said no";
        EXPECT_FALSE(images[0].decodes.has_value()) << "the large image was not decoded to its end";
        EXPECT_EQ(images[0].decodeError, "");
        if (threads == 1) {
            EXPECT_FALSE(images[1].decodes.has_value()) << "no image is begun after a stop";
        }
        // A hang guard, not a measure: the whole image would take hundreds of these rounds.
        EXPECT_LT(heardAfterStop, 100);
    }
}

TEST(DecodePool, NoImagesNoWork)
{
    ImageBytesStore kept;
    std::vector<CheckedImage> images;
    int calls = 0;
    const DecodeOutcome outcome = features::decodeImages(
        kept, "level.ldb", images, 4, [&] { return ++calls > 0; },
        [&](const Progress&) { ++calls; });
    EXPECT_FALSE(outcome.stopped);
    EXPECT_FALSE(outcome.error.has_value());
    EXPECT_EQ(calls, 0);
}

// A failure to read the images back is the source's failure, never a verdict on an image (the
// command line's case, here against the pool itself).
TEST(DecodePool, ImagesThatCannotBeReadBackFailTheSource)
{
    const fs::path dir = freshTestFolder();
    const fs::path source = dir / "level.ldb";
    writeBytes(source, readBytes(demoLdb()));
    struct Case
    {
        const char* what;
        FileType type;         // what the source is taken for
        const char* temporary; // the temporary folder, when changed
        std::string says;
    };
    const Case cases[] = {
        {"a source shorter than its images", FileType::Regular, nullptr,
         "Cannot read the images back from \"" + source.string() +
             "\" to decode them: it ended before the last image did"},
        {"no temporary folder for the copy", FileType::Other, "/nonexistent-folder",
         "Cannot keep the images of \"" + source.string() + "\" in a temporary file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        OpenedLevel opened = openLevel(source);
        opened.identity.type = c.type;
        ImageBytesStore kept;
        {
            // The temporary folder is TMPDIR on POSIX systems, TMP (then TEMP) on Windows.
            std::vector<std::unique_ptr<ScopedEnvironment>> changed;
            for (const char* variable : {"TMPDIR", "TMP", "TEMP"}) {
                if (c.temporary)
                    changed.push_back(std::make_unique<ScopedEnvironment>(variable, c.temporary));
            }
            kept.sourceOpened(opened.file, opened.identity);
        }
        std::vector<CheckedImage> images(1);
        images[0].offset = opened.identity.size - 100;
        images[0].size = 1000;
        const DecodeOutcome outcome = features::decodeImages(kept, source, images, 2, {}, {});
        ASSERT_TRUE(outcome.error.has_value());
        EXPECT_EQ(outcome.error->kind, ErrorKind::SourceRead);
        EXPECT_EQ(outcome.error->message.rfind(c.says, 0), 0u) << outcome.error->message;
        EXPECT_FALSE(images[0].decodes.has_value());
    }
}

TEST(DecodePool, TheThreadCountComesFromTheEnvironmentWithinBounds)
{
    const unsigned processors = std::max(1u, std::thread::hardware_concurrency());
    const std::pair<const char*, unsigned> cases[] = {
        {nullptr, processors}, {"1", 1},           {"7", 7},           {"64", 64},
        {"0", processors},     {"65", processors}, {"-3", processors}, {"many", processors},
    };
    for (const auto& [value, expected] : cases) {
        SCOPED_TRACE(value ? value : "unset");
        const ScopedEnvironment threads("GLINTMARK_CHECK_THREADS", value);
        EXPECT_EQ(features::decodeThreadCount(), expected);
    }
}

} // namespace
} // namespace glintmark::featurestest
