// Writing only the chosen images of a level or a game: exactly those files, with the bytes the
// test put in the level, indexed alone; a level with none chosen leaves nothing; a folder that
// cannot be written fails the run named, and a stop leaves whole files only.
#include "features/SelectedImages.h"

#include "FeaturesTestSupport.h"

#include "engine/Extraction.h"

#include "features/game/SourcesRun.h"
#include "features/game/TextureIndex.h"
#include "support/Referees.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include <cerrno>
#include <system_error>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace glintmark::features {
namespace {

namespace fs = std::filesystem;
using featurestest::entriesIn;
using featurestest::freshTestFolder;
using featurestest::readBytes;
using featurestest::testJpeg;
using featurestest::writeBytes;

using Chosen = std::map<std::string, std::set<std::uint64_t>>;

// Chooses the images to write by the level's name, and stops once `stopAfter` images are told.
struct Chooser : SourcesEvents
{
    Chosen chosen;
    std::string level;
    std::vector<std::uint64_t> told;
    std::size_t stopAfter = 0; // never when 0

    void onLevelStart(const LevelStart& start) override { level = levelText(start.name); }
    void onImage(const CheckedImage& image) override { told.push_back(image.number); }
    bool keepGoing() override { return stopAfter == 0 || told.size() < stopAfter; }
    std::optional<std::set<std::uint64_t>> imagesToWrite() override
    {
        const auto found = chosen.find(level);
        return found == chosen.end() ? std::set<std::uint64_t>{} : found->second;
    }
};

// A level of three images (colour, grey, colour again), each followed by filler, and a game of
// it and a second level.
struct Sources
{
    fs::path dir = freshTestFolder();
    fs::path game = dir / "game";
    fs::path level = game / "maps" / "castle.ldb";
    fs::path out = dir / "out";
    std::vector<std::string> tails{"AAA", "BBBB", "CC"};
    std::vector<std::string> jpegs{testJpeg("colour"), testJpeg("grey"), testJpeg("colour")};

    Sources()
    {
        fs::create_directories(game / "maps");
        writeBytes(level, "head" + jpegs[0] + tails[0] + jpegs[1] + tails[1] + jpegs[2] + tails[2]);
        writeBytes(game / "harbour.ldb", "x" + testJpeg("taller") + "yy");
    }

    // Image `number` of the level as a run writes it, whole or trimmed.
    std::string file(std::uint64_t number, bool trim) const
    {
        return jpegs[number - 1] + (trim ? "" : tails[number - 1]);
    }
};

// The (level, number) of every use the index at `file` records.
std::set<std::pair<std::string, std::uint64_t>> indexedUses(const fs::path& file)
{
    std::set<std::pair<std::string, std::uint64_t>> uses;
    const nlohmann::json index = nlohmann::json::parse(readBytes(file));
    for (const nlohmann::json& texture : index["textures"]) {
        for (const nlohmann::json& use : texture["in"])
            uses.emplace(use["level"].get<std::string>(), use["number"].get<std::uint64_t>());
    }
    return uses;
}

TEST(SelectedImages, OnlyTheChosenImagesAreWrittenToldAndIndexed)
{
    const struct
    {
        const char* what;
        bool game;
        Chosen chosen;
        bool trim;
        bool dedupe;
        std::vector<std::string> files; // below the output folder, the index apart
        std::uint64_t linksOfFirst;     // hard links of castle's first file; 0: not checked
    } rows[] = {
        {"one image", false, {{"castle.ldb", {2}}}, false, false, {"Vorlesk_0002.jpg"}, 0},
        {"two, trimmed",
         false,
         {{"castle.ldb", {1, 3}}},
         true,
         false,
         {"Vorlesk_0001.jpg", "Vorlesk_0003.jpg"},
         1},
        {"two equal ones, deduplicated",
         false,
         {{"castle.ldb", {1, 3}}},
         true,
         true,
         {"Vorlesk_0001.jpg", "Vorlesk_0003.jpg"},
         2},
        {"a number beyond the level",
         false,
         {{"castle.ldb", {3, 9}}},
         false,
         false,
         {"Vorlesk_0003.jpg"},
         0},
        {"a game, one level chosen",
         true,
         {{"maps/castle.ldb", {1}}},
         false,
         false,
         {"maps/castle/Vorlesk_0001.jpg"},
         0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const Sources s;
        SourcesRequest request;
        request.sources = {row.game ? s.game : s.level};
        request.outputDir = s.out;
        request.trim = row.trim;
        request.dedupe = row.dedupe;
        Chooser events;
        events.chosen = row.chosen;
        const SourcesOutcome outcome = runSources(request, events);
        ASSERT_EQ(outcome.status, SourcesStatus::Completed);

        std::vector<std::string> files;
        for (const auto& entry : fs::recursive_directory_iterator(s.out)) {
            if (entry.is_regular_file() && entry.path().filename() != "textures.json")
                files.push_back(entry.path().lexically_relative(s.out).generic_string());
        }
        std::sort(files.begin(), files.end());
        EXPECT_EQ(files, row.files);
        std::set<std::pair<std::string, std::uint64_t>> chosen;
        std::vector<std::uint64_t> numbers;
        for (const auto& [level, wanted] : row.chosen) {
            const fs::path folder = row.game ? s.out / "maps" / "castle" : s.out;
            for (const std::uint64_t number : wanted) {
                if (number > 3)
                    continue;
                chosen.emplace(level, number);
                numbers.push_back(number);
                EXPECT_EQ(readBytes(folder / testsupport::imageName(number)),
                          s.file(number, row.trim));
            }
        }
        EXPECT_EQ(events.told, numbers);
        EXPECT_EQ(indexedUses(s.out / "textures.json"), chosen);
#ifndef _WIN32
        if (row.linksOfFirst > 0) {
            struct stat facts
            {
            };
            ASSERT_EQ(::stat((s.out / "Vorlesk_0001.jpg").c_str(), &facts), 0);
            EXPECT_EQ(facts.st_nlink, row.linksOfFirst);
        }
#endif
    }
}

// A level none of whose images is chosen is read past: no folder of its own, nothing in it.
TEST(SelectedImages, ALevelWithNoneChosenWritesNothing)
{
    const Sources s;
    SourcesRequest request;
    request.sources = {s.game};
    request.outputDir = s.out;
    Chooser events;
    events.chosen = {{"harbour.ldb", {1}}};
    ASSERT_EQ(runSources(request, events).status, SourcesStatus::Completed);
    EXPECT_EQ(entriesIn(s.out), (std::vector<std::string>{"harbour", "textures.json"}));
    EXPECT_EQ(entriesIn(s.out / "harbour"), (std::vector<std::string>{"Vorlesk_0001.jpg"}));
}

// A stop between two chosen images keeps the first whole and leaves no part of the second, nor
// an index; a folder that cannot be made fails the level, named with the system's reason.
TEST(SelectedImages, AStopKeepsWholeFilesAndAFailureIsNamed)
{
    {
        SCOPED_TRACE("stopped after the first image");
        const Sources s;
        SourcesRequest request;
        request.sources = {s.level};
        request.outputDir = s.out;
        struct StopEnds : Chooser
        {
            std::vector<LevelOutcome> ends;
            void onLevelEnd(const LevelOutcome& outcome) override { ends.push_back(outcome); }
        } events;
        events.chosen = {{"castle.ldb", {1, 2, 3}}};
        events.stopAfter = 1;
        EXPECT_EQ(runSources(request, events).status, SourcesStatus::Stopped);
        // The level itself ends as stopped, with the one image it wrote.
        ASSERT_EQ(events.ends.size(), 1U);
        EXPECT_EQ(events.ends[0].result.status, RunStatus::Stopped);
        EXPECT_EQ(events.ends[0].result.count, 1U);
        EXPECT_EQ(entriesIn(s.out), (std::vector<std::string>{"Vorlesk_0001.jpg"}));
        EXPECT_EQ(readBytes(s.out / "Vorlesk_0001.jpg"), s.file(1, false));
    }
    SCOPED_TRACE("a file where the folder goes");
    const Sources s;
    writeBytes(s.out, "not a folder");
    SourcesRequest request;
    request.sources = {s.level};
    request.outputDir = s.out;
    struct Ends : Chooser
    {
        std::vector<LevelOutcome> ends;
        void onLevelEnd(const LevelOutcome& outcome) override { ends.push_back(outcome); }
    } events;
    events.chosen = {{"castle.ldb", {2}}};
    EXPECT_EQ(runSources(request, events).status, SourcesStatus::Failed);
    ASSERT_EQ(events.ends.size(), 1U);
    EXPECT_EQ(events.ends[0].result.status, RunStatus::Failed);
    ASSERT_TRUE(events.ends[0].result.error);
    const std::string message = events.ends[0].result.error->message;
    EXPECT_NE(message.find(s.out.filename().string()), std::string::npos) << message;
#ifndef _WIN32 // Windows words the same failure its own way
    EXPECT_NE(message.find(std::error_code(ENOTDIR, std::generic_category()).message()),
              std::string::npos)
        << message;
#endif
    EXPECT_TRUE(events.told.empty());
    EXPECT_EQ(readBytes(s.out), "not a folder");
}

// An image larger than what is held in memory goes through a temporary file and is written the
// same, byte for byte, whole or trimmed; the images around it are not written.
TEST(SelectedImages, ALargeImageIsWrittenTheSameThroughATemporaryFile)
{
    const std::string tail(300000, 'z');
    const std::vector<std::string> jpegs{testJpeg("grey"), testJpeg("colour"), testJpeg("taller")};
    const struct
    {
        const char* what;
        std::size_t heldInMemory;
        bool trim;
    } rows[] = {
        {"held in memory", SelectedImages::kHeldInMemory, false},
        {"through a temporary file", 1000, false},
        {"through a temporary file, trimmed", 1000, true},
        {"first in memory, then a temporary file", 70000, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const fs::path dir = freshTestFolder();
        writeBytes(dir / "level.ldb", "x" + jpegs[0] + jpegs[1] + tail + jpegs[2] + "yy");
        ExtractJob job;
        job.sourceFile = dir / "level.ldb";
        job.outputFolder = dir / "out";
        job.trim = row.trim;
        ExtractObserver inner;
        SelectedImages selected(
            inner, {2}, job, [] { return true; }, row.heldInMemory);
        const ExtractResult result =
            selected.settle(runExtraction(job, &selected, RunMode::ListOnly));
        EXPECT_EQ(result.status, RunStatus::Completed);
        EXPECT_EQ(result.count, 1U);
        EXPECT_EQ(entriesIn(dir / "out"), (std::vector<std::string>{"Vorlesk_0002.jpg"}));
        EXPECT_EQ(readBytes(dir / "out" / "Vorlesk_0002.jpg"),
                  row.trim ? jpegs[1] : jpegs[1] + tail);
    }
}

} // namespace
} // namespace glintmark::features
