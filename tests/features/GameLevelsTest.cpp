#include "features/game/GameLevels.h"

#include "FeaturesTestSupport.h"
#include "engine/io/PathText.h"
#include "support/NoFileOverride.h"

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

#ifndef _WIN32
// A folder inside the game that cannot be read is named with its reason and passed over: every
// level outside it is still found, before it and after it in sorted order. Without a list to
// take it (a put-back, which is all or nothing), it is the error.
TEST(GameLevels, AFolderThatCannotBeReadIsNamedAndPassedOver)
{
    const fs::path game = freshTestFolder() / "game";
    for (const char* name : {"a/1.ldb", "b/2.ldb", "c/3.ldb", "d/4.ldb", "d/e/5.ldb", "z.ldb"})
        writeBytes(game / name, "level");
    fs::create_directories(game / "d" / "locked");
    const testsupport::NoFileOverride asUser;
    fs::permissions(game / "c", fs::perms::none);
    fs::permissions(game / "d" / "locked", fs::perms::none);
    std::error_code probe;
    const fs::directory_iterator tried(game / "c", probe);
    if (!asUser.arranged() || !probe) {
        fs::permissions(game / "c", fs::perms::owner_all);
        fs::permissions(game / "d" / "locked", fs::perms::owner_all);
        GTEST_SKIP() << "folder permissions do not hold here";
    }

    std::optional<ExtractError> error;
    std::vector<UnreadFolder> unread;
    const std::vector<GameLevel> levels = findLevels(
        game, [] { return true; }, error, &unread);
    EXPECT_FALSE(error);
    EXPECT_EQ(relativesOf(levels),
              (std::vector<std::string>{"a/1.ldb", "b/2.ldb", "d/4.ldb", "d/e/5.ldb", "z.ldb"}));
    ASSERT_EQ(unread.size(), 2U);
    EXPECT_EQ(unread[0].relative.generic_string(), "c");
    EXPECT_EQ(unread[1].relative.generic_string(), "d/locked");
    EXPECT_EQ(unread[0].error.file, game / "c");
    const std::string reason = std::make_error_code(std::errc::permission_denied).message();
    EXPECT_NE(unread[0].error.message.find(reason), std::string::npos) << unread[0].error.message;
    EXPECT_NE(unread[0].error.message.find(displayPath(game / "c")), std::string::npos);

    std::optional<ExtractError> whole;
    findLevels(
        game, [] { return true; }, whole);
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->file, game / "c");

    fs::permissions(game / "c", fs::perms::owner_all);
    fs::permissions(game / "d" / "locked", fs::perms::owner_all);
}
#endif

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
