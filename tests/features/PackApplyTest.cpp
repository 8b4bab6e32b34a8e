// Applying a pack, or edits chosen one by one: each of its textures goes wherever it stands, in
// every level and at every number (or to an edit's one place), judged as an edit is; an entry
// found nowhere is named; a refusal or a stop writes nothing.
#include "FeaturesTestSupport.h"

#include "features/putback/PackPutBack.h"
#include "features/putback/PutBackRun.h"
#include "support/Referees.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <map>
#include <vector>

namespace glintmark::featurestest {
namespace {

namespace fs = std::filesystem;
using features::PutBackStatus;
using Json = nlohmann::json;

struct Events : features::RunEvents
{
    int after = -1;
    int asked = 0;
    bool keepGoing() override
    {
        ++asked;
        return after < 0 || asked <= after;
    }
};

std::string texture(char letter)
{
    static const std::map<char, std::string> names = {
        {'A', "colour"}, {'B', "taller"}, {'C', "wider"}, {'D', "grey"}};
    return testJpeg(names.at(letter));
}

std::string edited(char letter)
{
    return reencoded(texture(letter), 20);
}

LevelBuilder levelOf(const std::string& letters, std::uint32_t seed)
{
    LevelBuilder level(seed);
    level.filler(250 + seed);
    for (const char letter : letters)
        level.image(texture(letter)).filler(120 + seed);
    return level;
}

// What sha256sum says of `bytes`.
std::string digestOf(const fs::path& dir, const std::string& bytes)
{
    writeBytes(dir / "digest.bin", bytes);
    std::string digest = testsupport::sha256sumOf(dir / "digest.bin");
    fs::remove(dir / "digest.bin");
    return digest;
}

// Writes a pack by hand into `pack`: for each texture its file's bytes, named by sha256sum of
// the texture.
void writePackOf(const fs::path& pack, const std::map<char, std::string>& files)
{
    fs::create_directories(pack);
    Json textures = Json::array();
    for (const auto& [letter, bytes] : files) {
        const std::string digest = digestOf(pack.parent_path(), texture(letter));
        ASSERT_EQ(digest.size(), 64u);
        writeBytes(pack / (digest + ".jpg"), bytes);
        const Referee original = referee(texture(letter));
        textures.push_back({{"sha256", digest},
                            {"width", original.width},
                            {"height", original.height},
                            {"components", original.components},
                            {"file", digest + ".jpg"}});
    }
    writeBytes(pack / "pack.json", Json{{"format", "glintmark-pack"},
                                        {"version", 1},
                                        {"digest", "sha256"},
                                        {"textures", textures}}
                                       .dump());
}

// `level` with every image whose letter has a file in `files` replaced by it and zero bytes.
std::string expectedLevel(const LevelBuilder& level, const std::string& letters,
                          const std::map<char, std::string>& files)
{
    std::string bytes = level.bytes();
    for (std::size_t i = 0; i < letters.size(); ++i) {
        const auto file = files.find(letters[i]);
        if (file == files.end())
            continue;
        const std::string original = level.image(i);
        bytes.replace(level.offset(i), original.size(),
                      file->second + std::string(original.size() - file->second.size(), '\0'));
    }
    return bytes;
}

// Writes each level of `levels` (relative path, or "" for one level, and its letters) below
// `dir`: the one level as level.ldb, a game's under game/.
std::map<std::string, LevelBuilder> writeLevels(const fs::path& dir,
                                                const std::map<std::string, std::string>& levels)
{
    std::map<std::string, LevelBuilder> built;
    std::uint32_t seed = 3;
    for (const auto& [relative, letters] : levels) {
        const fs::path file = relative.empty() ? dir / "level.ldb" : dir / "game" / relative;
        fs::create_directories(file.parent_path());
        built.emplace(relative, levelOf(letters, seed++));
        writeBytes(file, built.at(relative).bytes());
    }
    return built;
}

// Every refusal and passed-over file of `outcome`, a line each: the file and the reason.
std::string toldOf(const features::GamePutBackOutcome& outcome)
{
    std::string told;
    for (const auto* list : {&outcome.refused, &outcome.passedOver})
        for (const features::Refusal& refusal : *list)
            told += refusal.file.string() + " " + refusal.reason + "\n";
    for (const auto& level : outcome.levels)
        for (const features::Refusal& refusal : level.outcome.refused)
            told += refusal.file.string() + " " + refusal.reason + "\n";
    return told;
}

struct ApplyCase
{
    const char* what;
    std::map<std::string, std::string> levels; // relative path (or "" for one level): letters
    std::map<char, std::string> pack;
    PutBackStatus status;
    std::vector<std::string> changed{}; // the levels written anew
    std::string told{};                 // what a refusal or a passed-over entry says
    bool ignoreUnmatched = false;
    bool dryRun = false;
};

TEST(PackApply, EachTextureGoesWhereverItStands)
{
    if (!testsupport::sha256sumHere())
        GTEST_SKIP() << "no sha256sum to referee the digests here";
    const std::string junk = "\xFF\xD8\xFF\xE0 not an image";
    const std::vector<ApplyCase> cases = {
        {"the same level, a texture used twice",
         {{"", "ABAC"}},
         {{'A', edited('A')}},
         PutBackStatus::Written,
         {""}},
        {"an updated level: the texture moved",
         {{"", "DCBA"}},
         {{'B', edited('B')}},
         PutBackStatus::Written,
         {""}},
        {"two textures",
         {{"", "DCBA"}},
         {{'B', edited('B')}, {'D', edited('D')}},
         PutBackStatus::Written,
         {""}},
        {"a dry run",
         {{"", "ABAC"}},
         {{'A', edited('A')}},
         PutBackStatus::DryRun,
         {},
         "",
         false,
         true},
        {"an edit equal to its original",
         {{"", "ABAC"}},
         {{'A', texture('A')}},
         PutBackStatus::Written,
         {}},
        {"a game, in several levels",
         {{"a.ldb", "AB"}, {"maps/c.ldb", "CA"}, {"z.ldb", "D"}},
         {{'A', edited('A')}},
         PutBackStatus::Written,
         {"a.ldb", "maps/c.ldb"}},
        {"a game, an entry found nowhere",
         {{"a.ldb", "AB"}, {"maps/c.ldb", "CA"}},
         {{'A', edited('A')}, {'D', edited('D')}},
         PutBackStatus::Refused,
         {},
         "is the edit of a texture (" + std::to_string(referee(texture('D')).width) + "x" +
             std::to_string(referee(texture('D')).height) + ") that is in no level of"},
        {"a game, an entry found nowhere passed over",
         {{"a.ldb", "AB"}, {"maps/c.ldb", "CA"}},
         {{'A', edited('A')}, {'D', edited('D')}},
         PutBackStatus::Written,
         {"a.ldb", "maps/c.ldb"},
         "that is in no level of",
         true},
        {"a level, nothing matches, passed over",
         {{"", "ABC"}},
         {{'D', edited('D')}},
         PutBackStatus::Written,
         {},
         "that is in no level of",
         true},
        {"a level, nothing matches",
         {{"", "ABC"}},
         {{'D', edited('D')}},
         PutBackStatus::Refused,
         {},
         "that is in no level of"},
        {"an entry that does not decode",
         {{"a.ldb", "AB"}},
         {{'B', junk}},
         PutBackStatus::Refused,
         {},
         "(for image 2 of a.ldb)"},
        {"an entry too large for its place",
         {{"", "AB"}},
         {{'A', noiseJpeg(200, 200)}},
         PutBackStatus::Refused,
         {},
         "(for image 1 of level.ldb)"},
    };
    for (const ApplyCase& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path dir = freshTestFolder();
        features::PutBackSettings settings;
        const std::map<std::string, LevelBuilder> built = writeLevels(dir, c.levels);
        const bool game = c.levels.count("") == 0;
        settings.source = game ? dir / "game" : dir / "level.ldb";
        settings.into = game ? dir / "new" : dir / "new.ldb";
        settings.folder = dir / "pack";
        settings.ignoreUnmatched = c.ignoreUnmatched;
        settings.dryRun = c.dryRun;
        writePackOf(settings.folder, c.pack);
        Events events;
        const features::PutBackRun run = features::putBackSource(settings, events);
        EXPECT_TRUE(run.fromPack);
        if (std::string(c.what) == "an edit equal to its original") {
            const auto& levels = std::get<features::GamePutBackRun>(run.run).outcome.levels;
            ASSERT_EQ(levels.size(), 1u);
            EXPECT_EQ(levels[0].outcome.unchanged, 2u); // both places of A
            EXPECT_EQ(levels[0].outcome.images, 4u);
        }
        EXPECT_EQ(run.status(), c.status);
        const auto* applied = std::get_if<features::GamePutBackRun>(&run.run);
        ASSERT_NE(applied, nullptr);
        if (applied->outcome.error)
            ADD_FAILURE() << applied->outcome.error->message;
        const std::string told = toldOf(applied->outcome);
        if (!c.told.empty()) {
            EXPECT_NE(told.find(c.told), std::string::npos) << told;
            EXPECT_NE(told.find((dir / "pack").string() + "/"), std::string::npos) << told;
        } else {
            EXPECT_EQ(told, "");
        }
        for (const auto& [relative, letters] : c.levels) {
            const bool changed =
                std::find(c.changed.begin(), c.changed.end(), relative) != c.changed.end();
            const fs::path written = game ? settings.into / relative : settings.into;
            EXPECT_EQ(fs::exists(written), changed) << relative;
            if (changed) {
                EXPECT_TRUE(readBytes(written) ==
                            expectedLevel(built.at(relative), letters, c.pack))
                    << relative;
            }
        }
        if (c.changed.empty()) {
            EXPECT_FALSE(fs::exists(settings.into));
        }
        if (c.changed.empty() || c.dryRun)
            continue;
        // The same with no replacement held in memory: each is read and judged again as its
        // level is written, and must come out the same.
        fs::remove_all(settings.into);
        features::GamePutBackRequest again = applied->request;
        again.heldBytes = 0;
        Events second;
        const features::GamePutBackOutcome reread = features::applyPack(again, !game, second);
        EXPECT_EQ(reread.status, c.status);
        for (const auto& [relative, letters] : c.levels) {
            const fs::path written = game ? settings.into / relative : settings.into;
            if (std::find(c.changed.begin(), c.changed.end(), relative) != c.changed.end()) {
                EXPECT_TRUE(readBytes(written) ==
                            expectedLevel(built.at(relative), letters, c.pack))
                    << relative;
            }
        }
    }
}

TEST(PackApply, AStopLeavesNothing)
{
    if (!testsupport::sha256sumHere())
        GTEST_SKIP() << "no sha256sum to referee the digests here";
    for (const bool game : {false, true}) {
        SCOPED_TRACE(game);
        const fs::path dir = freshTestFolder();
        features::PutBackSettings settings;
        if (game) {
            fs::create_directories(dir / "game" / "maps");
            writeBytes(dir / "game" / "a.ldb", levelOf("AB", 1).bytes());
            writeBytes(dir / "game" / "maps" / "c.ldb", levelOf("CA", 2).bytes());
        } else {
            writeBytes(dir / "level.ldb", levelOf("ABCA", 1).bytes());
        }
        settings.source = game ? dir / "game" : dir / "level.ldb";
        settings.into = dir / "new";
        settings.folder = dir / "pack";
        writePackOf(settings.folder, {{'A', edited('A')}, {'C', edited('C')}});
        Events counting;
        ASSERT_EQ(features::putBackSource(settings, counting).status(), PutBackStatus::Written);
        ASSERT_GT(counting.asked, 3);
        fs::remove_all(settings.into);
        for (int after = 0; after < counting.asked; ++after) {
            SCOPED_TRACE(after);
            Events events;
            events.after = after;
            const features::PutBackRun run = features::putBackSource(settings, events);
            EXPECT_EQ(run.status(), PutBackStatus::Stopped);
            EXPECT_FALSE(fs::exists(settings.into));
            EXPECT_EQ(entriesIn(dir),
                      (std::vector<std::string>{game ? "game" : "level.ldb", "pack"}));
        }
    }
}

// A pack applied with a pack asked for is saved again: each entry that went back once, its file
// the entry's bytes as they were, under the texture's digest.
TEST(PackApply, WhatAPackPutBackCanBeSavedAsAPackAgain)
{
    if (!testsupport::sha256sumHere())
        GTEST_SKIP() << "no sha256sum to referee the digests here";
    const fs::path dir = freshTestFolder();
    writeBytes(dir / "level.ldb", levelOf("ABCA", 1).bytes());
    features::PutBackSettings settings;
    settings.source = dir / "level.ldb";
    settings.into = dir / "new.ldb";
    settings.folder = dir / "pack";
    settings.pack = dir / "again";
    writePackOf(settings.folder, {{'A', edited('A')}, {'C', edited('C')}});
    Events events;
    const features::PutBackRun run = features::putBackSource(settings, events);
    ASSERT_EQ(run.status(), PutBackStatus::Written);
    ASSERT_TRUE(run.pack.has_value());
    const std::string a = digestOf(dir, texture('A'));
    const std::string c = digestOf(dir, texture('C'));
    std::vector<std::string> expected{a + ".jpg", c + ".jpg", "pack.json"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(entriesIn(settings.pack), expected);
    EXPECT_EQ(readBytes(settings.pack / (a + ".jpg")), edited('A'));
    EXPECT_EQ(readBytes(settings.pack / (c + ".jpg")), edited('C'));
}

// The new level is never the level itself, under its own name or another (a hard link):
// refused, and the level keeps its bytes.
TEST(PackApply, TheLevelIsNeverWrittenOverItself)
{
    if (!testsupport::sha256sumHere())
        GTEST_SKIP() << "no sha256sum to referee the digests here";
    const fs::path dir = freshTestFolder();
    const std::string bytes = levelOf("ABCA", 1).bytes();
    writeBytes(dir / "level.ldb", bytes);
    std::error_code ec;
    fs::create_hard_link(dir / "level.ldb", dir / "link.ldb", ec);
    if (ec)
        GTEST_SKIP() << "no hard links here: " << ec.message();
    writePackOf(dir / "pack", {{'A', edited('A')}});
    for (const char* into : {"level.ldb", "link.ldb"}) {
        SCOPED_TRACE(into);
        features::PutBackSettings settings;
        settings.source = dir / "level.ldb";
        settings.into = dir / into;
        settings.folder = dir / "pack";
        Events events;
        const features::PutBackRun run = features::putBackSource(settings, events);
        EXPECT_NE(run.status(), PutBackStatus::Written);
        EXPECT_TRUE(readBytes(dir / "level.ldb") == bytes);
    }
}

// An entry saved as PNG is encoded for its place as a PNG edit is: libjpeg's own encoding of the
// pixels convert reads from it, at the quality reported, in the original's coding and sampling;
// the same when it is read again as its level is written.
TEST(PackApply, APngEntryIsEncodedForItsPlace)
{
    if (!testsupport::imageToolsHere())
        GTEST_SKIP() << "needs ImageMagick's convert and djpeg and cjpeg, its referees";
    const fs::path dir = freshTestFolder();
    constexpr int kNumber = 3;
    const std::string original = demoImage(kNumber).substr(0, demoEnd(kNumber));
    writeBytes(dir / "level.ldb", readBytes(demoLdb()));
    writeBytes(dir / "t.jpg", original);
    const std::string digest = digestOf(dir, original);
    ASSERT_EQ(digest.size(), 64u);
    fs::create_directories(dir / "pack");
    const fs::path png = dir / "pack" / (digest + ".png");
    ASSERT_TRUE(testsupport::runTool("djpeg -pnm " + testsupport::shellQuoted(dir / "t.jpg") +
                                     " | convert - -negate " + testsupport::shellQuoted(png)));
    const Referee was = referee(original);
    writeBytes(dir / "pack" / "pack.json", Json{{"format", "glintmark-pack"},
                                                {"version", 1},
                                                {"digest", "sha256"},
                                                {"textures",
                                                 {{{"sha256", digest},
                                                   {"width", was.width},
                                                   {"height", was.height},
                                                   {"components", was.components},
                                                   {"file", digest + ".png"}}}}}
                                               .dump());
    const std::optional<testsupport::ToolPicture> pixels =
        testsupport::convertPicture(png, was.components);
    ASSERT_TRUE(pixels);
    Referee decoded;
    decoded.width = pixels->width;
    decoded.height = pixels->height;
    decoded.pixels = pixels->pixels;
    decoded.pixelComponents = pixels->components;
    decoded.pixelColourSpace = pixels->components == 1 ? 1 : 2; // JCS_GRAYSCALE, JCS_RGB

    features::PutBackSettings settings;
    settings.source = dir / "level.ldb";
    settings.into = dir / "new.ldb";
    settings.folder = dir / "pack";
    Events events;
    const features::PutBackRun run = features::putBackSource(settings, events);
    ASSERT_EQ(run.status(), PutBackStatus::Written);
    const auto& applied = std::get<features::GamePutBackRun>(run.run);
    ASSERT_EQ(applied.outcome.levels.size(), 1u);
    ASSERT_EQ(applied.outcome.levels[0].outcome.replaced.size(), 1u);
    const features::Replacement& replacement = applied.outcome.levels[0].outcome.replaced[0];
    EXPECT_EQ(replacement.number, static_cast<std::uint64_t>(kNumber));
    ASSERT_TRUE(replacement.quality.has_value());
    RefereeEncoding encoding;
    encoding.quality = *replacement.quality;
    encoding.progressive = was.progressive;
    encoding.sampling = was.sampling;
    const std::string expected = refereeEncode(decoded, encoding);
    std::string level = readBytes(demoLdb());
    ASSERT_LE(expected.size(), original.size());
    level.replace(demoOffset(kNumber), original.size(),
                  expected + std::string(original.size() - expected.size(), '\0'));
    EXPECT_TRUE(readBytes(dir / "new.ldb") == level);

    // Not held in memory: read and encoded again as the level is written, the same bytes.
    fs::remove(dir / "new.ldb");
    features::GamePutBackRequest again = applied.request;
    again.heldBytes = 0;
    Events second;
    EXPECT_EQ(features::applyPack(again, true, second).status, PutBackStatus::Written);
    EXPECT_TRUE(readBytes(dir / "new.ldb") == level);
}

// One edit chosen on its own, as the texture window gathers them.
struct ChosenEdit
{
    char letter;             // the texture it is an edit of
    std::string bytes;       // its file's
    std::string onlyLevel{}; // with onlyNumber: its one place
    std::uint64_t onlyNumber = 0;
};

struct EditsCase
{
    const char* what;
    std::map<std::string, std::string> levels; // relative path (or "" for one level): letters
    std::vector<ChosenEdit> edits;
    PutBackStatus status;
    // Each level written anew: the image numbers replaced, each by the bytes of edit i.
    std::map<std::string, std::map<std::uint64_t, std::size_t>> replaced{};
    // What a refusal or a passed-over edit says; {i} stands for the path of edit i.
    std::string told{};
    bool ignoreUnmatched = false;
};

// Edits chosen file by file go wherever their texture stands, or to their one place, each read
// from wherever it lies; every level changed is the old one with those images replaced, held in
// memory or read again as it is written.
TEST(ApplyEdits, EachEditGoesEverywhereOrToItsOnePlace)
{
    if (!testsupport::sha256sumHere())
        GTEST_SKIP() << "no sha256sum to referee the digests here";
    const std::string a2 = reencoded(texture('A'), 35);
    const std::vector<EditsCase> cases = {
        {"a level, everywhere",
         {{"", "ABAC"}},
         {{'A', edited('A')}},
         PutBackStatus::Written,
         {{"", {{1, 0}, {3, 0}}}}},
        {"a level, one place",
         {{"", "ABAC"}},
         {{'A', edited('A'), "level.ldb", 3}},
         PutBackStatus::Written,
         {{"", {{3, 0}}}}},
        {"a level, one texture's two places each its own edit",
         {{"", "ABAC"}},
         {{'A', edited('A'), "level.ldb", 1}, {'A', a2, "level.ldb", 3}},
         PutBackStatus::Written,
         {{"", {{1, 0}, {3, 1}}}}},
        {"a game, everywhere",
         {{"a.ldb", "AB"}, {"maps/c.ldb", "CA"}, {"z.ldb", "D"}},
         {{'A', edited('A')}, {'D', edited('D')}},
         PutBackStatus::Written,
         {{"a.ldb", {{1, 0}}}, {"maps/c.ldb", {{2, 0}}}, {"z.ldb", {{1, 1}}}}},
        {"a game, one place",
         {{"a.ldb", "AB"}, {"maps/c.ldb", "CA"}},
         {{'A', edited('A'), "maps/c.ldb", 2}},
         PutBackStatus::Written,
         {{"maps/c.ldb", {{2, 0}}}}},
        {"a place that no longer holds the texture",
         {{"a.ldb", "AB"}, {"maps/c.ldb", "CA"}},
         {{'A', edited('A'), "a.ldb", 2}},
         PutBackStatus::Refused,
         {},
         "is the edit of image 2 of a.ldb, which no longer holds its texture"},
        {"a place that no longer holds the texture, passed over",
         {{"a.ldb", "AB"}, {"maps/c.ldb", "CA"}},
         {{'A', edited('A'), "a.ldb", 2}, {'B', edited('B')}},
         PutBackStatus::Written,
         {{"a.ldb", {{2, 1}}}},
         "is the edit of image 2 of a.ldb, which no longer holds its texture",
         true},
        {"a texture that is nowhere",
         {{"", "ABC"}},
         {{'D', edited('D')}},
         PutBackStatus::Refused,
         {},
         "that is in no level of"},
        {"two edits for one place",
         {{"", "ABAC"}},
         {{'A', edited('A')}, {'A', a2, "level.ldb", 3}},
         PutBackStatus::Refused,
         {},
         "{0} is not the only edit for image 3 of level.ldb: so is \"{1}\""},
        {"an edit too large for its place",
         {{"", "AB"}},
         {{'A', noiseJpeg(200, 200)}},
         PutBackStatus::Refused,
         {},
         "(for image 1 of level.ldb)"},
    };
    for (const EditsCase& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path dir = freshTestFolder();
        const std::map<std::string, LevelBuilder> built = writeLevels(dir, c.levels);
        const bool game = c.levels.count("") == 0;
        features::GamePutBackRequest request;
        request.game = game ? dir / "game" : dir / "level.ldb";
        request.into = game ? dir / "new" : dir / "new.ldb";
        request.ignoreUnmatched = c.ignoreUnmatched;
        std::vector<features::TextureEdit> edits;
        for (std::size_t i = 0; i < c.edits.size(); ++i) {
            const ChosenEdit& chosen = c.edits[i];
            // Each edit in a folder of its own, under a name no extraction gives.
            const fs::path file =
                dir / ("edits " + std::to_string(i)) / ("my edit (" + std::to_string(i) + ").jpg");
            fs::create_directories(file.parent_path());
            writeBytes(file, chosen.bytes);
            const Referee original = referee(texture(chosen.letter));
            features::TextureEdit edit;
            const auto digest = features::digestFromHex(digestOf(dir, texture(chosen.letter)));
            ASSERT_TRUE(digest.has_value());
            edit.texture = *digest;
            edit.width = original.width;
            edit.height = original.height;
            edit.components = original.components;
            edit.file = file;
            if (!chosen.onlyLevel.empty())
                edit.only = features::TexturePlace{chosen.onlyLevel, chosen.onlyNumber};
            edits.push_back(edit);
        }
        for (const std::uint64_t held : {std::uint64_t{64} << 20, std::uint64_t{0}}) {
            SCOPED_TRACE("held " + std::to_string(held));
            fs::remove_all(request.into);
            request.heldBytes = held;
            Events events;
            const features::GamePutBackOutcome outcome =
                features::applyEdits(request, edits, !game, events);
            EXPECT_EQ(outcome.status, c.status);
            if (outcome.error)
                ADD_FAILURE() << outcome.error->message;
            const std::string told = toldOf(outcome);
            std::string said = c.told;
            for (std::size_t i = 0; i < edits.size(); ++i) {
                const std::string mark = "{" + std::to_string(i) + "}";
                if (const std::size_t at = said.find(mark); at != std::string::npos)
                    said.replace(at, mark.size(), edits[i].file.string());
            }
            if (c.told.empty()) {
                EXPECT_EQ(told, "");
            } else {
                EXPECT_NE(told.find(said), std::string::npos) << told;
            }
            for (const auto& [relative, letters] : c.levels) {
                const fs::path written = game ? request.into / relative : request.into;
                const auto replaced = c.replaced.find(relative);
                EXPECT_EQ(fs::exists(written), replaced != c.replaced.end()) << relative;
                if (replaced == c.replaced.end())
                    continue;
                const LevelBuilder& level = built.at(relative);
                std::string expected = level.bytes();
                for (const auto& [number, edit] : replaced->second) {
                    const std::string& original = level.image(number - 1);
                    const std::string& bytes = c.edits[edit].bytes;
                    expected.replace(level.offset(number - 1), original.size(),
                                     bytes + std::string(original.size() - bytes.size(), '\0'));
                }
                EXPECT_TRUE(readBytes(written) == expected) << relative;
            }
            if (c.replaced.empty()) {
                EXPECT_FALSE(fs::exists(request.into));
            }
        }
    }
}

// Each pass tells the level it comes to: the search through every level, then the writing
// through the changed ones alone, so that a front end's bar and name follow both.
TEST(ApplyEdits, EachPassTellsTheLevelItIsAt)
{
    if (!testsupport::sha256sumHere())
        GTEST_SKIP() << "no sha256sum to referee the digests here";
    const fs::path dir = freshTestFolder();
    writeLevels(dir, {{"a.ldb", "AB"}, {"maps/c.ldb", "CA"}, {"z.ldb", "D"}});
    writeBytes(dir / "edit.jpg", edited('A'));
    features::TextureEdit edit;
    const auto digest = features::digestFromHex(digestOf(dir, texture('A')));
    ASSERT_TRUE(digest.has_value());
    edit.texture = *digest;
    edit.file = dir / "edit.jpg";
    features::GamePutBackRequest request;
    request.game = dir / "game";
    request.into = dir / "new";
    struct Steps : Events
    {
        std::vector<std::string> told;
        void onLevel(const features::LevelStep& step) override
        {
            told.push_back(std::to_string(step.index) + "/" + std::to_string(step.count) + " " +
                           step.name.generic_string() + (step.searching ? " searching" : ""));
        }
    } events;
    ASSERT_EQ(features::applyEdits(request, {edit}, false, events).status, PutBackStatus::Written);
    EXPECT_EQ(events.told,
              (std::vector<std::string>{"0/3 a.ldb searching", "1/3 maps/c.ldb searching",
                                        "2/3 z.ldb searching", "0/2 a.ldb", "1/2 maps/c.ldb"}));
}

} // namespace
} // namespace glintmark::featurestest
