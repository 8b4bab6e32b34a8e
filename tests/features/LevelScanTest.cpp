// The scan of a level for put-back: the originals it keeps, and the SHA-256 of each texture,
// taken as the bytes stream past, against sha256sum's of the texture's bytes.
#include "FeaturesTestSupport.h"

#include "features/putback/LevelScan.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>

namespace glintmark::featurestest {
namespace {

namespace fs = std::filesystem;

// What sha256sum says of `bytes`, the referee of every digest here.
std::string sha256sum(const fs::path& dir, const std::string& bytes)
{
    writeBytes(dir / "texture.bin", bytes);
    const std::string command = "sha256sum '" + (dir / "texture.bin").string() + "'";
    FILE* pipe = ::popen(command.c_str(), "r");
    EXPECT_NE(pipe, nullptr);
    if (pipe == nullptr)
        return {};
    char hex[65] = {};
    const std::size_t got = std::fread(hex, 1, 64, pipe);
    ::pclose(pipe);
    return std::string(hex, got);
}

TEST(LevelScan, ATexturesDigestIsOfItsBytesThroughItsEndMarkerWhateverTheBlocks)
{
    const fs::path dir = freshTestFolder();
    const std::string shared = testJpeg("colour");
    LevelBuilder level(5);
    level.filler(300).image(shared).filler(10);       // 1: the texture, a little behind it
    level.image(testJpeg("grey")).filler(70);         // 2: another
    level.image(shared).filler(400);                  // 3: the same texture, more behind it
    level.plainImage(90).filler(5);                   // 4: no end marker: its whole slice counts
    level.image(shared.substr(0, shared.size() - 2)); // 5: the texture cut short of its end
    writeBytes(dir / "level.ldb", level.bytes());
    const std::vector<std::string> textures = {shared, testJpeg("grey"), shared,
                                               level.expectedFile(3), level.expectedFile(4)};
    std::vector<std::string> expected;
    for (const std::string& texture : textures)
        expected.push_back(sha256sum(dir, texture));
    if (expected[0].empty())
        GTEST_SKIP() << "no sha256sum to referee the digests here";
    ASSERT_EQ(expected[0], expected[2]);
    ASSERT_NE(expected[0], expected[4]);

    for (const std::size_t block : {std::size_t{7}, std::size_t{300}, kDefaultBlockSize}) {
        SCOPED_TRACE("blocks of " + std::to_string(block));
        features::RunEvents events;
        std::map<std::uint64_t, std::string> digests;
        features::LevelScan scan(
            events, [](std::uint64_t number) { return number == 2 || number == 4; },
            [&](const ImageInfo& image, const features::Digest& texture) {
                digests[image.number] = features::digestHex(texture);
            });
        ExtractJob job;
        job.sourceFile = dir / "level.ldb";
        job.blockSize = block;
        std::error_code ec;
        RawFile source = RawFile::openForReading(job.sourceFile, ec);
        ASSERT_FALSE(ec) << ec.message();
        const ExtractResult listed = listOpenSource(job, source, &scan);
        ASSERT_EQ(listed.count, 5u);
        for (std::uint64_t number = 1; number <= 5; ++number)
            EXPECT_EQ(digests[number], expected[number - 1]) << "image " << number;
        ASSERT_EQ(scan.originals.size(), 2u);
        EXPECT_EQ(scan.original(4).offset, level.offset(3));
        EXPECT_EQ(scan.original(2).offset, level.offset(1));
    }
}

} // namespace
} // namespace glintmark::featurestest
