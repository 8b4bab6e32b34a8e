#include "features/game/GameLevels.h"

#include "FeaturesTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace glintmark::features {
namespace {

using featurestest::freshTestFolder;
namespace fs = std::filesystem;

void writeBytes(const fs::path& file, const std::string& bytes)
{
    fs::create_directories(file.parent_path());
    featurestest::writeBytes(file, bytes);
}

std::vector<std::string> relativesOf(const std::vector<GameLevel>& levels)
{
    std::vector<std::string> names;
    for (const GameLevel& level : levels)
        names.push_back(level.relative.generic_string());
    return names;
}

TEST(GameLevels, FindsEveryLevelAtAnyDepthInAnyCaseSortedByPath)
{
    const fs::path game = freshTestFolder() / "game";
    for (const char* name : {"b.ldb", "a/z.LDB", "a/b/c.Ldb", "a/notes.txt", "a/ldb", "x.ldbx",
                             "aa.ldb", "c/.hidden.ldb"})
        writeBytes(game / name, "level");
    fs::create_directories(game / "empty" / "deeper");
    fs::create_directories(game / "folder.ldb");

    std::optional<ExtractError> error;
    const std::vector<GameLevel> levels = findLevels(
        game, [] { return true; }, error);
    EXPECT_FALSE(error);
    EXPECT_EQ(relativesOf(levels), (std::vector<std::string>{"a/b/c.Ldb", "a/z.LDB", "aa.ldb",
                                                             "b.ldb", "c/.hidden.ldb"}));
    for (const GameLevel& level : levels)
        EXPECT_EQ(level.file, game / level.relative);
}

#ifndef _WIN32
TEST(GameLevels, FollowsNoLinkOutOfTheGame)
{
    const fs::path root = freshTestFolder();
    const fs::path game = root / "game";
    writeBytes(root / "outside" / "far.ldb", "level");
    writeBytes(game / "inner" / "near.ldb", "level");
    fs::create_directory_symlink(root / "outside", game / "linked-folder");
    fs::create_directory_symlink(game / "inner", game / "inner-again");
    fs::create_symlink(root / "outside" / "far.ldb", game / "far-link.ldb");
    fs::create_symlink(game / "inner" / "near.ldb", game / "near-link.ldb");
    fs::create_symlink(root / "missing.ldb", game / "dangling.ldb");

    std::optional<ExtractError> error;
    const std::vector<GameLevel> levels = findLevels(
        game, [] { return true; }, error);
    EXPECT_FALSE(error);
    EXPECT_EQ(relativesOf(levels), (std::vector<std::string>{"inner/near.ldb", "near-link.ldb"}));
}
#endif

TEST(GameLevels, AGameFolderThatCannotBeOpenedIsNamed)
{
    const fs::path missing = freshTestFolder() / "no-such-game";
    std::optional<ExtractError> error;
    EXPECT_TRUE(findLevels(
                    missing, [] { return true; }, error)
                    .empty());
    ASSERT_TRUE(error);
    EXPECT_EQ(error->file, missing);
    EXPECT_NE(error->message.find("no-such-game"), std::string::npos) << error->message;
}

TEST(GameLevels, AStopEndsTheSearch)
{
    const fs::path game = freshTestFolder() / "game";
    for (int i = 0; i < 20; ++i)
        writeBytes(game / ("l" + std::to_string(i) + ".ldb"), "level");
    int asked = 0;
    std::optional<ExtractError> error;
    const auto levels = findLevels(
        game, [&asked] { return ++asked < 5; }, error);
    EXPECT_FALSE(error);
    EXPECT_LT(levels.size(), 5U);
}

TEST(GameLevels, ALevelsFolderIsItsPathWithoutTheExtension)
{
    EXPECT_EQ(levelFolderName("maps/castle.ldb").generic_string(), "maps/castle");
    EXPECT_EQ(levelFolderName("castle.LDB").generic_string(), "castle");
    EXPECT_EQ(levelFolderName("a.b/c.d.ldb").generic_string(), "a.b/c.d");
}

} // namespace
} // namespace glintmark::features
