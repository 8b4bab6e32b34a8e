// A folder as a source: every level of the game extracted, the index of its distinct textures,
// textures stored once, and the game's page.
#include "CliTestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace glintmark::clitest {
namespace {

namespace fs = std::filesystem;

// Image `number` of the sample as cjpeg made it: its bytes through its end marker.
std::string demoImage(int number)
{
    const nlohmann::json image = demoManifest()["images"][number - 1];
    const std::string demo = readBytes(demoLdb());
    return demo.substr(image["offset"].get<std::size_t>(), image["jpegSize"].get<std::size_t>());
}

void plant(const fs::path& file, const std::string& bytes)
{
    fs::create_directories(file.parent_path());
    writeBytes(file, bytes);
}

// A game of three levels in nested folders: textures 1 and 2 used twice each, 3 once, one use
// of 1 with bytes behind its end marker; and a file that is no level.
fs::path plantGame(const fs::path& dir)
{
    const fs::path game = dir / "game";
    plant(game / "a.ldb", "head" + demoImage(1) + demoImage(2));
    plant(game / "maps" / "b.LDB", "other head" + demoImage(1) + "behind" + demoImage(3));
    plant(game / "maps" / "deep" / "c.ldb", demoImage(2));
    plant(game / "notes.txt", demoImage(3));
    return game;
}

// Each texture of the index by its number of uses, as "level#number" lists.
std::vector<std::string> usesOf(const nlohmann::json& index)
{
    std::vector<std::string> uses;
    for (const auto& texture : index["textures"]) {
        std::string places;
        for (const auto& use : texture["in"])
            places += use["level"].get<std::string>() + "#" +
                      std::to_string(use["number"].get<int>()) + " ";
        uses.push_back(places);
    }
    return uses;
}

TEST(CliGame, ExtractsEveryLevelIntoItsPathAndIndexesTheDistinctTextures)
{
    const fs::path dir = freshTestFolder();
    const fs::path game = plantGame(dir);
    const fs::path out = dir / "out";
    const CliRun run = runWith({"-o", out.string(), game.string()});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(fileNames(out / "a"), (std::vector<std::string>{imageName(1), imageName(2)}));
    EXPECT_EQ(fileNames(out / "maps" / "b"),
              (std::vector<std::string>{imageName(1), imageName(2)}));
    EXPECT_EQ(fileNames(out / "maps" / "deep" / "c"), std::vector<std::string>{imageName(1)});
    EXPECT_EQ(readBytes(out / "maps" / "b" / imageName(1)), demoImage(1) + "behind");
    EXPECT_EQ(fileNames(out), std::vector<std::string>{"textures.json"});
    EXPECT_EQ(run.out, "5 textures in 3 levels, 3 distinct; index: " +
                           (out / "textures.json").string() + "\n");

    const nlohmann::json index = nlohmann::json::parse(readBytes(out / "textures.json"));
    EXPECT_EQ(index["levels"],
              nlohmann::json::parse(R"(["a.ldb", "maps/b.LDB", "maps/deep/c.ldb"])"));
    EXPECT_EQ(usesOf(index),
              (std::vector<std::string>{"a.ldb#1 maps/b.LDB#1 ", "a.ldb#2 maps/deep/c.ldb#1 ",
                                        "maps/b.LDB#2 "}));
    const nlohmann::json wall = demoManifest()["images"][0];
    EXPECT_EQ(index["textures"][0]["width"], wall["width"]);
    EXPECT_EQ(index["textures"][0]["height"], wall["height"]);
    EXPECT_EQ(index["textures"][0]["bytes"], wall["jpegSize"]);
    EXPECT_EQ(index["textures"][0]["in"][1]["offset"], std::string("other head").size());
    EXPECT_EQ(index["textures"][0]["sha256"].get<std::string>().size(), 64U);
}

// A game's report gives its totals and where to look; a line per level only when asked for;
// nothing but errors when quiet.
TEST(CliGame, TheReportGivesTotalsAndWhereToLookAndEachLevelOnlyWhenVerbose)
{
    const fs::path dir = freshTestFolder();
    const fs::path game = plantGame(dir);
    const fs::path out = dir / "out";
    const std::string totals = "5 textures in 3 levels, 3 distinct";
    const std::string levels = "2 textures extracted from " + (game / "a.ldb").string() + " into " +
                               (out / "a").string() + "\n" + "2 textures extracted from " +
                               (game / "maps" / "b.LDB").string() + " into " +
                               (out / "maps" / "b").string() + "\n" + "1 texture extracted from " +
                               (game / "maps" / "deep" / "c.ldb").string() + " into " +
                               (out / "maps" / "deep" / "c").string() + "\n";
    const std::string index = "; index: " + (out / "textures.json").string() + "\n";
    const std::string page = "; open " + (out / "index.html").string() + "\n";
    struct Case
    {
        std::vector<std::string> options;
        std::string out;
    };
    const Case cases[] = {
        {{}, totals + index},
        {{"-v"}, levels + totals + index},
        {{"--verbose", "--gallery"}, levels + totals + page},
        {{"--gallery"}, totals + page},
        {{"--check"}, totals + "; 5 decode, 0 do not decode" + index},
        {{"-q"}, ""},
        {{"-q", "-v", "--gallery"}, ""},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.options;
        args.insert(args.end(), {"-o", out.string(), game.string()});
        SCOPED_TRACE(testing::PrintToString(args));
        const CliRun run = runWith(args);
        EXPECT_EQ(run.code, 0);
        EXPECT_EQ(run.out, c.out);
        EXPECT_EQ(run.err, "");
    }
}

// A level of the game that fails is named whatever the report leaves out, quiet included.
TEST(CliGame, AFailedLevelIsAlwaysNamed)
{
    const fs::path dir = freshTestFolder();
    const fs::path game = plantGame(dir);
    const fs::path out = dir / "out";
    // The folder the level "a" writes into cannot be made: a file stands at its name.
    fs::create_directories(out);
    writeBytes(out / "a", "in the way");
    for (const std::vector<std::string>& options : {std::vector<std::string>{}, {"-q"}, {"-v"}}) {
        std::vector<std::string> args = options;
        args.insert(args.end(), {"-o", out.string(), game.string()});
        SCOPED_TRACE(testing::PrintToString(args));
        const CliRun run = runWith(args);
        EXPECT_EQ(run.code, 1);
        EXPECT_NE(run.err.find((out / "a").string()), std::string::npos) << run.err;
        EXPECT_EQ(run.out.find("a.ldb"), std::string::npos) << run.out;
    }
}

// Put back into a game: the unchanged levels are counted, and named only when verbose.
TEST(CliGame, PutBackNamesUnchangedLevelsOnlyWhenVerbose)
{
    const fs::path dir = freshTestFolder();
    const fs::path game = plantGame(dir);
    const fs::path out = dir / "out";
    ASSERT_EQ(runWith({"-q", "-o", out.string(), game.string()}).code, 0);
    const std::string summary = "0 edited textures would go into 0 levels; 3 levels unchanged, "
                                "of 3 levels in " +
                                game.string() + " (dry run: nothing written)\n";
    struct Case
    {
        std::vector<std::string> options;
        std::string out;
    };
    const Case cases[] = {
        {{}, summary},
        {{"-v"}, "unchanged: a.ldb\nunchanged: maps/b.LDB\nunchanged: maps/deep/c.ldb\n" + summary},
        {{"-q", "-v"}, ""},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.options;
        args.insert(args.end(), {"--put-back", out.string(), "--list", game.string()});
        SCOPED_TRACE(testing::PrintToString(args));
        const CliRun run = runWith(args);
        EXPECT_EQ(run.code, 0) << run.err;
        EXPECT_EQ(run.out, c.out);
    }
}

// A put-back with no edit in it writes no level and says only that; it speaks of no pack.
TEST(CliGame, PutBackOfNoEditSaysSoAndNoMore)
{
    const fs::path dir = freshTestFolder();
    const fs::path game = plantGame(dir);
    const fs::path out = dir / "out";
    const fs::path into = dir / "new";
    ASSERT_EQ(runWith({"-q", "-o", out.string(), game.string()}).code, 0);
    const CliRun run =
        runWith({"--put-back", out.string(), "--into", into.string(), game.string()});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, "0 edited textures went into 0 levels under " + into.string() +
                           "; 3 levels unchanged, of 3 levels in " + game.string() + "\n");
    EXPECT_EQ(run.err, "");
}

// --list --json over the folder gives the index a writing run writes, and writes nothing.
TEST(CliGame, ListingGivesTheSameGroupingWithoutWriting)
{
    const fs::path dir = freshTestFolder();
    const fs::path game = plantGame(dir);
    ASSERT_EQ(runWith({"-q", "-o", (dir / "out").string(), game.string()}).code, 0);
    const CliRun listed =
        runWith({"--list", "--json", "-o", (dir / "none").string(), game.string()});
    ASSERT_EQ(listed.code, 0) << listed.err;
    EXPECT_FALSE(fs::exists(dir / "none"));
    const nlohmann::json report = nlohmann::json::parse(listed.out);
    EXPECT_EQ(report["textures"], nlohmann::json::parse(readBytes(dir / "out" / "textures.json")));
    EXPECT_EQ(report["sources"].size(), 3U);
    EXPECT_EQ(report["linked"], 0);
}

TEST(CliGame, DedupeStoresEachTextureOnceWithTrimAndEachSliceOnceWithout)
{
    for (const bool trim : {true, false}) {
        SCOPED_TRACE(trim ? "--trim" : "whole slices");
        const fs::path dir = freshTestFolder();
        const fs::path game = plantGame(dir);
        const fs::path out = dir / "out";
        std::vector<std::string> args = {"--dedupe", "--json", "-o", out.string(), game.string()};
        if (trim)
            args.insert(args.begin(), "--trim");
        const CliRun run = runWith(args);
        ASSERT_EQ(run.code, 0) << run.err;
        EXPECT_EQ(
            fs::equivalent(out / "a" / imageName(2), out / "maps" / "deep" / "c" / imageName(1)),
            true);
        EXPECT_EQ(fs::equivalent(out / "a" / imageName(1), out / "maps" / "b" / imageName(1)),
                  trim);
        EXPECT_EQ(readBytes(out / "maps" / "b" / imageName(1)),
                  trim ? demoImage(1) : demoImage(1) + "behind");
        EXPECT_EQ(nlohmann::json::parse(run.out)["linked"], trim ? 2 : 1);
        EXPECT_TRUE(hiddenIn(out / "a").empty() ||
                    hiddenIn(out / "a") == std::vector<std::string>{".glintmark.lock"});
    }
}

TEST(CliGame, TheGalleryShowsEachDistinctTextureOnceBesideEachLevelsPage)
{
    const fs::path dir = freshTestFolder();
    const fs::path game = plantGame(dir);
    const fs::path out = dir / "out";
    ASSERT_EQ(runWith({"-q", "--gallery", "-o", out.string(), game.string()}).code, 0);
    const std::string page = readBytes(out / "index.html");
    std::size_t figures = 0;
    for (std::size_t at = page.find("<figure"); at != std::string::npos;
         at = page.find("<figure", at + 1))
        ++figures;
    EXPECT_EQ(figures, 3U);
    EXPECT_NE(page.find("href=\"maps/deep/c/Vorlesk_0001.jpg\""), std::string::npos);
    EXPECT_TRUE(fs::exists(out / "maps" / "b" / "index.html"));
    // The game's page links to each level's page, and each level's page back to it.
    for (const char* level : {"a/index.html", "maps/b/index.html", "maps/deep/c/index.html"})
        EXPECT_NE(page.find(std::string("href=\"") + level + "\""), std::string::npos) << level;
    const std::pair<fs::path, const char*> backs[] = {
        {out / "a" / "index.html", "../index.html"},
        {out / "maps" / "b" / "index.html", "../../index.html"},
        {out / "maps" / "deep" / "c" / "index.html", "../../../index.html"}};
    for (const auto& [levelPage, back] : backs) {
        EXPECT_NE(readBytes(levelPage).find(std::string("id=\"game\" href=\"") + back + "\""),
                  std::string::npos)
            << levelPage;
    }
}

// Folders and files mixed: each file goes to the folder named after it, each level of a game to
// its path; two that would share a folder are refused before anything is written.
TEST(CliGame, FilesBesideAGameFollowTheirOwnRuleAndMustNotClash)
{
    const fs::path dir = freshTestFolder();
    const fs::path game = plantGame(dir);
    plant(dir / "extra" / "e.ldb", demoImage(4));
    plant(dir / "extra" / "a.ldb", demoImage(4));
    const fs::path out = dir / "out";
    const CliRun mixed =
        runWith({"-q", "-o", out.string(), game.string(), (dir / "extra" / "e.ldb").string()});
    ASSERT_EQ(mixed.code, 0) << mixed.err;
    EXPECT_EQ(fileNames(out / "e"), std::vector<std::string>{imageName(1)});
    const nlohmann::json index = nlohmann::json::parse(readBytes(out / "textures.json"));
    EXPECT_EQ(index["levels"].back(), "e.ldb");

    // The file first: each source keeps its own folder whatever the order.
    const fs::path before = dir / "before";
    ASSERT_EQ(
        runWith({"-q", "-o", before.string(), (dir / "extra" / "e.ldb").string(), game.string()})
            .code,
        0);
    EXPECT_EQ(fileNames(before / "e"), std::vector<std::string>{imageName(1)});
    EXPECT_EQ(fileNames(before / "a"), (std::vector<std::string>{imageName(1), imageName(2)}));
    EXPECT_EQ(fileNames(before / "maps" / "deep" / "c"), std::vector<std::string>{imageName(1)});

    const fs::path clashOut = dir / "clash";
    const CliRun clash =
        runWith({"-o", clashOut.string(), game.string(), (dir / "extra" / "a.ldb").string()});
    EXPECT_EQ(clash.code, 2);
    EXPECT_NE(clash.err.find("would both extract into"), std::string::npos) << clash.err;
    EXPECT_FALSE(fs::exists(clashOut));
}

TEST(CliGame, AFolderWithoutLevelsIsNamedAndFails)
{
    const fs::path dir = freshTestFolder();
    fs::create_directories(dir / "empty" / "sub");
    plant(dir / "empty" / "sub" / "readme.txt", "no level here");
    const CliRun run = runWith({"-o", (dir / "out").string(), (dir / "empty").string()});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("No level database (*.ldb) found in the game folder"), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("empty"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir / "out"));
}

// A game without its index writes only its levels, and its report points to no index.
TEST(CliGame, WithoutAnIndexTheReportPointsToNone)
{
    const fs::path dir = freshTestFolder();
    const fs::path game = plantGame(dir);
    const fs::path out = dir / "out";
    const CliRun run = runWith({"--no-index", "-o", out.string(), game.string()});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(fileNames(out), std::vector<std::string>{});
    EXPECT_EQ(fileNames(out / "a"), (std::vector<std::string>{imageName(1), imageName(2)}));
    EXPECT_EQ(run.out, "5 textures in 3 levels, 3 distinct\n");
}

// A level aimed at a game's folder is refused with exit code 2, and written with --force.
TEST(CliGame, AGamesFolderTakesNoOtherSourceUnlessForced)
{
    const fs::path dir = freshTestFolder();
    const fs::path game = plantGame(dir);
    const std::string out = (dir / "out").string();
    ASSERT_EQ(runWith({"-q", "-o", out, game.string()}).code, 0);
    const CliRun refused = runWith({"-o", out, demoLdb().string()});
    EXPECT_EQ(refused.code, 2);
    EXPECT_NE(refused.err.find("holds the textures of another game, of 3 levels (a.ldb, ...)"),
              std::string::npos)
        << refused.err;
    EXPECT_NE(refused.err.find("add --force"), std::string::npos) << refused.err;
    EXPECT_FALSE(fs::exists(dir / "out" / "Vorlesk_0001.jpg"));
    const CliRun forced = runWith({"--force", "-o", out, demoLdb().string()});
    EXPECT_EQ(forced.code, 0) << forced.err;
    EXPECT_TRUE(fs::exists(dir / "out" / "Vorlesk_0001.jpg"));
}

TEST(CliGame, ALevelNamedAsTheIndexIsRefusedBeforeAnythingIsWritten)
{
    const fs::path dir = freshTestFolder();
    const fs::path game = plantGame(dir);
    plant(game / "textures.json.ldb", demoImage(4));
    const CliRun run = runWith({"-o", (dir / "out").string(), game.string()});
    EXPECT_EQ(run.code, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("textures.json.ldb would extract into"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(dir / "out"));
}

TEST(CliGame, DedupeIsRefusedWhereNothingIsWritten)
{
    const fs::path dir = freshTestFolder();
    const fs::path game = plantGame(dir);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--dedupe", "--list", game.string()},
          std::vector<std::string>{"--dedupe", "--put-back", dir.string(), "--into",
                                   (dir / "n.ldb").string(), (game / "a.ldb").string()}}) {
        const CliRun run = runWith(args);
        EXPECT_EQ(run.code, 2) << args[1];
        EXPECT_NE(run.err.find(args[1] == "--list"
                                   ? "--list writes nothing, so it takes no --dedupe"
                                   : "--put-back writes only the new level, so it "
                                     "takes no --dedupe"),
                  std::string::npos)
            << run.err;
    }
}

} // namespace
} // namespace glintmark::clitest
