// A game's levels run one after another through one GameTextures: the index they make, and the
// files stored once as links, or kept as copies where no link can be made.
#include "features/game/GameTextures.h"

#include "FeaturesTestSupport.h"

#include "features/LevelExtraction.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <functional>
#include <string>
#include <vector>

namespace glintmark::features {
namespace {

namespace fs = std::filesystem;
using featurestest::freshTestFolder;
using featurestest::imageName;
using featurestest::readBytes;
using featurestest::testJpeg;
using featurestest::writeBytes;

struct Events : RunEvents
{
    std::function<bool()> going = [] { return true; };
    std::vector<ImageInfo> images; // as each level's run told of them
    bool keepGoing() override { return going(); }
    void onImage(const CheckedImage& image) override { images.push_back(image); }
};

// Runs one level of the game into `folder`.
LevelOutcome runLevel(GameTextures& textures, const fs::path& source, const fs::path& folder,
                      bool trim, unsigned writers, Events& events, RunMode mode = RunMode::Write)
{
    textures.beginLevel(source.filename(), folder);
    LevelRunSettings settings;
    settings.mode = mode;
    settings.trim = trim;
    settings.writers = writers;
    settings.textures = &textures;
    return extractLevel(source, folder, settings, events);
}

// Two levels: the colour texture three times (twice in the first level with the same bytes
// behind it, once in the second with others), and three textures used once.
struct TwoLevels
{
    std::string colour = testJpeg("colour");
    fs::path a;
    fs::path b;

    explicit TwoLevels(const fs::path& dir) : a(dir / "a.ldb"), b(dir / "b.ldb")
    {
        writeBytes(a,
                   "head" + colour + "AAA" + testJpeg("grey") + colour + "AAA" + testJpeg("wider"));
        writeBytes(b, "other head" + colour + "BB" + testJpeg("taller"));
    }
};

// The part files left in `folder`.
int partsIn(const fs::path& folder)
{
    int parts = 0;
    for (const std::string& name : featurestest::entriesIn(folder))
        parts += name.ends_with(".part") ? 1 : 0;
    return parts;
}

bool sameFile(const fs::path& one, const fs::path& other)
{
    return fs::equivalent(one, other);
}

TEST(GameTextures, IndexesEveryTextureAndStoresTheSameBytesOnce)
{
    const struct
    {
        bool trim;
        bool dedupe;
        std::uint64_t linked; // the colour texture's files that become links
    } rows[] = {
        {true, true, 2},  // every use of the texture: the trailing bytes are not written
        {false, true, 1}, // only the two slices with the same bytes behind the texture
        {true, false, 0}, // nothing stored once without --dedupe
        {false, false, 0},
    };
    for (const auto& row : rows) {
        for (const unsigned writers : {1U, 2U}) {
            SCOPED_TRACE(testing::Message()
                         << (row.trim ? "trimmed" : "whole slices")
                         << (row.dedupe ? ", deduplicated" : "") << ", " << writers << " writers");
            const fs::path dir = freshTestFolder();
            const TwoLevels game(dir);
            GameTextures textures(row.trim, row.dedupe);
            Events events;
            const fs::path outA = dir / "out" / "a";
            const fs::path outB = dir / "out" / "b";
            EXPECT_EQ(runLevel(textures, game.a, outA, row.trim, writers, events).result.count, 4U);
            EXPECT_EQ(runLevel(textures, game.b, outB, row.trim, writers, events).result.count, 2U);

            EXPECT_EQ(indexSummary(textures.index()), "6 textures in 2 levels, 4 distinct");
            ASSERT_EQ(textures.index().textures().size(), 4U);
            const Texture& colour = textures.index().textures().front();
            EXPECT_EQ(colour.bytes, game.colour.size());
            ASSERT_EQ(colour.in.size(), 3U);
            EXPECT_EQ(colour.in[2].level, 1U);
            EXPECT_EQ(colour.in[2].number, 1U);
            EXPECT_EQ(colour.in[2].offset, std::string("other head").size());

            EXPECT_EQ(textures.linked(), row.linked);
            EXPECT_EQ(textures.copies(), 0U);
            const fs::path a1 = outA / imageName(1);
            const fs::path a3 = outA / imageName(3);
            const fs::path b1 = outB / imageName(1);
            EXPECT_EQ(sameFile(a1, a3), row.dedupe);
            EXPECT_EQ(sameFile(a1, b1), row.dedupe && row.trim);
            EXPECT_FALSE(sameFile(a1, outA / imageName(2)));
            // Each file holds what it would hold without links.
            EXPECT_EQ(readBytes(a1), row.trim ? game.colour : game.colour + "AAA");
            EXPECT_EQ(readBytes(a3), row.trim ? game.colour : game.colour + "AAA");
            EXPECT_EQ(readBytes(b1), row.trim ? game.colour : game.colour + "BB");
            EXPECT_EQ(partsIn(outA), 0);
            // With writers, the second level's use is linked before anything of it is written;
            // one writing alone links after the level.
            ASSERT_EQ(events.images.size(), 6U);
            EXPECT_EQ(events.images[4].linked, writers > 1 && row.dedupe && row.trim);
            EXPECT_FALSE(events.images[2].linked); // a use of the level's own: after the level
        }
    }
}

TEST(GameTextures, ListingIndexesWithoutWritingAnything)
{
    const fs::path dir = freshTestFolder();
    const TwoLevels game(dir);
    GameTextures textures(false, true);
    Events events;
    runLevel(textures, game.a, dir / "out" / "a", false, 1, events, RunMode::ListOnly);
    runLevel(textures, game.b, dir / "out" / "b", false, 1, events, RunMode::ListOnly);
    EXPECT_EQ(indexSummary(textures.index()), "6 textures in 2 levels, 4 distinct");
    EXPECT_EQ(textures.linked(), 0U);
    EXPECT_FALSE(fs::exists(dir / "out"));
}

// A file swapped for another since its level was written is never linked to: the copy stays,
// and why is told once.
TEST(GameTextures, AFileReplacedSinceItWasWrittenIsNotLinkedTo)
{
    const fs::path dir = freshTestFolder();
    const TwoLevels game(dir);
    GameTextures textures(true, true);
    Events events;
    runLevel(textures, game.a, dir / "out" / "a", true, 1, events);
    EXPECT_EQ(textures.linked(), 1U);
    const fs::path a1 = dir / "out" / "a" / imageName(1);
    fs::remove(a1);
    writeBytes(a1, "put there by someone else");
    runLevel(textures, game.b, dir / "out" / "b", true, 1, events);

    EXPECT_EQ(textures.linked(), 1U);
    EXPECT_EQ(textures.copies(), 1U);
    ASSERT_TRUE(textures.linkProblem());
    EXPECT_EQ(textures.linkProblem()->file, dir / "out" / "b" / imageName(1));
    EXPECT_EQ(readBytes(dir / "out" / "b" / imageName(1)), game.colour);
    EXPECT_EQ(readBytes(a1), "put there by someone else");
    EXPECT_EQ(partsIn(dir / "out" / "b"), 0);
}

// A level folder gone since it was written makes a copy of what would have linked to it, and
// the next link to another level's file is made all the same.
TEST(GameTextures, AFolderGoneSinceOnlyMakesCopiesOfWhatWouldLinkThere)
{
    const fs::path dir = freshTestFolder();
    const std::string colour = testJpeg("colour");
    const std::string grey = testJpeg("grey");
    writeBytes(dir / "a.ldb", "a" + colour);
    writeBytes(dir / "b.ldb", "b" + grey);
    writeBytes(dir / "c.ldb", "c" + colour + grey + colour);
    GameTextures textures(true, true);
    Events events;
    runLevel(textures, dir / "a.ldb", dir / "out" / "a", true, 1, events);
    runLevel(textures, dir / "b.ldb", dir / "out" / "b", true, 1, events);
    fs::remove_all(dir / "out" / "b");
    runLevel(textures, dir / "c.ldb", dir / "out" / "c", true, 1, events);
    EXPECT_EQ(textures.linked(), 2U);
    EXPECT_EQ(textures.copies(), 1U);
    EXPECT_TRUE(sameFile(dir / "out" / "c" / imageName(3), dir / "out" / "a" / imageName(1)));
    EXPECT_EQ(readBytes(dir / "out" / "c" / imageName(2)), grey);
}

#ifndef _WIN32
// Folders on two file systems cannot share a file: the second keeps its copy.
TEST(GameTextures, AcrossDevicesTheFileStaysACopy)
{
    const fs::path dir = freshTestFolder();
    const fs::path other = fs::path("/dev/shm") / ("glintmark-" + dir.filename().string());
    struct stat here
    {
    };
    struct stat there
    {
    };
    std::error_code ec;
    fs::remove_all(other, ec);
    if (!fs::create_directories(other, ec) || ::stat(dir.c_str(), &here) != 0 ||
        ::stat(other.c_str(), &there) != 0 || here.st_dev == there.st_dev)
        GTEST_SKIP() << "no second file system at /dev/shm";
    const TwoLevels game(dir);
    GameTextures textures(true, true);
    Events events;
    runLevel(textures, game.a, dir / "out", true, 1, events);
    runLevel(textures, game.b, other / "b", true, 1, events);
    EXPECT_EQ(textures.linked(), 1U) << "within the first folder";
    EXPECT_EQ(textures.copies(), 1U);
    ASSERT_TRUE(textures.linkProblem());
    EXPECT_EQ(textures.linkProblem()->reason, std::errc::cross_device_link);
    EXPECT_EQ(readBytes(other / "b" / imageName(1)), game.colour);
    fs::remove_all(other);
}
#endif

// A stop while files become links leaves every file whole, linked or not, and ends the level as
// stopped.
TEST(GameTextures, AStopWhileLinkingLeavesEveryFileWhole)
{
    const fs::path dir = freshTestFolder();
    const std::string colour = testJpeg("colour");
    std::string level = "head";
    for (int i = 0; i < 6; ++i)
        level += colour;
    writeBytes(dir / "a.ldb", level);
    GameTextures textures(true, true);
    Events events;
    int asked = 0;
    bool linking = false;
    events.going = [&] { return !linking || ++asked < 3; };
    textures.beginLevel("a.ldb", dir / "out");
    LevelRunSettings settings;
    settings.trim = true;
    settings.writers = 1;
    settings.textures = &textures;
    // The run asks after every block; the linking starts once the source is read.
    struct Watch : RunEvents
    {
        Events& inner;
        bool& linking;
        Watch(Events& e, bool& l) : inner(e), linking(l) {}
        void onPhaseEnd(Phase phase) override { linking = linking || phase == Phase::Reading; }
        bool keepGoing() override { return inner.keepGoing(); }
    } watch(events, linking);
    const LevelOutcome outcome = extractLevel(dir / "a.ldb", dir / "out", settings, watch);
    EXPECT_EQ(outcome.result.status, RunStatus::Stopped);
    EXPECT_GE(textures.linked(), 1U);
    EXPECT_LT(textures.linked(), 5U);
    for (int n = 1; n <= 6; ++n)
        EXPECT_EQ(readBytes(dir / "out" / imageName(n)), colour) << n;
}

} // namespace
} // namespace glintmark::features
