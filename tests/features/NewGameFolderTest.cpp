// The folder of a game's new levels: built hidden beside its place and put there by one rename,
// replacing only a folder an earlier put-back made, and leaving the place as it was and nothing
// beside it at a refusal, a failure or when given up. find and sha256sum judge the folders.
#include "FeaturesTestSupport.h"

#include "features/putback/NewGameFolder.h"
#include "support/Referees.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

#ifndef _WIN32
#include <sys/resource.h>
#endif

namespace glintmark::featurestest {
namespace {

namespace fs = std::filesystem;
using features::NewGameFolder;
using testsupport::treeListing;

const std::string kRecord(features::kNewLevelsRecord);
// The record as docs/cli.md gives it.
const std::string kRecordText = "{\n  \"format\": \"glintmark-new-levels\",\n  \"version\": 1\n}\n";

// The files a put-back writes in the tests, by their paths inside the folder.
const std::map<std::string, std::string> kFiles = {
    {"a.ldb", "first level"}, {"maps/castle.ldb", "castle"}, {"maps/deep/cave.ldb", "cave"}};

// Writes `files` through `folder`; false at the first that fails.
bool writeAll(NewGameFolder& folder, const std::map<std::string, std::string>& files)
{
    for (const auto& file : files) {
        const std::string& relative = file.first;
        const std::string& bytes = file.second;
        bool complete = false;
        const auto error = folder.write(
            relative, "the new level", [&bytes](FileWriter& writer) { return writer.write(bytes); },
            complete);
        EXPECT_FALSE(error.has_value()) << relative << ": " << error->message;
        if (error || !complete)
            return false;
    }
    return true;
}

// The hidden folders beside `place` that a run left (the names start with a dot and its name).
std::vector<std::string> leftBeside(const fs::path& place)
{
    std::vector<std::string> left;
    for (const std::string& name : entriesIn(place.parent_path()))
        if (name.rfind("." + place.filename().string(), 0) == 0)
            left.push_back(name);
    return left;
}

class NewGameFolderTest : public ::testing::Test
{
protected:
    void SetUp() override { dir = freshTestFolder(); }

    // What find and sha256sum say of a folder holding `files` and a put-back's record, written
    // plainly by the test.
    std::string expectedListing(const std::map<std::string, std::string>& files)
    {
        const fs::path plain = dir / "expected";
        fs::remove_all(plain);
        for (const auto& [relative, bytes] : files) {
            fs::create_directories((plain / relative).parent_path());
            writeBytes(plain / relative, bytes);
        }
        writeBytes(plain / kRecord, kRecordText);
        return treeListing(plain);
    }

    // An earlier put-back's folder at `place`, with a level this run does not write.
    void earlierAt(const fs::path& place)
    {
        NewGameFolder folder(place);
        ASSERT_FALSE(folder.begin().has_value());
        ASSERT_TRUE(writeAll(folder, {{"old/stale.ldb", "stale"}, {"a.ldb", "old first"}}));
        ASSERT_FALSE(folder.place().has_value());
    }

    fs::path dir;
};

TEST_F(NewGameFolderTest, IsPutInPlaceWholeOverNothingOrAnEarlierPutBacksFolder)
{
    struct Case
    {
        const char* what;
        const char* place; // below the test folder
        bool earlier;      // an earlier put-back's folder stands there
        bool exchange;
    };
    const std::vector<Case> cases = {
        {"nothing there", "new", false, true},
        {"nothing there, nor the folders above", "up/more/new", false, true},
        {"an earlier put-back's folder, exchanged", "new", true, true},
        {"an earlier put-back's folder, renamed aside", "new", true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(dir / "new");
        fs::remove_all(dir / "up");
        const fs::path place = dir / c.place;
        if (c.earlier) {
            earlierAt(place);
            ASSERT_TRUE(fs::exists(place / "old" / "stale.ldb"));
        }
        NewGameFolder folder(place, c.exchange);
        ASSERT_FALSE(folder.begin().has_value());
        ASSERT_TRUE(writeAll(folder, kFiles));
        // Nothing at the place changes until it is put there.
        EXPECT_EQ(fs::exists(place / "maps"), false);
        const auto error = folder.place();
        ASSERT_FALSE(error.has_value()) << error->message;
        EXPECT_TRUE(folder.placed());
        EXPECT_EQ(treeListing(place), expectedListing(kFiles));
        EXPECT_EQ(leftBeside(place), std::vector<std::string>{});
    }
}

TEST_F(NewGameFolderTest, AnythingElseAtThePlaceIsRefusedBeforeAnythingIsWritten)
{
    const fs::path place = dir / "new";
    struct Case
    {
        const char* what;
        std::function<void()> make;
        const char* says;
    };
    const std::vector<Case> cases = {
        {"a folder of the user's",
         [&] {
             fs::create_directories(place);
             writeBytes(place / "mine.txt", "mine");
         },
         "which no put-back made"},
        {"an empty folder", [&] { fs::create_directories(place); }, "which no put-back made"},
        {"a file", [&] { writeBytes(place, "a file"); }, "is not a folder"},
        {"a record that is another program's",
         [&] {
             fs::create_directories(place);
             writeBytes(place / kRecord, "{\"format\": \"something-else\"}");
         },
         "which no put-back made"},
        {"a record longer than ours can be",
         [&] {
             fs::create_directories(place);
             writeBytes(place / kRecord, kRecordText + std::string(5000, ' '));
         },
         "which no put-back made"},
#ifndef _WIN32
        {"a link to an earlier put-back's folder",
         [&] {
             earlierAt(dir / "elsewhere");
             fs::create_directory_symlink(dir / "elsewhere", place);
         },
         "is a link"},
        {"a record that is a link to one",
         [&] {
             fs::create_directories(place);
             writeBytes(dir / "record.json", kRecordText);
             fs::create_symlink(dir / "record.json", place / kRecord);
         },
         "which no put-back made"},
#endif
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(place);
        c.make();
        const std::string before = treeListing(place);
        const std::vector<std::string> beside = entriesIn(dir);
        const auto looked = features::refuseForeignFolder(place);
        ASSERT_TRUE(looked.has_value());
        NewGameFolder folder(place);
        const auto error = folder.begin();
        ASSERT_TRUE(error.has_value());
        for (const ExtractError& e : {*looked, *error}) {
            EXPECT_EQ(e.kind, ErrorKind::OutputFolder);
            EXPECT_EQ(e.file, place);
            EXPECT_NE(e.message.find(c.says), std::string::npos) << e.message;
            EXPECT_NE(e.message.find("choose a new folder"), std::string::npos) << e.message;
        }
        EXPECT_FALSE(folder.place().has_value() && folder.placed());
        EXPECT_EQ(treeListing(place), before);
        EXPECT_EQ(entriesIn(dir), beside);
    }
    // Nothing there, or an earlier put-back's folder, is no refusal.
    fs::remove_all(place);
    EXPECT_FALSE(features::refuseForeignFolder(place).has_value());
    earlierAt(place);
    EXPECT_FALSE(features::refuseForeignFolder(place).has_value());
}

// Given up, failed while writing or refused while placing, with nothing or an earlier
// put-back's folder at the place: the place is as it was and no hidden folder is left.
TEST_F(NewGameFolderTest, AFailureOrGivingUpLeavesThePlaceAsItWas)
{
    const fs::path place = dir / "new";
    // The hidden folder the run is writing, found by its name.
    const auto hidden = [&] {
        const std::vector<std::string> names = leftBeside(place);
        return names.size() == 1 ? dir / names.front() : fs::path("/nonexistent/hidden");
    };
    // Puts `what` at the place once all is written, and tries to place the folder: false when
    // refused, naming `says`, and `what` is untouched.
    const auto placedOver = [&](NewGameFolder& folder, const std::function<void()>& what,
                                const char* says) {
        writeAll(folder, kFiles);
        fs::remove_all(place);
        what();
        const auto seen = [&] {
            return treeListing(place) + (fs::is_regular_file(place) ? readBytes(place) : "");
        };
        const std::string there = seen();
        const auto error = folder.place();
        EXPECT_TRUE(error.has_value());
        EXPECT_EQ(seen(), there);
        return !error || folder.placed() || error->message.find(says) == std::string::npos;
    };
    struct Case
    {
        const char* what;
        std::function<bool(NewGameFolder&)> run; // false when it went as the case expects
    };
    const std::vector<Case> cases = {
        {"given up part way through a file",
         [&](NewGameFolder& folder) {
             writeAll(folder, {{"a.ldb", "first"}});
             bool complete = true;
             const auto error = folder.write(
                 "maps/castle.ldb", "the new level",
                 [](FileWriter& writer) {
                     writer.write("half");
                     return false;
                 },
                 complete);
             return error.has_value() || complete;
         }},
        {"left unplaced once all are written",
         [&](NewGameFolder& folder) { return !writeAll(folder, kFiles); }},
        {"a folder at a file's name inside the hidden folder",
         [&](NewGameFolder& folder) {
             fs::create_directories(hidden() / "maps" / "castle.ldb");
             bool complete = true;
             const auto error = folder.write(
                 "maps/castle.ldb", "the new level",
                 [](FileWriter& writer) { return writer.write("castle"); }, complete);
             return !error || complete || error->message.find("castle.ldb") == std::string::npos;
         }},
        {"a file at a folder's name inside the hidden folder",
         [&](NewGameFolder& folder) {
             writeBytes(hidden() / "maps", "x");
             bool complete = true;
             const auto error = folder.write(
                 "maps/castle.ldb", "the new level",
                 [](FileWriter& writer) { return writer.write("castle"); }, complete);
             return !error || complete;
         }},
        {"the place made a file before it is placed",
         [&](NewGameFolder& folder) {
             return placedOver(
                 folder, [&] { writeBytes(place, "came meanwhile"); }, "not a folder");
         }},
        {"a folder of the user's in its place before it is placed",
         [&](NewGameFolder& folder) {
             return placedOver(
                 folder,
                 [&] {
                     fs::create_directories(place);
                     writeBytes(place / "mine.txt", "mine");
                 },
                 "which no put-back made");
         }},
    };
    for (const bool earlier : {false, true}) {
        for (const bool exchange : {true, false}) {
            for (const Case& c : cases) {
                SCOPED_TRACE(std::string(c.what) + (earlier ? ", over an earlier" : "") +
                             (exchange ? "" : ", renamed aside"));
                fs::remove_all(place);
                if (earlier)
                    earlierAt(place);
                std::string before;
                {
                    NewGameFolder folder(place, exchange);
                    ASSERT_FALSE(folder.begin().has_value());
                    before = treeListing(place);
                    EXPECT_FALSE(c.run(folder));
                    EXPECT_FALSE(folder.discard().has_value());
                }
                // The cases that put something in the place judge it themselves.
                if (std::string(c.what).find("before it is placed") == std::string::npos) {
                    EXPECT_EQ(treeListing(place), before);
                    EXPECT_EQ(fs::exists(place), earlier);
                }
                EXPECT_EQ(leftBeside(place), std::vector<std::string>{});
            }
        }
    }
    // A run never placed leaves nothing even when not discarded by hand, nor the folders it
    // made above the place.
    {
        NewGameFolder folder(dir / "up" / "new");
        ASSERT_FALSE(folder.begin().has_value());
        ASSERT_TRUE(writeAll(folder, kFiles));
    }
    EXPECT_FALSE(fs::exists(dir / "up"));
}

#ifndef _WIN32
// However many folders the files lie in, only a few are open at a time.
TEST_F(NewGameFolderTest, DescriptorsStayBoundedWhateverTheNumberOfFolders)
{
    std::map<std::string, std::string> files;
    for (int i = 0; i < 300; ++i)
        files.emplace("maps" + std::to_string(i % 7) + "/level" + std::to_string(i) + "/x.ldb",
                      "level " + std::to_string(i));
    struct rlimit before
    {
    };
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &before), 0);
    struct rlimit lowered = before;
    lowered.rlim_cur = 32;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &lowered), 0);
    std::optional<ExtractError> error;
    bool written = false;
    {
        NewGameFolder folder(dir / "new");
        error = folder.begin();
        written = !error && writeAll(folder, files);
        if (written)
            error = folder.place();
    }
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &before), 0);
    ASSERT_TRUE(written);
    ASSERT_FALSE(error.has_value()) << error->message;
    EXPECT_EQ(treeListing(dir / "new"), expectedListing(files));
}
#endif

} // namespace
} // namespace glintmark::featurestest
