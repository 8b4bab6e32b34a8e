// Edits tied to the textures they were cut from: the folder's index (textures.json) says which
// texture each file held, and put-back finds that texture in the level as it is now, however
// the numbers have moved, says what changed, and names an edit whose texture is gone.
#include "FeaturesTestSupport.h"

#include "features/game/GameLevels.h"
#include "features/putback/EditIndex.h"
#include "features/putback/GamePutBack.h"
#include "support/Referees.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <map>

namespace glintmark::featurestest {
namespace {

namespace fs = std::filesystem;
using features::PutBackStatus;
using Json = nlohmann::ordered_json;

struct Quiet : features::RunEvents
{
};

// The textures the cases are made of, by letter; E is the largest.
std::string texture(char letter)
{
    static const std::map<char, std::string> names = {
        {'A', "colour"}, {'B', "taller"}, {'C', "wider"}, {'D', "sampling444"}, {'E', "noisy"}};
    return testJpeg(names.at(letter));
}

// Texture `letter` as an editor saved it: smaller, so it fits its place.
std::string edited(char letter)
{
    return reencoded(texture(letter), 20);
}

LevelBuilder levelOf(const std::string& letters, std::uint32_t seed)
{
    LevelBuilder level(seed);
    level.filler(300);
    for (const char letter : letters)
        level.image(texture(letter)).filler(150);
    return level;
}

// What sha256sum says of `bytes`, written to a file of their own in `dir`.
std::string digestOf(const fs::path& dir, const std::string& bytes)
{
    writeBytes(dir / "digest.bin", bytes);
    const std::string digest = testsupport::sha256sumOf(dir / "digest.bin");
    fs::remove(dir / "digest.bin");
    return digest;
}

// One level as an extraction saw it: its name in the index, its file, and its textures.
struct Extracted
{
    std::string name;
    fs::path file;
    std::string letters;
};

// The index an extraction of `levels` writes, with each texture's digest from sha256sum and each
// level's size and last write from stat; empty when either referee is missing.
std::string indexOf(const fs::path& dir, const std::vector<Extracted>& levels, int version = 3)
{
    Json sources = Json::array();
    Json names = Json::array();
    std::map<char, Json> uses;
    for (const Extracted& level : levels) {
        const auto facts = testsupport::statOf(level.file);
        if (!facts)
            return {};
        names.push_back(level.name);
        sources.push_back(
            {{"level", level.name}, {"size", facts->size}, {"modified", facts->modified}});
        for (std::size_t i = 0; i < level.letters.size(); ++i)
            uses[level.letters[i]].push_back(
                {{"level", level.name}, {"number", i + 1}, {"offset", 0}, {"written", 0}});
    }
    Json textures = Json::array();
    for (const auto& [letter, in] : uses) {
        const std::string digest = digestOf(dir, texture(letter));
        if (digest.empty())
            return {};
        textures.push_back(
            {{"sha256", digest}, {"width", 0}, {"height", 0}, {"bytes", 0}, {"in", in}});
    }
    Json index = {{"version", version}, {"complete", true},   {"unread", Json::array()},
                  {"levels", names},    {"sources", sources}, {"textures", textures}};
    return index.dump(2);
}

// `level` with each image at the numbers `placed` gives replaced by its edit and zero bytes up
// to the original's length.
std::string withEdits(const LevelBuilder& level, const std::map<std::uint64_t, char>& placed)
{
    std::string bytes = level.bytes();
    for (const auto& [number, letter] : placed) {
        const std::string original = level.image(number - 1);
        const std::string edit = edited(letter);
        bytes.replace(level.offset(number - 1), original.size(),
                      edit + std::string(original.size() - edit.size(), '\0'));
    }
    return bytes;
}

struct LevelCase
{
    const char* name;
    std::string then;                     // the level extracted
    std::string now;                      // the level put back into
    std::map<std::uint64_t, char> edits;  // file number: the texture whose edit it holds
    std::map<std::uint64_t, char> placed; // image number now: the edit it takes
    PutBackStatus status = PutBackStatus::Written;
    std::string told{}; // a refusal's (or passed-over file's) words
    std::uint64_t moved = 0, gone = 0, added = 0;
    bool ignoreUnmatched = false;
    int version = 3; // of the index; 0 for none
    std::uint64_t unchanged = 0;
    bool rewritten = false; // the level written anew, its textures where they were
};

TEST(PutBackByTexture, EachEditGoesWhereItsTextureStandsNow)
{
    const std::vector<LevelCase> cases = {
        {"a larger texture inserted in front",
         "ABCD",
         "EABCD",
         {{4, 'D'}},
         {{5, 'D'}},
         PutBackStatus::Written,
         "",
         4,
         0,
         1,
         false,
         3,
         3},
        {"the level as extracted",
         "ABCD",
         "ABCD",
         {{4, 'D'}},
         {{4, 'D'}},
         PutBackStatus::Written,
         "",
         0,
         0,
         0,
         false,
         3,
         3},
        {"the level written anew, its textures in place",
         "ABCD",
         "ABCD",
         {{4, 'D'}},
         {{4, 'D'}},
         PutBackStatus::Written,
         "",
         0,
         0,
         0,
         false,
         3,
         3,
         true},
        {"two textures swapped",
         "ABC",
         "BAC",
         {{1, 'A'}},
         {{2, 'A'}},
         PutBackStatus::Written,
         "",
         2,
         0,
         0,
         false,
         3,
         2},
        {"a texture used twice goes by its rank",
         "ABAC",
         "EABAC",
         {{3, 'A'}},
         {{4, 'A'}},
         PutBackStatus::Written,
         "",
         4,
         0,
         1,
         false,
         3,
         3},
        {"the edited texture removed",
         "ABCD",
         "ABC",
         {{4, 'D'}},
         {},
         PutBackStatus::Refused,
         "its texture is no longer in",
         0,
         1,
         0,
         false,
         3,
         3},
        {"the edited texture removed, passed over",
         "ABCD",
         "ABC",
         {{4, 'D'}},
         {},
         PutBackStatus::Written,
         "its texture is no longer in",
         0,
         1,
         0,
         true,
         3,
         3},
        {"an unedited file of a removed texture",
         "ABCD",
         "ABC",
         {{2, 'B'}},
         {{2, 'B'}},
         PutBackStatus::Written,
         "",
         0,
         1,
         0,
         false,
         3,
         3},
        {"a texture now used fewer times",
         "ABA",
         "AB",
         {{3, 'A'}},
         {},
         PutBackStatus::Refused,
         "was cut from use 2 of its texture",
         0,
         1,
         0,
         false,
         3,
         2},
        {"no index: by number",
         "ABCD",
         "ABCD",
         {{4, 'D'}},
         {{4, 'D'}},
         PutBackStatus::Written,
         "",
         0,
         0,
         0,
         false,
         0,
         3},
        {"an older index: by number",
         "ABCD",
         "ABCD",
         {{4, 'D'}},
         {{4, 'D'}},
         PutBackStatus::Written,
         "",
         0,
         0,
         0,
         false,
         2,
         3},
        {"a newer index fails",
         "ABCD",
         "ABCD",
         {{4, 'D'}},
         {},
         PutBackStatus::Failed,
         "version 4",
         0,
         0,
         0,
         false,
         4,
         0},
    };
    for (const LevelCase& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path dir = freshTestFolder();
        fs::create_directories(dir / "edit");
        const LevelBuilder then = levelOf(c.then, 5);
        writeBytes(dir / "level.ldb", then.bytes());
        for (std::size_t i = 0; i < then.imageCount(); ++i)
            writeBytes(dir / "edit" / imageName(i + 1), then.expectedFile(i));
        if (c.version != 0) {
            const std::string index =
                indexOf(dir, {{"level.ldb", dir / "level.ldb", c.then}}, c.version);
            if (index.empty())
                GTEST_SKIP() << "no sha256sum or stat to ask";
            writeBytes(dir / "edit" / "textures.json", index);
        }
        // A level unlike the one extracted is written anew; the same stays as it was.
        const bool anew = c.now != c.then || c.rewritten;
        const LevelBuilder now = anew ? levelOf(c.now, 6) : then;
        if (anew) {
            // Its time of last write is not the extracted one's, however coarse the clock.
            const auto extractedAt = fs::last_write_time(dir / "level.ldb");
            writeBytes(dir / "level.ldb", now.bytes());
            fs::last_write_time(dir / "level.ldb", extractedAt + std::chrono::seconds(5));
        }
        for (const auto& [number, letter] : c.edits)
            writeBytes(dir / "edit" / imageName(number), edited(letter));

        features::PutBackRequest request{dir / "level.ldb", dir / "edit", dir / "new.ldb"};
        request.ignoreUnmatched = c.ignoreUnmatched;
        Quiet events;
        const features::PutBackOutcome outcome = features::putBack(request, events);

        EXPECT_EQ(outcome.status, c.status);
        const features::SinceExtraction& since = outcome.since;
        if (c.status == PutBackStatus::Failed) {
            ASSERT_TRUE(outcome.error);
            EXPECT_NE(outcome.error->message.find(c.told), std::string::npos)
                << outcome.error->message;
            EXPECT_NE(outcome.error->message.find("textures.json"), std::string::npos);
            EXPECT_FALSE(fs::exists(dir / "new.ldb"));
            continue;
        }
        EXPECT_EQ(since.byTexture, c.version == 3);
        EXPECT_EQ(!since.byNumber.empty(), c.version != 3);
        EXPECT_EQ(since.changed, c.version == 3 && anew);
        EXPECT_EQ(since.moved, c.moved);
        EXPECT_EQ(since.gone, c.gone);
        EXPECT_EQ(since.added, c.added);
        EXPECT_EQ(outcome.unchanged, c.unchanged);
        const auto& told = c.ignoreUnmatched ? outcome.passedOver : outcome.refused;
        if (c.told.empty()) {
            EXPECT_TRUE(outcome.refused.empty() && outcome.passedOver.empty());
        } else {
            ASSERT_EQ(told.size(), 1u);
            EXPECT_NE(told[0].reason.find(c.told), std::string::npos) << told[0].reason;
            EXPECT_EQ(told[0].file, dir / "edit" / imageName(c.edits.begin()->first));
        }
        std::map<std::uint64_t, char> placed;
        for (const features::Replacement& replacement : outcome.replaced) {
            for (const auto& [number, letter] : c.edits) {
                if (replacement.file.filename() == imageName(number))
                    placed[replacement.number] = letter;
            }
        }
        EXPECT_EQ(placed, c.placed);
        if (c.status == PutBackStatus::Written)
            EXPECT_TRUE(readBytes(dir / "new.ldb") == withEdits(now, c.placed));
        else
            EXPECT_FALSE(fs::exists(dir / "new.ldb"));
        EXPECT_TRUE(readBytes(dir / "level.ldb") == now.bytes());
    }
}

struct GameCase
{
    const char* name;
    bool everywhere = false;
    bool indexed = true;
    std::map<std::uint64_t, char> edits;   // a.ldb's folder: file number to the edit it holds
    std::map<std::uint64_t, char> placedA; // image number in the new a.ldb
    std::map<std::uint64_t, char> placedB; // image number in the new b.ldb (none: not written)
    PutBackStatus status = PutBackStatus::Written;
    std::size_t elsewhere = 0; // without --everywhere: the other levels told of for the edit
};

// A game of a.ldb = A B C D and b.ldb = B C, extracted; then a.ldb updated with the larger E
// inserted in front, and only a's files edited.
TEST(PutBackByTexture, AGameUpdatedSinceItsExtraction)
{
    const std::vector<GameCase> cases = {
        {"the edit of image 4 where D now stands", true, true, {{4, 'D'}}, {{5, 'D'}}, {}},
        {"a texture of both levels, everywhere", true, true, {{2, 'B'}}, {{3, 'B'}}, {{1, 'B'}}},
        {"a texture of both levels, its own place",
         false,
         true,
         {{2, 'B'}},
         {{3, 'B'}},
         {},
         PutBackStatus::Written,
         1},
        {"a texture of a only, its own place", false, true, {{4, 'D'}}, {{5, 'D'}}, {}},
        // Without the index the edit of image 4 meets C, which now stands there: refused, and
        // the outcome says the edits went by number.
        {"no index: by number", true, false, {{4, 'D'}}, {}, {}, PutBackStatus::Refused},
    };
    for (const GameCase& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path dir = freshTestFolder();
        fs::create_directories(dir / "game");
        const LevelBuilder a = levelOf("ABCD", 7);
        const LevelBuilder b = levelOf("BC", 8);
        writeBytes(dir / "game" / "a.ldb", a.bytes());
        writeBytes(dir / "game" / "b.ldb", b.bytes());
        for (const auto& [name, level] : {std::pair{"a", &a}, std::pair{"b", &b}}) {
            fs::create_directories(dir / "out" / name);
            for (std::size_t i = 0; i < level->imageCount(); ++i)
                writeBytes(dir / "out" / name / imageName(i + 1), level->expectedFile(i));
        }
        const std::string index = indexOf(dir, {{"a.ldb", dir / "game" / "a.ldb", "ABCD"},
                                                {"b.ldb", dir / "game" / "b.ldb", "BC"}});
        if (index.empty())
            GTEST_SKIP() << "no sha256sum or stat to ask";
        if (c.indexed)
            writeBytes(dir / "out" / "textures.json", index);
        const LevelBuilder updated = levelOf("EABCD", 9);
        writeBytes(dir / "game" / "a.ldb", updated.bytes());
        for (const auto& [number, letter] : c.edits)
            writeBytes(dir / "out" / "a" / imageName(number), edited(letter));

        features::GamePutBackRequest request;
        request.game = dir / "game";
        request.folder = dir / "out";
        request.into = dir / "new";
        request.everywhere = c.everywhere;
        Quiet events;
        const features::GamePutBackOutcome outcome = features::putBackGame(request, events);

        ASSERT_EQ(outcome.status, c.status) << (outcome.error ? outcome.error->message : "");
        ASSERT_EQ(outcome.levels.size(), 2u);
        const features::SinceExtraction& sinceA = outcome.levels[0].outcome.since;
        if (!c.indexed) {
            EXPECT_NE(outcome.byNumber.find("no textures.json"), std::string::npos);
            EXPECT_FALSE(sinceA.byTexture || sinceA.changed);
            // Every file of a meets the texture one place before its own, as before the index.
            const auto& refused = outcome.levels[0].outcome.refused;
            EXPECT_TRUE(std::any_of(refused.begin(), refused.end(), [](const auto& refusal) {
                return refusal.number == 4 && refusal.reason.find("image 4") != std::string::npos;
            }));
            EXPECT_FALSE(fs::exists(dir / "new"));
            continue;
        }
        EXPECT_TRUE(outcome.byNumber.empty());
        if (c.elsewhere == 0) {
            EXPECT_TRUE(outcome.usedElsewhere.empty());
        } else {
            ASSERT_EQ(outcome.usedElsewhere.size(), 1u);
            EXPECT_EQ(outcome.usedElsewhere[0].file.filename(), imageName(2));
            EXPECT_EQ(outcome.usedElsewhere[0].level, fs::path("a.ldb"));
            EXPECT_EQ(outcome.usedElsewhere[0].otherLevels, c.elsewhere);
        }
        EXPECT_TRUE(sinceA.byTexture && sinceA.changed);
        EXPECT_EQ(sinceA.moved, 4u);
        EXPECT_EQ(sinceA.added, 1u);
        EXPECT_EQ(sinceA.gone, 0u);
        EXPECT_TRUE(readBytes(dir / "new" / "a.ldb") == withEdits(updated, c.placedA));
        if (c.placedB.empty())
            EXPECT_FALSE(fs::exists(dir / "new" / "b.ldb"));
        else
            EXPECT_TRUE(readBytes(dir / "new" / "b.ldb") == withEdits(b, c.placedB));
        EXPECT_TRUE(readBytes(dir / "game" / "b.ldb") == b.bytes());
    }
}

struct IndexCase
{
    const char* name;
    std::string text;
    std::string byNumber{}; // words of why the edits go by number
    std::string error{};    // words of the error
};

TEST(PutBackByTexture, AnIndexIsReadOrNamedWithItsFault)
{
    const std::string digest(64, 'a');
    const std::string good = R"({"version": 3, "levels": ["x.ldb"],
        "sources": [{"level": "x.ldb", "size": 10, "modified": null}],
        "textures": [{"sha256": ")" +
                             digest + R"(", "in": [
            {"level": "x.ldb", "number": 2}, {"level": "x.ldb", "number": 1}]}]})";
    const std::vector<IndexCase> cases = {
        {"an index of version 3", good},
        {"no version: the first", R"({"levels": [], "textures": []})", "version 1"},
        {"version 2", R"({"version": 2, "levels": [], "textures": []})", "version 2"},
        {"a newer version", R"({"version": 4})", "", "version 4"},
        {"not JSON", "{\"version\": 3,", "", "not a JSON object"},
        {"no sources", R"({"version": 3, "levels": [], "textures": []})", "", "\"sources\""},
        {"a digest that is none", R"({"version": 3, "levels": [], "sources": [],
            "textures": [{"sha256": "xyz", "in": []}]})",
         "", "no SHA-256"},
        {"a use of a level not listed",
         R"({"version": 3, "levels": [], "sources": [],
            "textures": [{"sha256": ")" +
             digest + R"(", "in": [{"level": "y", "number": 1}]}]})",
         "", "not among"},
        {"a number that is none",
         R"({"version": 3, "levels": ["x"], "sources": [],
            "textures": [{"sha256": ")" +
             digest + R"(", "in": [{"level": "x", "number": -1}]}]})",
         "", "whole number"},
    };
    for (const IndexCase& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path dir = freshTestFolder();
        writeBytes(dir / "textures.json", c.text);
        const features::EditIndexRead read = features::readEditIndex(dir / "textures.json");
        if (!c.error.empty()) {
            ASSERT_TRUE(read.error);
            EXPECT_NE(read.error->message.find(c.error), std::string::npos) << read.error->message;
            EXPECT_NE(read.error->message.find("textures.json"), std::string::npos);
            EXPECT_FALSE(read.index);
            continue;
        }
        EXPECT_FALSE(read.error) << read.error->message;
        if (!c.byNumber.empty()) {
            EXPECT_FALSE(read.index);
            EXPECT_NE(read.byNumber.find(c.byNumber), std::string::npos) << read.byNumber;
            continue;
        }
        ASSERT_TRUE(read.index);
        const features::IndexedLevel* level = read.index->level("x.ldb");
        ASSERT_NE(level, nullptr);
        EXPECT_EQ(level->size, std::optional<std::uint64_t>(10));
        EXPECT_FALSE(level->modified);
        ASSERT_EQ(level->images.size(), 2u);
        EXPECT_EQ(level->images[0].first, 1u); // in order of number, as listed or not
        EXPECT_EQ(level->images[1].first, 2u);
        EXPECT_EQ(features::digestHex(level->images[0].second), digest);
    }
    // A folder, or a device, at the index's name is no index: named, not read.
    const fs::path folder = freshTestFolder() / "textures.json";
    fs::create_directories(folder);
    const features::EditIndexRead notAFile = features::readEditIndex(folder);
    ASSERT_TRUE(notAFile.error);
    EXPECT_FALSE(notAFile.index);
#ifndef _WIN32
    const fs::path device = freshTestFolder() / "textures.json";
    fs::create_symlink("/dev/null", device);
    const features::EditIndexRead notRegular = features::readEditIndex(device);
    ASSERT_TRUE(notRegular.error);
    EXPECT_NE(notRegular.error->message.find("is not a regular file"), std::string::npos)
        << notRegular.error->message;
#endif
    const features::EditIndexRead none =
        features::readEditIndex(freshTestFolder() / "textures.json");
    EXPECT_FALSE(none.index || none.error);
    EXPECT_NE(none.byNumber.find("no textures.json"), std::string::npos);
}

} // namespace
} // namespace glintmark::featurestest
