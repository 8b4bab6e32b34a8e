// Putting edited images back into a whole game: which levels are written and with what, an edit
// that goes everywhere its original's texture stands, and that a refusal, a failure or a stop
// leaves none of the new levels behind.
#include "FeaturesTestSupport.h"

#include "engine/io/PathText.h"
#include "features/putback/GamePutBack.h"
#include "features/putback/NewGameFolder.h"
#include "support/Referees.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>

#ifndef _WIN32
#include <sys/resource.h>
#endif

namespace glintmark::featurestest {
namespace {

namespace fs = std::filesystem;
using features::GamePutBackOutcome;
using features::GamePutBackRequest;
using features::Phase;
using features::PutBackStatus;

// Hears every phase's progress in order, and stops when `stop` says so.
struct Recorder : features::RunEvents
{
    std::vector<std::pair<Phase, Progress>> heard;
    std::function<bool(const Recorder&)> stop;
    std::function<void(const Recorder&)> onEach; // after each progress heard
    int asked = 0;                               // keepGoing() calls so far
    int askedSinceProgress = 0;                  // of them, since the last progress

    void onProgress(Phase phase, const Progress& progress) override
    {
        heard.emplace_back(phase, progress);
        askedSinceProgress = 0;
        if (onEach)
            onEach(*this);
    }
    bool keepGoing() override
    {
        ++asked;
        ++askedSinceProgress;
        return !stop || !stop(*this);
    }

    // How many levels' writing has reached its end.
    int levelsWritten() const
    {
        return static_cast<int>(std::count_if(heard.begin(), heard.end(), [](const auto& h) {
            return h.first == Phase::Writing && h.second.percent == 100;
        }));
    }
    bool writing() const
    {
        return std::any_of(heard.begin(), heard.end(),
                           [](const auto& h) { return h.first == Phase::Writing; });
    }
};

// Every file below `folder`, hidden ones too, by its path inside it; the put-back's record at
// its top aside.
std::vector<std::string> filesUnder(const fs::path& folder)
{
    std::vector<std::string> files;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (it->is_regular_file() && it->path() != folder / features::kNewLevelsRecord)
            files.push_back(it->path().lexically_relative(folder).generic_string());
    std::sort(files.begin(), files.end());
    return files;
}

// The hidden folders a run left beside `place` (their names start with a dot and its name).
std::vector<std::string> leftBeside(const fs::path& place)
{
    std::vector<std::string> left;
    for (const std::string& name : entriesIn(place.parent_path()))
        if (name.rfind("." + place.filename().string(), 0) == 0)
            left.push_back(name);
    return left;
}

// The textures of the game: a shared one, and others that stand in one level each.
std::string shared()
{
    return testJpeg("colour");
}

// A level holding the given textures, in order, among seeded filler.
LevelBuilder levelOf(std::uint32_t seed, const std::vector<std::string>& textures)
{
    LevelBuilder level(seed);
    level.filler(700 + seed);
    for (const std::string& texture : textures)
        level.image(texture).filler(200 + seed);
    return level;
}

// A game of four levels in nested folders, three of which hold the shared texture (one of them
// twice), extracted as the extraction names its folders.
class GamePutBack : public ::testing::Test
{
protected:
    void SetUp() override
    {
        dir = freshTestFolder();
        levels.emplace("a.ldb", levelOf(1, {testJpeg("grey"), shared()}));
        levels.emplace("maps/castle.ldb", levelOf(2, {shared(), testJpeg("taller")}));
        levels.emplace("maps/deep/cave.ldb",
                       levelOf(3, {testJpeg("wider"), shared(), testJpeg("grey"), shared()}));
        levels.emplace("maps/plain.ldb", levelOf(4, {testJpeg("taller"), testJpeg("wider")}));
        for (const auto& [relative, level] : levels) {
            fs::create_directories((dir / "game" / relative).parent_path());
            writeBytes(dir / "game" / relative, level.bytes());
            const fs::path folder = dir / "out" / features::levelFolderName(relative);
            fs::create_directories(folder);
            for (std::size_t i = 0; i < level.imageCount(); ++i)
                writeBytes(folder / imageName(i + 1), level.expectedFile(i));
        }
    }

    GamePutBackRequest request(bool everywhere) const
    {
        GamePutBackRequest asked;
        asked.game = dir / "game";
        asked.folder = dir / "out";
        asked.into = dir / "new";
        asked.everywhere = everywhere;
        return asked;
    }

    void edit(const std::string& levelFolder, std::uint64_t number, const std::string& bytes)
    {
        writeBytes(dir / "out" / levelFolder / imageName(number), bytes);
    }

    // Level `relative` with every image whose bytes are `original` replaced by `edited` and
    // zero bytes up to the original's end; only at the image numbers in `at` (from 1).
    std::string expectedLevel(const std::string& relative, const std::vector<std::size_t>& at,
                              const std::string& edited) const
    {
        const LevelBuilder& level = levels.at(relative);
        std::string bytes = level.bytes();
        for (const std::size_t number : at) {
            const std::string original = level.image(number - 1);
            bytes.replace(level.offset(number - 1), original.size(),
                          edited + std::string(original.size() - edited.size(), '\0'));
        }
        return bytes;
    }

    // Nothing of the new levels: no level and no hidden file below the new folder.
    void expectNoNewLevels() const
    {
        EXPECT_EQ(filesUnder(dir / "new"), std::vector<std::string>{});
    }

    // An earlier put-back's new levels in "new": a.ldb with its first image edited (and what
    // else is edited). The edit is taken back after.
    void earlierPutBack()
    {
        const fs::path file = dir / "out" / "a" / imageName(1);
        const std::string original = readBytes(file);
        writeBytes(file, reencoded(testJpeg("grey"), 30));
        Recorder events;
        const GamePutBackOutcome outcome = features::putBackGame(request(false), events);
        writeBytes(file, original);
        ASSERT_EQ(outcome.status, PutBackStatus::Written);
        const std::vector<std::string> written = filesUnder(dir / "new");
        ASSERT_NE(std::find(written.begin(), written.end(), "a.ldb"), written.end());
    }

    fs::path dir;
    std::map<std::string, LevelBuilder> levels;
};

// Where each level holds the shared texture.
const std::map<std::string, std::vector<std::size_t>> kSharedAt = {
    {"a.ldb", {2}}, {"maps/castle.ldb", {1}}, {"maps/deep/cave.ldb", {2, 4}}};

TEST_F(GamePutBack, AnEditGoesEverywhereItsOriginalStandsAndNowhereElse)
{
    const std::string edited = reencoded(shared(), 25);
    ASSERT_LT(edited.size(), shared().size());
    edit("maps/castle", 1, edited);
    struct Case
    {
        const char* what;
        bool everywhere;
        std::uint64_t held;
        std::map<std::string, std::vector<std::size_t>> written;
    };
    const std::vector<Case> cases = {
        {"everywhere, held", true, GamePutBackRequest{}.heldBytes, kSharedAt},
        {"everywhere, read again", true, 0, kSharedAt},
        {"its own level only", false, GamePutBackRequest{}.heldBytes, {{"maps/castle.ldb", {1}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(dir / "new");
        GamePutBackRequest asked = request(c.everywhere);
        asked.heldBytes = c.held;
        Recorder events;
        const GamePutBackOutcome outcome = features::putBackGame(asked, events);
        ASSERT_EQ(outcome.status, PutBackStatus::Written)
            << (outcome.error ? outcome.error->message : "");
        std::vector<std::string> expectedFiles;
        for (const auto& [relative, numbers] : c.written)
            expectedFiles.push_back(relative);
        EXPECT_EQ(filesUnder(dir / "new"), expectedFiles);
        for (const auto& [relative, numbers] : c.written) {
            SCOPED_TRACE(relative);
            const std::string written = readBytes(dir / "new" / relative);
            EXPECT_TRUE(written == expectedLevel(relative, numbers, edited));
            // Cut again, the level gives the edit at every place, as libjpeg reads it.
            const auto cut = testsupport::referenceCut(written);
            ASSERT_EQ(cut.size(), levels.at(relative).imageCount());
            for (const std::size_t number : numbers) {
                const std::string image = cut[number - 1].bytes.substr(0, edited.size());
                EXPECT_TRUE(image == edited) << "image " << number;
                const Referee decoded = referee(image);
                EXPECT_TRUE(decoded.clean()) << decoded.message;
                EXPECT_EQ(decoded.pixels, referee(edited).pixels);
            }
        }
        // The report's side: the levels and images each edit went into, the others unchanged.
        for (const features::LevelPutBack& level : outcome.levels) {
            const std::string relative = level.level.relative.generic_string();
            const auto expected = c.written.find(relative);
            EXPECT_EQ(level.changes(), expected != c.written.end()) << relative;
            std::vector<std::size_t> numbers;
            for (const features::Replacement& replacement : level.outcome.replaced) {
                numbers.push_back(replacement.number);
                EXPECT_EQ(replacement.file, dir / "out" / "maps/castle" / imageName(1));
            }
            if (expected != c.written.end()) {
                EXPECT_EQ(numbers, expected->second) << relative;
            }
        }
    }
}

// An edit saved as PNG beside its unchanged extracted JPEG goes everywhere its original stands,
// encoded once: the same bytes at every place, read again or held.
TEST_F(GamePutBack, APngEditGoesEverywhereItsOriginalStands)
{
    if (!testsupport::imageToolsHere())
        GTEST_SKIP() << "needs ImageMagick's convert and djpeg, its referees";
    const fs::path folder = dir / "out" / "maps/castle";
    const fs::path png = folder / "Vorlesk_0001.png";
    ASSERT_TRUE(
        testsupport::runTool("djpeg -pnm " + testsupport::shellQuoted(folder / imageName(1)) +
                             " | convert - -negate PNG24:" + testsupport::shellQuoted(png)));
    for (const std::uint64_t held : {GamePutBackRequest{}.heldBytes, std::uint64_t{0}}) {
        SCOPED_TRACE(held);
        fs::remove_all(dir / "new");
        GamePutBackRequest asked = request(true);
        asked.heldBytes = held;
        Recorder events;
        const GamePutBackOutcome outcome = features::putBackGame(asked, events);
        ASSERT_EQ(outcome.status, PutBackStatus::Written)
            << (outcome.error ? outcome.error->message : "");
        std::vector<std::string> expectedFiles;
        for (const auto& [relative, numbers] : kSharedAt)
            expectedFiles.push_back(relative);
        EXPECT_EQ(filesUnder(dir / "new"), expectedFiles);
        const features::Replacement* first = nullptr;
        for (const features::LevelPutBack& level : outcome.levels) {
            for (const features::Replacement& replacement : level.outcome.replaced) {
                EXPECT_EQ(replacement.file, png);
                EXPECT_TRUE(replacement.quality.has_value());
                first = first != nullptr ? first : &replacement;
            }
        }
        ASSERT_NE(first, nullptr);
        const std::string castle = readBytes(dir / "new" / "maps/castle.ldb");
        const std::string edited =
            castle.substr(levels.at("maps/castle.ldb").offset(0), first->length);
        const Referee decoded = referee(edited);
        EXPECT_TRUE(decoded.clean()) << decoded.message;
        EXPECT_EQ(decoded.quality, *first->quality);
        EXPECT_NE(decoded.pixels, referee(shared()).pixels);
        for (const auto& [relative, numbers] : kSharedAt) {
            SCOPED_TRACE(relative);
            EXPECT_TRUE(readBytes(dir / "new" / relative) ==
                        expectedLevel(relative, numbers, edited));
        }
    }
}

TEST_F(GamePutBack, ADryRunOrAGameWithNothingEditedWritesNoLevel)
{
    // Nothing edited: every level is unchanged, and none is written.
    Recorder events;
    GamePutBackOutcome outcome = features::putBackGame(request(true), events);
    EXPECT_EQ(outcome.status, PutBackStatus::Written);
    ASSERT_EQ(outcome.levels.size(), 4u);
    for (const features::LevelPutBack& level : outcome.levels)
        EXPECT_FALSE(level.changes()) << level.level.relative;
    expectNoNewLevels();

    // A dry run says where the edit would go, and writes nothing. An empty level, which holds
    // no texture, is passed over.
    edit("a", 2, reencoded(shared(), 30));
    writeBytes(dir / "game" / "maps" / "empty.ldb", "");
    GamePutBackRequest asked = request(true);
    asked.dryRun = true;
    outcome = features::putBackGame(asked, events);
    EXPECT_EQ(outcome.status, PutBackStatus::DryRun)
        << (outcome.error ? outcome.error->message : "");
    EXPECT_EQ(outcome.levels.size(), 5u);
    std::map<std::string, std::vector<std::size_t>> placed;
    for (const features::LevelPutBack& level : outcome.levels)
        for (const features::Replacement& replacement : level.outcome.replaced)
            placed[level.level.relative.generic_string()].push_back(replacement.number);
    EXPECT_EQ(placed, kSharedAt);
    EXPECT_FALSE(fs::exists(dir / "new"));
}

TEST_F(GamePutBack, TwoDifferentEditsOfOneTextureAreRefusedTheSameEditTwiceIsNot)
{
    const std::string first = reencoded(shared(), 25);
    const std::string second = reencoded(shared(), 40);
    ASSERT_FALSE(first == second);
    // The same length, and a horizontal density of one more dot: another edit all the same.
    std::string sameLength = first;
    ASSERT_EQ(sameLength.compare(6, 5, std::string("JFIF\0", 5)), 0);
    ++sameLength[15];
    struct Case
    {
        const char* what;
        std::string castle;
        std::string cave;
        PutBackStatus status;
    };
    const std::vector<Case> cases = {
        {"different edits", first, second, PutBackStatus::Refused},
        {"different edits of one length", first, sameLength, PutBackStatus::Refused},
        {"the same edit", first, first, PutBackStatus::Written},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(dir / "new");
        edit("maps/castle", 1, c.castle);
        edit("maps/deep/cave", 4, c.cave);
        Recorder events;
        const GamePutBackOutcome outcome = features::putBackGame(request(true), events);
        EXPECT_EQ(outcome.status, c.status);
        if (c.status == PutBackStatus::Refused) {
            ASSERT_EQ(outcome.refused.size(), 1u);
            const features::Refusal& refusal = outcome.refused.front();
            EXPECT_EQ(refusal.file, dir / "out" / "maps/deep/cave" / imageName(4));
            EXPECT_NE(refusal.reason.find(imageName(1)), std::string::npos) << refusal.reason;
            EXPECT_NE(refusal.reason.find("castle"), std::string::npos) << refusal.reason;
            expectNoNewLevels();
        } else {
            EXPECT_TRUE(outcome.refused.empty());
            EXPECT_TRUE(readBytes(dir / "new" / "maps/deep/cave.ldb") ==
                        expectedLevel("maps/deep/cave.ldb", {2, 4}, first));
        }
    }
    // Without --everywhere each edit goes into its own level only.
    fs::remove_all(dir / "new");
    edit("maps/deep/cave", 4, second);
    Recorder events;
    const GamePutBackOutcome outcome = features::putBackGame(request(false), events);
    EXPECT_EQ(outcome.status, PutBackStatus::Written);
    EXPECT_EQ(filesUnder(dir / "new"),
              (std::vector<std::string>{"maps/castle.ldb", "maps/deep/cave.ldb"}));
    EXPECT_TRUE(readBytes(dir / "new" / "maps/deep/cave.ldb") ==
                expectedLevel("maps/deep/cave.ldb", {4}, second));
}

// A stop or a failure at any moment of the writing leaves the new levels' folder as it was,
// whether nothing or an earlier put-back's folder stood there, and no hidden folder beside it;
// find and sha256sum judge the folder before and after.
TEST_F(GamePutBack, AStopOrAFailureWhileTheLevelsAreWrittenLeavesNone)
{
    edit("maps/castle", 1, reencoded(shared(), 25));
    const fs::path into = dir / "new";
    // The hidden folder the run writes the new levels into.
    const auto hidden = [into] {
        const std::vector<std::string> names = leftBeside(into);
        return names.size() == 1 ? into.parent_path() / names.front() : into / "none";
    };
    struct Case
    {
        const char* what;
        std::function<bool(const Recorder&)> stop;
        std::function<void(const Recorder&)> onEach; // brings a failure about on the way
        PutBackStatus status;
        const char* reason = "";   // a part of the failure's message
        bool changesPlace = false; // the case itself puts something at the new levels' place
    };
    const fs::path lastLevel = dir / "game" / "maps/deep/cave.ldb";
    const std::vector<Case> cases = {
        {"stop as the first level is written",
         [](const Recorder& r) { return r.writing(); },
         {},
         PutBackStatus::Stopped},
        {"stop as the second is written",
         [](const Recorder& r) { return r.levelsWritten() >= 1; },
         {},
         PutBackStatus::Stopped},
        {"stop after the last is written",
         [](const Recorder& r) { return r.levelsWritten() >= 3; },
         {},
         PutBackStatus::Stopped},
        {"the last level's source shrinks once the writing began",
         {},
         [lastLevel](const Recorder& r) {
             if (r.writing())
                 fs::resize_file(lastLevel, 100);
         },
         PutBackStatus::Failed,
         "changed while the game was read"},
        // Its third question after the second level's last block comes as the last level's copy
        // begins, once the level was opened and found as it was.
        {"the last level's source shrinks as its copy begins",
         [lastLevel](const Recorder& r) {
             if (r.levelsWritten() == 2 && r.askedSinceProgress == 3)
                 fs::resize_file(lastLevel, 100);
             return false;
         },
         {},
         PutBackStatus::Failed,
         "became shorter while it was read"},
        {"a folder comes at the last new level's name in the hidden folder",
         {},
         [&hidden](const Recorder& r) {
             if (r.writing())
                 fs::create_directories(hidden() / "maps/deep/cave.ldb");
         },
         PutBackStatus::Failed,
         "cave.ldb"},
        {"the new levels' folder made a file once the levels are written",
         {},
         [into](const Recorder& r) {
             if (r.levelsWritten() == 3 && !fs::is_regular_file(into)) {
                 fs::remove_all(into);
                 writeBytes(into, "came meanwhile");
             }
         },
         PutBackStatus::Failed,
         "is not a folder",
         true},
    };
    for (const bool earlier : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.what) + (earlier ? ", over an earlier put-back" : ""));
            fs::remove_all(into);
            writeBytes(lastLevel, levels.at("maps/deep/cave.ldb").bytes());
            if (earlier)
                earlierPutBack();
            const std::string before = testsupport::treeListing(into);
            Recorder events;
            events.stop = c.stop;
            events.onEach = c.onEach;
            const GamePutBackOutcome outcome = features::putBackGame(request(true), events);
            EXPECT_EQ(outcome.status, c.status);
            EXPECT_EQ(outcome.error.has_value(), c.status == PutBackStatus::Failed);
            if (outcome.error) {
                EXPECT_NE(outcome.error->message.find(c.reason), std::string::npos)
                    << outcome.error->message;
            }
            EXPECT_GE(events.levelsWritten(), c.status == PutBackStatus::Stopped ? 0 : 2);
            EXPECT_EQ(leftBeside(into), std::vector<std::string>{});
            if (c.changesPlace) {
                EXPECT_TRUE(readBytes(into) == "came meanwhile");
                continue;
            }
            EXPECT_EQ(fs::exists(into), earlier);
            EXPECT_EQ(testsupport::treeListing(into), before);
        }
    }
    // A stop at each question asked after the last level's last block, up to the putting in
    // place: none of the levels is left; once they are in place, no question is asked again.
    for (const int after : {1, 2, 3}) {
        SCOPED_TRACE("stop at question " + std::to_string(after) + " after the last block");
        fs::remove_all(into);
        Recorder events;
        events.stop = [after](const Recorder& r) {
            return r.levelsWritten() == 3 && r.askedSinceProgress >= after;
        };
        const GamePutBackOutcome outcome = features::putBackGame(request(true), events);
        EXPECT_EQ(leftBeside(into), std::vector<std::string>{});
        if (after < 3) {
            EXPECT_EQ(outcome.status, PutBackStatus::Stopped);
            EXPECT_FALSE(fs::exists(into));
        } else {
            EXPECT_EQ(outcome.status, PutBackStatus::Written);
            EXPECT_EQ(filesUnder(into).size(), 3u);
        }
    }
    // A stop asked for before anything is read: no level is read at all.
    fs::remove_all(into);
    Recorder events;
    events.stop = [](const Recorder&) { return true; };
    EXPECT_EQ(features::putBackGame(request(true), events).status, PutBackStatus::Stopped);
    EXPECT_TRUE(events.heard.empty());
    EXPECT_FALSE(fs::exists(into));
}

// A second put-back into the new levels' folder of an earlier one replaces it whole: none of its
// levels stays. Anything else at that place is refused before anything is read, and stays.
TEST_F(GamePutBack, AnEarlierPutBacksFolderIsReplacedWholeAnyOtherIsRefused)
{
    const std::string edited = reencoded(shared(), 25);
    const fs::path into = dir / "new";
    const std::string record = "{\n  \"format\": \"glintmark-new-levels\",\n  \"version\": 1\n}\n";
    // The second put-back's folder as it should be, written plainly.
    const fs::path expected = dir / "expected";
    fs::create_directories(expected / "maps");
    writeBytes(expected / "maps/castle.ldb", expectedLevel("maps/castle.ldb", {1}, edited));
    writeBytes(expected / features::kNewLevelsRecord, record);
    struct Case
    {
        const char* what;
        std::function<void()> make; // what stands at the place first
        bool dryRun;
        const char* refused; // a part of the refusal; empty: replaced
        ErrorKind kind = ErrorKind::OutputFolder;
        bool editsInside = false; // the folder of edits is a copy inside the place
    };
    const std::vector<Case> cases = {
        {"an earlier put-back's folder", [this] { earlierPutBack(); }, false, ""},
        {"a folder of the user's",
         [into] {
             fs::create_directories(into);
             writeBytes(into / "mine.ldb", "mine");
         },
         false, "which no put-back made"},
        {"a folder of the user's, in a dry run",
         [into] {
             fs::create_directories(into);
             writeBytes(into / "mine.ldb", "mine");
         },
         true, "which no put-back made"},
        {"a file", [into] { writeBytes(into, "a file"); }, false, "is not a folder"},
        {"an earlier put-back's folder holding the edits",
         [this, into, &edited] {
             earlierPutBack();
             fs::copy(dir / "out", into / "edits", fs::copy_options::recursive);
             writeBytes(into / "edits" / "maps/castle" / imageName(1), edited);
         },
         false, "lies inside", ErrorKind::OutputIsSource, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(into);
        c.make();
        ASSERT_TRUE(fs::exists(into));
        const std::string before =
            testsupport::treeListing(into) + (fs::is_regular_file(into) ? readBytes(into) : "");
        edit("maps/castle", 1, edited);
        GamePutBackRequest asked = request(false);
        asked.dryRun = c.dryRun;
        if (c.editsInside)
            asked.folder = into / "edits";
        Recorder events;
        const GamePutBackOutcome outcome = features::putBackGame(asked, events);
        edit("maps/castle", 1, levels.at("maps/castle.ldb").expectedFile(0));
        EXPECT_EQ(leftBeside(into), std::vector<std::string>{});
        if (*c.refused == '\0') {
            EXPECT_EQ(outcome.status, PutBackStatus::Written)
                << (outcome.error ? outcome.error->message : "");
            EXPECT_EQ(testsupport::treeListing(into), testsupport::treeListing(expected));
            continue;
        }
        EXPECT_EQ(outcome.status, PutBackStatus::Failed);
        ASSERT_TRUE(outcome.error.has_value());
        EXPECT_EQ(outcome.error->kind, c.kind);
        EXPECT_EQ(outcome.error->file, into);
        EXPECT_NE(outcome.error->message.find(c.refused), std::string::npos)
            << outcome.error->message;
        EXPECT_TRUE(events.heard.empty());
        EXPECT_EQ(testsupport::treeListing(into) +
                      (fs::is_regular_file(into) ? readBytes(into) : ""),
                  before);
    }
}

// The bound on the edits' bytes kept in memory from the comparing to the writing is the whole
// game's: what one level keeps, the next may not. Changed once both are compared, an edit kept is
// written as it was compared; one let go is read again, and found changed.
TEST_F(GamePutBack, TheBytesKeptInMemoryAreBoundedForTheWholeGame)
{
    const std::string greyEdit = reencoded(testJpeg("grey"), 30);
    const std::string tallerEdit = reencoded(testJpeg("taller"), 30);
    ASSERT_LT(greyEdit.size(), testJpeg("grey").size());
    ASSERT_LT(tallerEdit.size(), testJpeg("taller").size());
    const fs::path first = dir / "out" / "a" / imageName(1);
    const fs::path second = dir / "out" / "maps/castle" / imageName(2);
    struct Case
    {
        const char* what;
        fs::path changed; // once the comparing is done
        PutBackStatus status;
    };
    const std::vector<Case> cases = {
        {"the first level's edit, kept", first, PutBackStatus::Written},
        {"the second level's, read again", second, PutBackStatus::Failed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(dir / "new");
        writeBytes(first, greyEdit);
        writeBytes(second, tallerEdit);
        GamePutBackRequest asked = request(false);
        asked.heldBytes = std::max(greyEdit.size(), tallerEdit.size());
        Recorder events;
        bool changed = false;
        events.stop = [&](const Recorder& r) {
            const auto compared = std::count_if(r.heard.begin(), r.heard.end(), [](const auto& h) {
                return h.first == Phase::Comparing && h.second.percent == 100;
            });
            if (!changed && compared == 2) {
                changed = true;
                writeBytes(c.changed, reencoded(readBytes(c.changed), 60));
                fs::last_write_time(c.changed,
                                    fs::last_write_time(c.changed) + std::chrono::hours(1));
            }
            return false;
        };
        const GamePutBackOutcome outcome = features::putBackGame(asked, events);
        EXPECT_EQ(outcome.status, c.status) << (outcome.error ? outcome.error->message : "");
        if (c.status == PutBackStatus::Written) {
            EXPECT_TRUE(readBytes(dir / "new" / "a.ldb") == expectedLevel("a.ldb", {1}, greyEdit));
            continue;
        }
        ASSERT_TRUE(outcome.error.has_value());
        EXPECT_NE(outcome.error->message.find("changed while the new level was written"),
                  std::string::npos)
            << outcome.error->message;
        expectNoNewLevels();
    }
}

TEST_F(GamePutBack, NewLevelsInsideTheGameAreRefused)
{
    edit("a", 2, reencoded(shared(), 25));
    for (const fs::path& into : {dir / "game", dir / "game" / "maps", dir / "game" / "."}) {
        SCOPED_TRACE(into.string());
        GamePutBackRequest asked = request(true);
        asked.into = into;
        Recorder events;
        const GamePutBackOutcome outcome = features::putBackGame(asked, events);
        EXPECT_EQ(outcome.status, PutBackStatus::Failed);
        ASSERT_TRUE(outcome.error.has_value());
        EXPECT_EQ(outcome.error->kind, ErrorKind::OutputIsSource);
        EXPECT_TRUE(events.heard.empty());
        EXPECT_TRUE(readBytes(dir / "game" / "a.ldb") == levels.at("a.ldb").bytes());
    }
#ifndef _WIN32
    // A folder of new levels holding a link into the game is no put-back's: refused before
    // anything is read, and nothing goes through the link.
    fs::create_directories(dir / "new");
    fs::create_directory_symlink(dir / "game" / "maps", dir / "new" / "maps");
    Recorder events;
    const GamePutBackOutcome outcome = features::putBackGame(request(true), events);
    EXPECT_EQ(outcome.status, PutBackStatus::Failed);
    ASSERT_TRUE(outcome.error.has_value());
    EXPECT_EQ(outcome.error->kind, ErrorKind::OutputFolder);
    EXPECT_TRUE(events.heard.empty());
    EXPECT_EQ(entriesIn(dir / "new"), std::vector<std::string>{"maps"});
    EXPECT_FALSE(fs::exists(dir / "game" / "maps" / "deep" / ".cave.ldb.part"));
    EXPECT_FALSE(fs::exists(dir / "game" / "maps" / ".castle.ldb.part"));
    for (const auto& [relative, level] : levels)
        EXPECT_TRUE(readBytes(dir / "game" / relative) == level.bytes()) << relative;
#endif
}

// Image files in a folder of the extraction that is no level's folder (a level renamed since, a
// game folder given one folder too deep, images at the extraction's top) go nowhere: each such
// folder is named, and refused unless the request passes over what matches nothing.
TEST_F(GamePutBack, AFolderOfImagesThatIsNoLevelsIsNamed)
{
    const std::string edited = reencoded(shared(), 25);
    // Files that are no image files, wherever they are, are not told of.
    writeBytes(dir / "out" / "textures.json", "{}");
    writeBytes(dir / "out" / "index.html", "x");
    fs::create_directories(dir / "out" / "notes");
    writeBytes(dir / "out" / "notes" / "todo.txt", "x");
    const auto reason = [&](const std::string& game, std::uint64_t files,
                            const std::string& level) {
        return "holds " + std::to_string(files) + (files == 1 ? " image file" : " image files") +
               ", but it is the folder of no level in " + displayPath(dir / game) +
               (level.empty()
                    ? std::string(" (a game's extraction holds each level's images in a folder of "
                                  "its own)")
                    : " (no " + displayPath(fs::path(level).make_preferred()) + ".ldb there)") +
               ", so none is read; is the game the one they were extracted from, and was the "
               "level renamed?";
    };
    struct Case
    {
        const char* what;
        std::function<void()> change;
        std::string game;                                      // below the test folder
        std::vector<std::pair<std::string, std::string>> told; // folder below "out", reason
        std::vector<std::string> written;                      // with the unmatched passed over
    };
    const std::vector<Case> cases = {
        {"a level renamed since the extraction",
         [&] {
             fs::rename(dir / "game" / "maps" / "plain.ldb", dir / "game" / "maps" / "flat.ldb");
             edit("a", 2, edited);
             edit("maps/plain", 1, reencoded(testJpeg("taller"), 25));
         },
         "game",
         {{"maps/plain", reason("game", 2, "maps/plain")}},
         {"a.ldb"}},
        {"the game folder given one folder too deep",
         [&] { edit("maps/castle", 1, edited); },
         "game/maps",
         {{"a", reason("game/maps", 2, "a")},
          {"maps/castle", reason("game/maps", 2, "maps/castle")},
          {"maps/deep/cave", reason("game/maps", 4, "maps/deep/cave")},
          {"maps/plain", reason("game/maps", 2, "maps/plain")}},
         {}},
        {"images at the top of the extraction, one saved as PNG",
         [&] {
             writeBytes(dir / "out" / imageName(1), edited);
             writeBytes(dir / "out" / "Vorlesk_0002.png", "x");
         },
         "game",
         {{"", reason("game", 2, "")}},
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        c.change();
        for (const bool ignoreUnmatched : {false, true}) {
            SCOPED_TRACE(ignoreUnmatched ? "passed over" : "refused");
            fs::remove_all(dir / "new");
            GamePutBackRequest asked = request(false);
            asked.game = dir / c.game;
            asked.ignoreUnmatched = ignoreUnmatched;
            Recorder events;
            const GamePutBackOutcome outcome = features::putBackGame(asked, events);
            const auto& told = ignoreUnmatched ? outcome.passedOver : outcome.refused;
            EXPECT_TRUE((ignoreUnmatched ? outcome.refused : outcome.passedOver).empty());
            std::vector<std::pair<std::string, std::string>> named;
            for (const features::Refusal& folder : told) {
                EXPECT_EQ(folder.number, 0u);
                named.emplace_back(folder.file.lexically_relative(dir / "out").generic_string(),
                                   folder.reason);
            }
            for (auto& [folder, why] : named)
                folder = folder == "." ? "" : folder;
            EXPECT_EQ(named, c.told);
            if (!ignoreUnmatched) {
                EXPECT_EQ(outcome.status, PutBackStatus::Refused);
                expectNoNewLevels();
                continue;
            }
            EXPECT_EQ(outcome.status, PutBackStatus::Written)
                << (outcome.error ? outcome.error->message : "");
            EXPECT_EQ(filesUnder(dir / "new"), c.written);
        }
    }
}

// A folder of edits that is not there fails the put-back, naming it, before any level is read.
TEST_F(GamePutBack, AFolderOfEditsThatIsNotThereFailsNamed)
{
    GamePutBackRequest asked = request(false);
    asked.folder = dir / "nosuch";
    Recorder events;
    const GamePutBackOutcome outcome = features::putBackGame(asked, events);
    EXPECT_EQ(outcome.status, PutBackStatus::Failed);
    ASSERT_TRUE(outcome.error.has_value());
    EXPECT_EQ(outcome.error->file, dir / "nosuch");
    EXPECT_NE(outcome.error->message.find("Cannot read the folder of edited images"),
              std::string::npos)
        << outcome.error->message;
    EXPECT_TRUE(events.heard.empty());
    expectNoNewLevels();
}

#ifndef _WIN32
// An edited file that is one file under several levels' folders (hard links, as --dedupe stores
// them) was edited in each: each level takes it, and the outcome tells it, with those levels.
// Linked files left unchanged are not told.
TEST_F(GamePutBack, AnEditedFileLinkedUnderSeveralLevelsIsTold)
{
    const fs::path out = dir / "out";
    fs::remove(out / "maps/castle" / imageName(1));
    fs::create_hard_link(out / "a" / imageName(2), out / "maps/castle" / imageName(1));
    fs::remove(out / "maps/deep/cave" / imageName(3));
    fs::create_hard_link(out / "a" / imageName(1), out / "maps/deep/cave" / imageName(3));
    const std::string edited = reencoded(shared(), 25);
    writeBytes(out / "a" / imageName(2), edited); // saved in place: every name sees it
    for (const bool everywhere : {false, true}) {
        SCOPED_TRACE(everywhere ? "everywhere" : "each its own level");
        fs::remove_all(dir / "new");
        Recorder events;
        const GamePutBackOutcome outcome = features::putBackGame(request(everywhere), events);
        ASSERT_EQ(outcome.status, PutBackStatus::Written)
            << (outcome.error ? outcome.error->message : "");
        ASSERT_EQ(outcome.sharedEdits.size(), 1u);
        const features::SharedEdit& linked = outcome.sharedEdits[0];
        EXPECT_EQ(linked.files, (std::vector<fs::path>{out / "a" / imageName(2),
                                                       out / "maps/castle" / imageName(1)}));
        EXPECT_EQ(linked.levels, (std::vector<fs::path>{"a.ldb", "maps/castle.ldb"}));
        const std::vector<std::string> written =
            everywhere ? std::vector<std::string>{"a.ldb", "maps/castle.ldb", "maps/deep/cave.ldb"}
                       : std::vector<std::string>{"a.ldb", "maps/castle.ldb"};
        EXPECT_EQ(filesUnder(dir / "new"), written);
    }
}
#endif

#ifndef _WIN32
// The descriptors a game's put-back holds stay bounded however many levels have edits: under a
// limit of 64, 200 levels each with an edit (read again as each is written, none held), each
// in a folder of its own, go back.
TEST_F(GamePutBack, DescriptorsStayBoundedWhateverTheNumberOfLevels)
{
    constexpr int kLevels = 200;
    const std::string edited = reencoded(shared(), 25);
    fs::remove_all(dir / "game");
    fs::remove_all(dir / "out");
    const LevelBuilder level = levelOf(5, {shared()});
    for (int i = 0; i < kLevels; ++i) {
        const std::string name = "level" + std::to_string(1000 + i) + "/map";
        fs::create_directories((dir / "game" / name).parent_path());
        writeBytes(dir / "game" / (name + ".ldb"), level.bytes());
        fs::create_directories(dir / "out" / name);
        writeBytes(dir / "out" / name / imageName(1), edited);
    }
    struct rlimit before
    {
    };
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &before), 0);
    for (const bool dryRun : {true, false}) {
        SCOPED_TRACE(dryRun ? "dry run" : "written");
        GamePutBackRequest asked = request(false);
        asked.dryRun = dryRun;
        asked.heldBytes = 0;
        Recorder events;
        struct rlimit lowered = before;
        lowered.rlim_cur = 64;
        ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &lowered), 0);
        const GamePutBackOutcome outcome = features::putBackGame(asked, events);
        ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &before), 0);
        ASSERT_EQ(outcome.status, dryRun ? PutBackStatus::DryRun : PutBackStatus::Written)
            << (outcome.error ? outcome.error->message : "");
        ASSERT_EQ(outcome.levels.size(), static_cast<std::size_t>(kLevels));
        for (const features::LevelPutBack& one : outcome.levels)
            EXPECT_TRUE(one.changes()) << one.level.relative;
    }
    const std::string expected = [&] {
        std::string bytes = level.bytes();
        bytes.replace(level.offset(0), shared().size(),
                      edited + std::string(shared().size() - edited.size(), '\0'));
        return bytes;
    }();
    EXPECT_EQ(filesUnder(dir / "new").size(), static_cast<std::size_t>(kLevels));
    EXPECT_TRUE(readBytes(dir / "new" / "level1000/map.ldb") == expected);
    EXPECT_TRUE(readBytes(dir / "new" / "level1199/map.ldb") == expected);
}
#endif

} // namespace
} // namespace glintmark::featurestest
