// Writing the edits a put-back judged good as a pack: each edited texture once, its file's bytes
// as the user saved them, named by its original's digest, with pack.json; nothing for a run
// that does not come through, and the pack's folder replaced whole or refused.
#include "FeaturesTestSupport.h"

#include "features/game/GameLevels.h"
#include "features/putback/PackWriter.h"
#include "features/putback/PutBackRun.h"
#include "support/Referees.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <map>
#include <set>

namespace glintmark::featurestest {
namespace {

namespace fs = std::filesystem;
using features::PutBackStatus;
using Json = nlohmann::json;

// Stops once `after` keepGoing() questions have been answered, when set.
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

// The textures of the cases, by letter.
std::string texture(char letter)
{
    static const std::map<char, std::string> names = {
        {'A', "colour"}, {'B', "taller"}, {'C', "wider"}, {'D', "grey"}};
    return testJpeg(names.at(letter));
}

// Texture `letter` as an editor saved it, at `quality`: smaller, so it fits its place.
std::string edited(char letter, int quality = 20)
{
    return reencoded(texture(letter), quality);
}

// What sha256sum says of `bytes`.
std::string digestOf(const fs::path& dir, const std::string& bytes)
{
    writeBytes(dir / "digest.bin", bytes);
    std::string digest = testsupport::sha256sumOf(dir / "digest.bin");
    fs::remove(dir / "digest.bin");
    return digest;
}

LevelBuilder levelOf(const std::string& letters, std::uint32_t seed)
{
    LevelBuilder level(seed);
    level.filler(300 + seed);
    for (const char letter : letters)
        level.image(texture(letter)).filler(150 + seed);
    return level;
}

// The index an extraction of `levels` (name in the index, file, letters) writes, each texture's
// digest by sha256sum and each file's size and time by stat.
std::string indexOf(const fs::path& dir,
                    const std::vector<std::tuple<std::string, fs::path, std::string>>& levels)
{
    Json sources = Json::array();
    Json names = Json::array();
    std::map<char, Json> uses;
    for (const auto& [name, file, letters] : levels) {
        const auto facts = testsupport::statOf(file);
        if (!facts)
            return {};
        names.push_back(name);
        sources.push_back({{"level", name}, {"size", facts->size}, {"modified", facts->modified}});
        for (std::size_t i = 0; i < letters.size(); ++i)
            uses[letters[i]].push_back(
                {{"level", name}, {"number", i + 1}, {"offset", 0}, {"written", 0}});
    }
    Json textures = Json::array();
    for (const auto& [letter, in] : uses)
        textures.push_back({{"sha256", digestOf(dir, texture(letter))},
                            {"width", 0},
                            {"height", 0},
                            {"bytes", 0},
                            {"in", in}});
    return Json{{"version", 3},    {"complete", true},   {"unread", Json::array()},
                {"levels", names}, {"sources", sources}, {"textures", textures}}
        .dump(2);
}

// The hidden folders a run left beside `place`.
std::vector<std::string> leftBeside(const fs::path& place)
{
    std::vector<std::string> left;
    for (const std::string& name : entriesIn(place.parent_path()))
        if (name.rfind("." + place.filename().string(), 0) == 0)
            left.push_back(name);
    return left;
}

// An edit of the case: the level's folder ("" for a single level), the file's number, the
// texture it is cut from and its bytes.
struct Edit
{
    std::string level;
    std::uint64_t number;
    char letter;
    std::string bytes;
};

struct WriteCase
{
    const char* what;
    bool game = false;
    bool indexed = false;
    bool everywhere = false;
    bool dryRun = false;
    std::vector<Edit> edits{};
    PutBackStatus status = PutBackStatus::Written;
    std::string packed{}; // the textures in the pack, by letter; empty: no pack at all
    std::string error{};  // what the pack's failure says
};

// The single level is ABAC; the game's levels are a.ldb (AB) and maps/c.ldb (CA).
const std::string kLevel = "ABAC";
const std::map<std::string, std::string> kGame = {{"a.ldb", "AB"}, {"maps/c.ldb", "CA"}};

class PackWrite : public ::testing::Test
{
protected:
    void SetUp() override { dir = freshTestFolder(); }

    // Writes the level or the game of `c` and its edits; the settings of its put-back.
    features::PutBackSettings prepare(const WriteCase& c)
    {
        features::PutBackSettings settings;
        std::vector<std::tuple<std::string, fs::path, std::string>> extracted;
        if (c.game) {
            std::uint32_t seed = 1;
            for (const auto& [relative, letters] : kGame) {
                fs::create_directories((dir / "game" / relative).parent_path());
                writeBytes(dir / "game" / relative, levelOf(letters, seed++).bytes());
                fs::create_directories(dir / "edits" / features::levelFolderName(relative));
                extracted.emplace_back(relative, dir / "game" / relative, letters);
            }
            settings.source = dir / "game";
            settings.into = dir / "new";
        } else {
            writeBytes(dir / "castle.ldb", levelOf(kLevel, 7).bytes());
            fs::create_directories(dir / "edits");
            extracted.emplace_back("castle.ldb", dir / "castle.ldb", kLevel);
            settings.source = dir / "castle.ldb";
            settings.into = dir / "new.ldb";
        }
        for (const Edit& edit : c.edits)
            writeBytes(dir / "edits" / edit.level / imageName(edit.number), edit.bytes);
        if (c.indexed)
            writeBytes(dir / "edits" / "textures.json", indexOf(dir, extracted));
        settings.folder = dir / "edits";
        settings.pack = dir / "pack";
        settings.everywhere = c.everywhere;
        settings.dryRun = c.dryRun;
        return settings;
    }

    // The pack holds exactly the textures `letters`: each file named by sha256sum of the
    // original texture, its bytes (by sha256sum) those of the edit file `files` gives, and
    // pack.json listing each with the original's frame as libjpeg reads it.
    void expectPack(const std::string& letters, const std::map<char, fs::path>& files)
    {
        const fs::path pack = dir / "pack";
        std::vector<std::string> expected = {"pack.json"};
        std::map<std::string, char> byDigest;
        for (const char letter : letters) {
            const std::string digest = digestOf(dir, texture(letter));
            ASSERT_EQ(digest.size(), 64u);
            byDigest[digest] = letter;
            expected.push_back(digest + ".jpg");
            EXPECT_EQ(testsupport::sha256sumOf(pack / (digest + ".jpg")),
                      testsupport::sha256sumOf(files.at(letter)))
                << letter;
        }
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(entriesIn(pack), expected);
        const Json description = Json::parse(readBytes(pack / "pack.json"));
        EXPECT_EQ(description.at("format"), "glintmark-pack");
        EXPECT_EQ(description.at("version"), 1);
        EXPECT_EQ(description.at("digest"), "sha256");
        ASSERT_EQ(description.at("textures").size(), letters.size());
        for (const Json& entry : description.at("textures")) {
            const std::string digest = entry.at("sha256");
            ASSERT_EQ(byDigest.count(digest), 1u) << digest;
            const Referee original = referee(texture(byDigest[digest]));
            EXPECT_EQ(entry.at("width"), original.width);
            EXPECT_EQ(entry.at("height"), original.height);
            EXPECT_EQ(entry.at("components"), original.components);
            EXPECT_EQ(entry.at("file"), digest + ".jpg");
        }
    }

    fs::path dir;
};

TEST_F(PackWrite, TheEditsThatGoBackAreWrittenOnceEach)
{
    if (!testsupport::sha256sumHere())
        GTEST_SKIP() << "no sha256sum to referee the digests here";
    const std::string a = edited('A');
    const std::vector<WriteCase> cases = {
        {"a level, by number",
         false,
         false,
         false,
         false,
         {{"", 2, 'B', edited('B')}},
         PutBackStatus::Written,
         "B"},
        {"a level, by texture",
         false,
         true,
         false,
         false,
         {{"", 2, 'B', edited('B')}},
         PutBackStatus::Written,
         "B"},
        {"a dry run",
         false,
         false,
         false,
         true,
         {{"", 4, 'C', edited('C')}},
         PutBackStatus::DryRun,
         "C"},
        {"a texture used twice, edited alike",
         false,
         false,
         false,
         false,
         {{"", 1, 'A', a}, {"", 3, 'A', a}},
         PutBackStatus::Written,
         "A"},
        {"an unchanged file is no edit",
         false,
         false,
         false,
         false,
         {{"", 2, 'B', texture('B')}, {"", 4, 'C', edited('C')}},
         PutBackStatus::Written,
         "C"},
        {"two edits, by texture",
         false,
         true,
         false,
         false,
         {{"", 1, 'A', a}, {"", 4, 'C', edited('C')}},
         PutBackStatus::Written,
         "AC"},
        {"a texture used twice, edited differently",
         false,
         false,
         false,
         false,
         {{"", 1, 'A', a}, {"", 3, 'A', edited('A', 40)}},
         PutBackStatus::Failed,
         "",
         "are two different edits of texture"},
        {"a refused run",
         false,
         false,
         false,
         false,
         {{"", 2, 'B', edited('B')}, {"", 4, 'C', noiseJpeg(300, 300)}},
         PutBackStatus::Refused,
         ""},
        {"a refused dry run",
         false,
         false,
         false,
         true,
         {{"", 9, 'B', edited('B')}},
         PutBackStatus::Refused,
         ""},
        {"a game, a shared texture edited alike in two levels",
         true,
         false,
         false,
         false,
         {{"a", 1, 'A', a}, {"maps/c", 2, 'A', a}},
         PutBackStatus::Written,
         "A"},
        {"a game, by texture",
         true,
         true,
         false,
         false,
         {{"a", 2, 'B', edited('B')}, {"maps/c", 1, 'C', edited('C')}},
         PutBackStatus::Written,
         "BC"},
        {"a game, everywhere",
         true,
         false,
         true,
         false,
         {{"a", 1, 'A', a}},
         PutBackStatus::Written,
         "A"},
        {"a game, a dry run",
         true,
         true,
         true,
         true,
         {{"maps/c", 2, 'A', a}},
         PutBackStatus::DryRun,
         "A"},
        {"a game, a texture edited differently in two levels",
         true,
         false,
         false,
         false,
         {{"a", 1, 'A', a}, {"maps/c", 2, 'A', edited('A', 40)}},
         PutBackStatus::Failed,
         "",
         "are two different edits of texture"},
        {"a game, refused",
         true,
         false,
         false,
         false,
         {{"a", 7, 'A', a}},
         PutBackStatus::Refused,
         ""},
    };
    for (const WriteCase& c : cases) {
        SCOPED_TRACE(c.what);
        dir = freshTestFolder() / "case";
        fs::create_directories(dir);
        ASSERT_EQ(features::levelFolderName("maps/c.ldb"), fs::path("maps/c"));
        const features::PutBackSettings settings = prepare(c);
        Events events;
        const features::PutBackRun run = features::putBackSource(settings, events);
        EXPECT_EQ(run.status(), c.status);
        EXPECT_FALSE(run.packRefused);
        EXPECT_EQ(leftBeside(dir / "pack"), std::vector<std::string>{});
        if (c.packed.empty()) {
            EXPECT_FALSE(fs::exists(dir / "pack"));
            if (!c.error.empty()) {
                ASSERT_TRUE(run.pack && run.pack->error);
                EXPECT_NE(run.pack->error->message.find(c.error), std::string::npos)
                    << run.pack->error->message;
            } else {
                EXPECT_FALSE(run.pack);
            }
            continue;
        }
        ASSERT_TRUE(run.pack);
        EXPECT_FALSE(run.pack->error);
        EXPECT_EQ(run.pack->entries.size(), c.packed.size());
        std::map<char, fs::path> files;
        for (const Edit& edit : c.edits) {
            if (c.packed.find(edit.letter) != std::string::npos)
                files.emplace(edit.letter, dir / "edits" / edit.level / imageName(edit.number));
        }
        expectPack(c.packed, files);
        EXPECT_EQ(fs::exists(settings.into), !c.dryRun);
    }
}

TEST_F(PackWrite, TheFileNameKeepsTheEditsExtensionInLowerCase)
{
    features::Digest digest{};
    digest[0] = 0xab;
    digest[31] = 0x01;
    const std::string hex = "ab" + std::string(60, '0') + "01";
    const std::vector<std::pair<fs::path, std::string>> cases = {
        {"edits/Vorlesk_0001.jpg", hex + ".jpg"},  {"edits/Vorlesk_0001.JPG", hex + ".jpg"},
        {"Vorlesk_0001.PnG", hex + ".png"},        {"edits/Vorlesk_0001", hex + ".jpg"},
        {"edits/Vorlesk_0001.", hex + ".jpg"},     {"a.b/c.jpeg", hex + ".jpeg"},
        {"edits/Vorlesk_0001.j pg", hex + ".jpg"}, {"edits/Vorlesk_0001.webp2", hex + ".webp2"},
    };
    for (const auto& [edit, name] : cases)
        EXPECT_EQ(features::packFileName(digest, edit), name) << edit;
}

// What stands at the pack's place before the run, and what becomes of it.
struct FolderCase
{
    const char* what;
    std::function<void(const fs::path&)> make; // makes what stands at the pack's place
    bool refused;
    std::string told{}; // the refusal's words
};

TEST_F(PackWrite, AnEarlierPackOrAnEmptyFolderIsReplacedWholeAndAnythingElseRefused)
{
    if (!testsupport::sha256sumHere())
        GTEST_SKIP() << "no sha256sum to referee the digests here";
    const std::vector<FolderCase> cases = {
        {"nothing there", [](const fs::path&) {}, false},
        {"missing folders above", [](const fs::path&) {}, false},
        {"an empty folder", [](const fs::path& at) { fs::create_directories(at); }, false},
        {"an earlier pack",
         [](const fs::path& at) {
             fs::create_directories(at);
             writeBytes(at / "pack.json", "{}");
             writeBytes(at / "stale.jpg", "old");
         },
         false},
        {"a folder of other files",
         [](const fs::path& at) {
             fs::create_directories(at);
             writeBytes(at / "notes.txt", "mine");
         },
         true, "which is no pack (it holds no pack.json) and is not empty"},
        {"a folder whose pack.json is a folder",
         [](const fs::path& at) { fs::create_directories(at / "pack.json"); }, true,
         "which is no pack"},
        {"the place of the new level", [](const fs::path&) {}, true,
         "would take the place of the new level(s); choose another folder"},
        {"the place of the edits", [](const fs::path&) {}, true,
         "would take the place of the edits"},
        {"a file", [](const fs::path& at) { writeBytes(at, "a file"); }, true, "is not a folder"},
#ifndef _WIN32
        {"a link to an earlier pack",
         [](const fs::path& at) {
             fs::create_directories(at.parent_path() / "real");
             writeBytes(at.parent_path() / "real" / "pack.json", "{}");
             fs::create_directory_symlink("real", at);
         },
         true, "is a link"},
#endif
    };
    for (const FolderCase& c : cases) {
        SCOPED_TRACE(c.what);
        dir = freshTestFolder() / "case";
        fs::create_directories(dir);
        WriteCase written{"", false, false, false, false, {{"", 2, 'B', edited('B')}}};
        features::PutBackSettings settings = prepare(written);
        if (std::string(c.what) == "missing folders above")
            settings.pack = dir / "deep" / "er" / "pack";
        if (std::string(c.what) == "the place of the new level")
            settings.pack = dir / "." / "new.ldb";
        if (std::string(c.what) == "the place of the edits")
            settings.pack = dir / "edits" / "";
        c.make(settings.pack);
        const std::string before =
            testsupport::treeListing(dir / "pack") + testsupport::treeListing(dir / "edits");
        Events events;
        const features::PutBackRun run = features::putBackSource(settings, events);
        if (c.refused) {
            ASSERT_TRUE(run.packRefused);
            EXPECT_NE(run.packRefused->message.find(c.told), std::string::npos)
                << run.packRefused->message;
            EXPECT_EQ(run.status(), PutBackStatus::Failed);
            EXPECT_FALSE(fs::exists(settings.into)) << "nothing is read or written";
            EXPECT_EQ(testsupport::treeListing(dir / "pack") +
                          testsupport::treeListing(dir / "edits"),
                      before);
            continue;
        }
        EXPECT_FALSE(run.packRefused);
        EXPECT_EQ(run.status(), PutBackStatus::Written);
        const std::string digest = digestOf(dir, texture('B'));
        EXPECT_EQ(entriesIn(settings.pack),
                  (std::vector<std::string>{digest + ".jpg", "pack.json"}));
        EXPECT_EQ(leftBeside(settings.pack), std::vector<std::string>{});
    }
}

TEST_F(PackWrite, AStopWhileThePackIsWrittenLeavesNoneOfIt)
{
    // Each stop point lies in the pack's writing: after the level's own questions.
    WriteCase c{"",    false, false,
                false, true,  {{"", 2, 'B', edited('B')}, {"", 4, 'C', edited('C')}}};
    const features::PutBackSettings settings = prepare(c);
    Events counting;
    const features::PutBackRun whole = features::putBackSource(settings, counting);
    ASSERT_EQ(whole.status(), PutBackStatus::DryRun);
    ASSERT_TRUE(whole.pack);
    const int all = counting.asked;
    Events levelOnly;
    features::PutBackSettings noPack = settings;
    noPack.pack.clear();
    ASSERT_EQ(features::putBackSource(noPack, levelOnly).status(), PutBackStatus::DryRun);
    ASSERT_GT(all, levelOnly.asked);
    for (int after = levelOnly.asked; after < all; ++after) {
        SCOPED_TRACE(after);
        fs::remove_all(settings.pack);
        Events events;
        events.after = after;
        const features::PutBackRun run = features::putBackSource(settings, events);
        EXPECT_EQ(run.status(), PutBackStatus::Stopped);
        EXPECT_FALSE(fs::exists(settings.pack));
        EXPECT_EQ(leftBeside(settings.pack), std::vector<std::string>{});
    }
}

} // namespace
} // namespace glintmark::featurestest
