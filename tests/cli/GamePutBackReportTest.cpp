#include "cli/report/GamePutBackReport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sstream>
#include <string>

namespace glintmark::clitest {
namespace {

using cli::reportGamePutBack;
using features::GamePutBackOutcome;
using features::GamePutBackRequest;
using features::LevelPutBack;
using features::PutBackStatus;
using features::Replacement;
using nlohmann::json;

GamePutBackRequest request(bool dryRun)
{
    GamePutBackRequest asked;
    asked.game = "game";
    asked.folder = "out";
    asked.into = dryRun ? "" : "new";
    asked.dryRun = dryRun;
    asked.everywhere = true;
    return asked;
}

Replacement placed(const char* file, std::uint64_t number)
{
    Replacement image;
    image.file = file;
    image.number = number;
    image.end = 500;
    image.length = 400;
    return image;
}

LevelPutBack level(const char* relative, std::vector<Replacement> replaced)
{
    LevelPutBack entry;
    entry.level.relative = relative;
    entry.into = std::filesystem::path("new") / relative;
    entry.outcome.images = 9;
    entry.outcome.replaced = std::move(replaced);
    return entry;
}

// Two edits, one of them in two levels and twice in one: each edit's places, in the game's
// order, then the unchanged levels and the summary; JSON says the same.
GamePutBackOutcome twoEdits(PutBackStatus status)
{
    GamePutBackOutcome outcome;
    outcome.status = status;
    outcome.levels.push_back(
        level("a.ldb", {placed("out/b/Vorlesk_0001.jpg", 2), placed("out/a/Vorlesk_0003.jpg", 3),
                        placed("out/b/Vorlesk_0001.jpg", 7)}));
    outcome.levels.push_back(level("b.ldb", {placed("out/b/Vorlesk_0001.jpg", 1)}));
    outcome.levels.push_back(level("maps/c.ldb", {}));
    return outcome;
}

TEST(GamePutBackReport, EachEditIsListedWithEveryLevelAndImageItWentInto)
{
    for (const bool dryRun : {false, true}) {
        SCOPED_TRACE(dryRun ? "dry run" : "written");
        const GamePutBackOutcome outcome =
            twoEdits(dryRun ? PutBackStatus::DryRun : PutBackStatus::Written);
        std::ostringstream out;
        std::ostringstream err;
        reportGamePutBack(request(dryRun), outcome, false, false, false, out, err);
        EXPECT_EQ(out.str(),
                  "out/a/Vorlesk_0003.jpg -> a.ldb image 3\n"
                  "out/b/Vorlesk_0001.jpg -> a.ldb images 2, 7; b.ldb image 1\n" +
                      std::string(dryRun ? "2 edited textures would go into 2 levels; 1 level "
                                           "unchanged, of 3 levels in game (dry run: nothing "
                                           "written)\n"
                                         : "2 edited textures went into 2 levels under new; 1 "
                                           "level unchanged, of 3 levels in game\n"));
        EXPECT_EQ(err.str(), "");

        std::ostringstream jsonOut;
        reportGamePutBack(request(dryRun), outcome, true, false, false, jsonOut, err);
        const json report = json::parse(jsonOut.str());
        EXPECT_EQ(report["status"], dryRun ? "dry-run" : "written");
        EXPECT_EQ(report["into"], dryRun ? json(nullptr) : json("new"));
        EXPECT_EQ(report["edits"][1]["places"],
                  json::parse(R"([{"level": "a.ldb", "numbers": [2, 7]},
                                  {"level": "b.ldb", "numbers": [1]}])"));
        EXPECT_EQ(report["levels"].size(), 2u);
        EXPECT_EQ(report["levels"][0]["replaced"][1]["slack"], 100);
        EXPECT_EQ(report["unchanged_levels"], json::parse(R"(["maps/c.ldb"])"));
    }
}

// An edited file linked under several levels' folders is told after the edits' lines, with each
// of its names and levels, and in the JSON report; quiet, it is not.
TEST(GamePutBackReport, AnEditedFileLinkedUnderSeveralLevelsIsTold)
{
    GamePutBackOutcome outcome;
    outcome.status = PutBackStatus::Written;
    outcome.levels.push_back(level("a.ldb", {placed("out/a/Vorlesk_0002.jpg", 2)}));
    outcome.levels.push_back(level("b.ldb", {placed("out/b/Vorlesk_0001.jpg", 1)}));
    outcome.levels.push_back(level("c.ldb", {placed("out/c/Vorlesk_0004.jpg", 4)}));
    outcome.sharedEdits.push_back(
        {{"out/a/Vorlesk_0002.jpg", "out/b/Vorlesk_0001.jpg", "out/c/Vorlesk_0004.jpg"},
         {"a.ldb", "b.ldb", "c.ldb"}});
    GamePutBackRequest asked = request(false);
    asked.everywhere = false;
    std::ostringstream out;
    std::ostringstream err;
    reportGamePutBack(asked, outcome, false, false, false, out, err);
    EXPECT_EQ(out.str(), "out/a/Vorlesk_0002.jpg -> a.ldb image 2\n"
                         "out/b/Vorlesk_0001.jpg -> b.ldb image 1\n"
                         "out/c/Vorlesk_0004.jpg -> c.ldb image 4\n"
                         "out/a/Vorlesk_0002.jpg is one file with out/b/Vorlesk_0001.jpg, "
                         "out/c/Vorlesk_0004.jpg (hard links, as --dedupe stores them): an edit "
                         "of it is an edit in each of its 3 levels: a.ldb, b.ldb, c.ldb\n"
                         "3 edited textures went into 3 levels under new; 0 levels unchanged, of "
                         "3 levels in game\n");
    std::ostringstream quiet;
    reportGamePutBack(asked, outcome, false, true, false, quiet, err);
    EXPECT_EQ(quiet.str(), "");
    EXPECT_EQ(err.str(), "");
    std::ostringstream jsonOut;
    reportGamePutBack(asked, outcome, true, false, false, jsonOut, err);
    EXPECT_EQ(json::parse(jsonOut.str())["shared_files"],
              json::parse(R"([{"files": ["out/a/Vorlesk_0002.jpg", "out/b/Vorlesk_0001.jpg",
                                         "out/c/Vorlesk_0004.jpg"],
                               "levels": ["a.ldb", "b.ldb", "c.ldb"]}])"));
}

// What changed in each level since the extraction is told before the edits, a level that went
// by number says so, and an extraction without an index says it once; JSON says the same.
TEST(GamePutBackReport, WhatChangedSinceTheExtractionIsToldPerLevel)
{
    GamePutBackOutcome outcome;
    outcome.status = PutBackStatus::Written;
    outcome.levels.push_back(level("a.ldb", {placed("out/a/Vorlesk_0004.jpg", 5)}));
    outcome.levels.back().outcome.since = {true, "", true, 4, 0, 1};
    outcome.levels.push_back(level("b.ldb", {}));
    outcome.levels.back().outcome.since = {true, "", false, 0, 0, 0};
    outcome.levels.push_back(level("c.ldb", {}));
    outcome.levels.back().outcome.since.byNumber = "out/textures.json does not list c.ldb";
    std::ostringstream out;
    std::ostringstream err;
    reportGamePutBack(request(false), outcome, false, false, false, out, err);
    EXPECT_EQ(out.str(), "a.ldb changed since it was extracted: 4 textures moved, 0 gone, 1 new\n"
                         "the edits for c.ldb went by number (out/textures.json does not list "
                         "c.ldb), so a change of it since the extraction cannot be seen\n"
                         "out/a/Vorlesk_0004.jpg -> a.ldb image 5\n"
                         "1 edited texture went into 1 level under new; 2 levels unchanged, of 3 "
                         "levels in game\n");
    std::ostringstream jsonOut;
    reportGamePutBack(request(false), outcome, true, false, false, jsonOut, err);
    const json report = json::parse(jsonOut.str());
    EXPECT_EQ(report["by_number"], nullptr);
    ASSERT_EQ(report["since_extraction"].size(), 2u);
    EXPECT_EQ(report["since_extraction"][0]["level"], "a.ldb");
    EXPECT_EQ(report["since_extraction"][0]["moved"], 4);
    EXPECT_EQ(report["since_extraction"][0]["new"], 1);
    EXPECT_EQ(report["since_extraction"][1]["level"], "c.ldb");
    EXPECT_TRUE(report["since_extraction"][1]["by_number"].is_string());

    // Without an index, one line for the whole game.
    outcome.levels.resize(1);
    outcome.levels.back().outcome.since = {};
    outcome.byNumber = "there is no textures.json beside them";
    std::ostringstream byNumber;
    reportGamePutBack(request(false), outcome, false, false, false, byNumber, err);
    EXPECT_EQ(byNumber.str().substr(0, byNumber.str().find('\n')),
              "the edits went by number (there is no textures.json beside them), so a change of "
              "the levels since the extraction cannot be seen");
    EXPECT_EQ(err.str(), "");
}

// Without --everywhere, an edit whose texture other levels hold is told with how many; JSON
// says the same.
TEST(GamePutBackReport, AnEditsTextureInOtherLevelsIsTold)
{
    GamePutBackOutcome outcome;
    outcome.status = PutBackStatus::Written;
    outcome.levels.push_back(level("a.ldb", {placed("out/a/Vorlesk_0002.jpg", 3)}));
    outcome.usedElsewhere.push_back({"out/a/Vorlesk_0002.jpg", "a.ldb", 9});
    std::ostringstream out;
    std::ostringstream err;
    reportGamePutBack(request(false), outcome, false, false, false, out, err);
    EXPECT_EQ(out.str(),
              "out/a/Vorlesk_0002.jpg -> a.ldb image 3\n"
              "out/a/Vorlesk_0002.jpg: its texture is also in 9 other levels of the "
              "extraction, which keep it as it was (--everywhere would put the edit "
              "there too)\n"
              "1 edited texture went into 1 level under new; 0 levels unchanged, of 1 level in "
              "game\n");
    std::ostringstream one;
    GamePutBackOutcome once = outcome;
    once.usedElsewhere[0].otherLevels = 1;
    reportGamePutBack(request(false), once, false, false, false, one, err);
    EXPECT_NE(one.str().find("also in 1 other level of the extraction, which keeps it as it was"),
              std::string::npos)
        << one.str();
    std::ostringstream jsonOut;
    reportGamePutBack(request(false), outcome, true, false, false, jsonOut, err);
    const json report = json::parse(jsonOut.str());
    ASSERT_EQ(report["used_elsewhere"].size(), 1u);
    EXPECT_EQ(report["used_elsewhere"][0]["file"], "out/a/Vorlesk_0002.jpg");
    EXPECT_EQ(report["used_elsewhere"][0]["level"], "a.ldb");
    EXPECT_EQ(report["used_elsewhere"][0]["other_levels"], 9);
    EXPECT_EQ(err.str(), "");
}

TEST(GamePutBackReport, UnchangedLevelsAreCountedAndNamedOnlyWhenVerbose)
{
    const GamePutBackOutcome outcome = twoEdits(PutBackStatus::Written);
    const std::string edits = "out/a/Vorlesk_0003.jpg -> a.ldb image 3\n"
                              "out/b/Vorlesk_0001.jpg -> a.ldb images 2, 7; b.ldb image 1\n";
    const std::string summary =
        "2 edited textures went into 2 levels under new; 1 level unchanged, of 3 levels in game\n";
    struct Case
    {
        const char* what;
        bool quiet;
        bool verbose;
        std::string out;
    };
    const Case cases[] = {
        {"usual", false, false, edits + summary},
        {"verbose", false, true, edits + "unchanged: maps/c.ldb\n" + summary},
        {"quiet", true, false, ""},
        {"quiet wins over verbose", true, true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::ostringstream out;
        std::ostringstream err;
        reportGamePutBack(request(false), outcome, false, c.quiet, c.verbose, out, err);
        EXPECT_EQ(out.str(), c.out);
        EXPECT_EQ(err.str(), "");
    }
}

TEST(GamePutBackReport, EveryRefusalIsNamedAndNothingIsListedAsDone)
{
    GamePutBackOutcome outcome = twoEdits(PutBackStatus::Refused);
    outcome.levels[2].outcome.refused.push_back(
        {4, "out/maps/c/Vorlesk_0004.jpg", "is 8\u00d78, image 4 is 16\u00d716"});
    outcome.refused.push_back({1, "out/b/Vorlesk_0001.jpg", "is another edit of ..."});
    std::ostringstream out;
    std::ostringstream err;
    reportGamePutBack(request(false), outcome, false, false, false, out, err);
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(err.str(), "glintmark-cli: out/maps/c/Vorlesk_0004.jpg is 8\u00d78, image 4 is "
                         "16\u00d716\n"
                         "glintmark-cli: out/b/Vorlesk_0001.jpg is another edit of ...\n"
                         "glintmark-cli: no level was written under new: 2 edited textures "
                         "cannot go back\n");
    std::ostringstream jsonOut;
    reportGamePutBack(request(false), outcome, true, false, false, jsonOut, err);
    const json report = json::parse(jsonOut.str());
    EXPECT_EQ(report["refused"][0]["level"], "maps/c.ldb");
    EXPECT_FALSE(report["refused"][1].contains("level"));
}

} // namespace
} // namespace glintmark::clitest
