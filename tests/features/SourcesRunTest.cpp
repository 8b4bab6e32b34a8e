// The run over a set of sources, a game folder among them: what a front end hears, in order,
// what it refuses before reading, and where it stops.
#include "features/game/SourcesRun.h"

#include "FeaturesTestSupport.h"

#include "engine/LockedFolder.h"
#include "engine/io/PathText.h"
#include "features/game/GameTextures.h"
#include "features/putback/PutBackRun.h"
#include "support/Referees.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

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

// Everything a front end hears, one line per event, and a stop asked at the chosen event.
struct Recorder : SourcesEvents
{
    std::vector<std::string> heard;
    std::vector<LevelStart> starts;
    // Asked at each keepGoing(), with the events heard so far: false stops the run.
    std::function<bool(const std::vector<std::string>&)> going = [](const auto&) { return true; };

    void onListed(const SourceList& list) override
    {
        heard.push_back("listed " + std::to_string(list.files.size()) + " problems " +
                        std::to_string(list.problems.size()));
    }
    void onPlanned(const SourceList& list, const OutputPlan& plan) override
    {
        (void)list;
        heard.push_back("planned " + std::to_string(plan.folders.size()));
    }
    void onLevelStart(const LevelStart& level) override
    {
        starts.push_back(level);
        heard.push_back("start " + level.name.generic_string());
    }
    void onLevelEnd(const LevelOutcome& outcome) override
    {
        heard.push_back(std::string("end ") + statusName(outcome.result.status) + " " +
                        std::to_string(outcome.result.count));
    }
    void onTextures(const GameTextures& textures) override
    {
        heard.push_back("textures " + indexSummary(textures.index()));
    }
    bool keepGoing() override { return going(heard); }
};

// A game of two levels, one of them below a subfolder, sharing the colour texture.
struct Game
{
    fs::path dir = freshTestFolder();
    fs::path game = dir / "game";
    fs::path out = dir / "out";

    Game()
    {
        fs::create_directories(game / "maps");
        writeBytes(game / "maps" / "castle.ldb",
                   "head" + testJpeg("colour") + "AAA" + testJpeg("grey"));
        writeBytes(game / "harbour.ldb", "x" + testJpeg("colour"));
    }

    SourcesRequest request() const
    {
        SourcesRequest request;
        request.sources = {game};
        request.outputDir = out;
        return request;
    }
};

TEST(SourcesRun, AGameIsHeardLevelByLevelThenItsTexturesAndItsIndexIsWritten)
{
    const Game g;
    Recorder events;
    const SourcesOutcome outcome = runSources(g.request(), events);

    EXPECT_EQ(outcome.status, SourcesStatus::Completed);
    EXPECT_FALSE(outcome.folderError);
    EXPECT_FALSE(outcome.filesError);
    EXPECT_EQ(events.heard, (std::vector<std::string>{
                                "listed 2 problems 0", "planned 2", "start harbour.ldb",
                                "end completed 1", "start maps/castle.ldb", "end completed 2",
                                "textures 3 textures in 2 levels, 2 distinct"}));
    ASSERT_EQ(events.starts.size(), 2U);
    const std::uint64_t harbourSize = fs::file_size(g.game / "harbour.ldb");
    const std::uint64_t total = harbourSize + fs::file_size(g.game / "maps" / "castle.ldb");
    EXPECT_EQ(events.starts[1].index, 1U);
    EXPECT_EQ(events.starts[1].count, 2U);
    EXPECT_TRUE(events.starts[1].game);
    EXPECT_EQ(events.starts[1].folder, g.out / "maps" / "castle");
    EXPECT_EQ(events.starts[1].source, g.game / "maps" / "castle.ldb");
    EXPECT_EQ(events.starts[0].bytesBefore, 0U);
    EXPECT_EQ(events.starts[1].bytesBefore, harbourSize);
    EXPECT_EQ(events.starts[1].totalBytes, total);

    ASSERT_TRUE(outcome.textures);
    EXPECT_EQ(outcome.textures->index().textures().size(), 2U);
    const nlohmann::json index = nlohmann::json::parse(readBytes(g.out / "textures.json"));
    EXPECT_EQ(index["levels"], (nlohmann::json{"harbour.ldb", "maps/castle.ldb"}));
    EXPECT_EQ(readBytes(g.out / "maps" / "castle" / "Vorlesk_0002.jpg"), testJpeg("grey"));
    EXPECT_EQ(readBytes(g.out / "harbour" / "Vorlesk_0001.jpg"), testJpeg("colour"));
}

// Files without a game tell no textures unless asked to store them once, but every writing run
// writes its index; a listing writes nothing, not even the game's index.
TEST(SourcesRun, TexturesAreToldForAGameOrForDedupeAndListingWritesNothing)
{
    const struct
    {
        const char* what;
        bool game;
        bool dedupe;
        RunMode mode;
        bool textures;
        bool indexFile;
    } rows[] = {
        {"a file", false, false, RunMode::Write, false, true},
        {"a file, deduplicated", false, true, RunMode::Write, true, true},
        {"a game", true, false, RunMode::Write, true, true},
        {"a game, listed", true, false, RunMode::ListOnly, true, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const Game g;
        SourcesRequest request = g.request();
        if (!row.game)
            request.sources = {g.game / "harbour.ldb"};
        request.dedupe = row.dedupe;
        request.mode = row.mode;
        Recorder events;
        const SourcesOutcome outcome = runSources(request, events);
        EXPECT_EQ(outcome.status, SourcesStatus::Completed);
        EXPECT_EQ(outcome.textures != nullptr, row.textures);
        EXPECT_EQ(!events.heard.empty() && events.heard.back().starts_with("textures"),
                  row.textures);
        EXPECT_EQ(fs::exists(g.out / "textures.json"), row.indexFile);
        EXPECT_EQ(fs::exists(g.out), row.mode == RunMode::Write);
    }
}

// One level of the test's game as a run lays it out: its source below the test's folder, its
// name in the index, its folder below the output folder, and each image's offset and texture.
struct LaidOut
{
    std::string source;
    std::string name;
    std::string folder;
    std::vector<std::pair<std::uint64_t, std::string>> images; // offset, testJpeg() name
};

// Every writing run records what it cut in one index, in the game's format, beside the images
// (one level written into the output folder) or beside the levels' folders; judged against
// sha256sum of the textures the test put in the levels and stat of the sources and the files.
TEST(SourcesRun, EveryWritingRunRecordsWhatItCutInItsIndex)
{
    const std::size_t colour = testJpeg("colour").size();
    const LaidOut harbour{"game/harbour.ldb", "harbour.ldb", "harbour", {{1, "colour"}}};
    const LaidOut castleAlone{
        "game/maps/castle.ldb", "castle.ldb", "", {{4, "colour"}, {4 + colour + 3, "grey"}}};
    LaidOut castleOwn = castleAlone;
    castleOwn.folder = "castle";
    LaidOut castleInGame = castleAlone;
    castleInGame.name = "maps/castle.ldb";
    castleInGame.folder = "maps/castle";
    const struct
    {
        const char* what;
        std::vector<std::string> sources; // below the test's folder
        bool folderPerSource;
        bool trim;
        bool index;
        std::vector<LaidOut> levels; // in the index's order; none when no index is written
    } rows[] = {
        {"one level", {"game/maps/castle.ldb"}, false, false, true, {castleAlone}},
        {"one level, trimmed", {"game/maps/castle.ldb"}, false, true, true, {castleAlone}},
        {"one level in a folder of its own",
         {"game/maps/castle.ldb"},
         true,
         false,
         true,
         {castleOwn}},
        {"two files",
         {"game/harbour.ldb", "game/maps/castle.ldb"},
         false,
         false,
         true,
         {harbour, castleOwn}},
        {"a game", {"game"}, false, false, true, {harbour, castleInGame}},
        {"one level without an index", {"game/maps/castle.ldb"}, false, false, false, {}},
        {"two files without an index",
         {"game/harbour.ldb", "game/maps/castle.ldb"},
         false,
         false,
         false,
         {}},
        {"a game without an index", {"game"}, false, false, false, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const Game g;
        SourcesRequest request = g.request();
        request.sources.clear();
        for (const std::string& source : row.sources)
            request.sources.push_back(g.dir / source);
        request.folderPerSource = row.folderPerSource;
        request.trim = row.trim;
        request.index = row.index;
        Recorder events;
        ASSERT_EQ(runSources(request, events).status, SourcesStatus::Completed);

        // One index, in the output folder, and nowhere else.
        std::vector<std::string> indexes;
        for (const auto& entry : fs::recursive_directory_iterator(g.out)) {
            if (entry.path().filename().string().find("textures.json") != std::string::npos)
                indexes.push_back(entry.path().lexically_relative(g.out).generic_string());
        }
        if (row.levels.empty()) {
            EXPECT_TRUE(indexes.empty());
            continue;
        }
        ASSERT_EQ(indexes, (std::vector<std::string>{"textures.json"}));
        const nlohmann::json index = nlohmann::json::parse(readBytes(g.out / "textures.json"));
        EXPECT_EQ(index["version"], 3);
        EXPECT_EQ(index["complete"], true);

        // Each source as stat sees it.
        ASSERT_EQ(index["levels"].size(), row.levels.size());
        ASSERT_EQ(index["sources"].size(), row.levels.size());
        std::map<std::string, const LaidOut*> byName;
        for (std::size_t i = 0; i < row.levels.size(); ++i) {
            const LaidOut& level = row.levels[i];
            byName[level.name] = &level;
            EXPECT_EQ(index["levels"][i], level.name);
            const auto facts = testsupport::statOf(g.dir / level.source);
            if (!facts)
                GTEST_SKIP() << "no stat to referee the sources here";
            const nlohmann::json& source = index["sources"][i];
            EXPECT_EQ(source["level"], level.name);
            EXPECT_EQ(source["size"], facts->size);
            EXPECT_EQ(source["modified"], facts->modified);
        }

        // Each image once, at its offset, its texture's digest that of the bytes the test put
        // there, its written size that of its file.
        std::set<std::tuple<std::string, std::uint64_t, std::uint64_t>> expected;
        for (const LaidOut& level : row.levels) {
            for (std::size_t n = 0; n < level.images.size(); ++n)
                expected.emplace(level.name, n + 1, level.images[n].first);
        }
        std::set<std::tuple<std::string, std::uint64_t, std::uint64_t>> found;
        for (const nlohmann::json& texture : index["textures"]) {
            for (const nlohmann::json& use : texture["in"]) {
                const std::string name = use["level"];
                const std::uint64_t number = use["number"];
                found.emplace(name, number, use["offset"].get<std::uint64_t>());
                ASSERT_TRUE(byName.count(name)) << name;
                const LaidOut& level = *byName[name];
                ASSERT_LE(number, level.images.size());
                const std::string cut = testJpeg(level.images[number - 1].second);
                writeBytes(g.dir / "texture.bin", cut);
                const std::string digest = testsupport::sha256sumOf(g.dir / "texture.bin");
                if (digest.empty())
                    GTEST_SKIP() << "no sha256sum to referee the digests here";
                EXPECT_EQ(texture["sha256"], digest);
                EXPECT_EQ(texture["bytes"], cut.size());
                const auto file = testsupport::statOf(
                    g.out / level.folder / ("Vorlesk_000" + std::to_string(number) + ".jpg"));
                ASSERT_TRUE(file);
                EXPECT_EQ(use["written"], file->size);
            }
        }
        EXPECT_EQ(found, expected);
    }
}

// A run stopped before its index is written, or that cannot write it, leaves no index and no
// part of one; the failure names the file.
TEST(SourcesRun, AnIndexNotWrittenLeavesNoPartAndAFailureNamesIt)
{
    struct Stopping : Recorder
    {
        std::size_t images = 0;
        std::size_t stopAfter = 0; // images heard; 0 never stops
        fs::path stopAtFile;       // once it is in place, when given
        void onImage(const CheckedImage& image) override
        {
            (void)image;
            ++images;
        }
        bool keepGoing() override
        {
            if (!stopAtFile.empty())
                return !fs::exists(stopAtFile);
            return stopAfter == 0 || images < stopAfter;
        }
        std::vector<std::string> errors;
        void onLevelEnd(const LevelOutcome& outcome) override
        {
            Recorder::onLevelEnd(outcome);
            if (outcome.result.error)
                errors.push_back(outcome.result.error->message);
        }
    };
    const struct
    {
        const char* what;
        std::vector<std::string> sources;
        bool gallery;
        bool stop;
    } rows[] = {
        {"one level, stopped", {"game/maps/castle.ldb"}, false, true},
        {"one level, stopped with its page", {"game/maps/castle.ldb"}, true, true},
        {"two files, stopped", {"game/harbour.ldb", "game/maps/castle.ldb"}, false, true},
        {"one level, failed", {"game/maps/castle.ldb"}, false, false},
        {"one level with its page, failed", {"game/maps/castle.ldb"}, true, false},
        {"two files, failed", {"game/harbour.ldb", "game/maps/castle.ldb"}, false, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const Game g;
        SourcesRequest request = g.request();
        request.sources.clear();
        for (const std::string& source : row.sources)
            request.sources.push_back(g.dir / source);
        request.gallery = row.gallery;
        if (!row.stop) // the hidden file's name is taken
            fs::create_directories(g.out / ".textures.json.part" / "in the way");
        Stopping events;
        events.stopAfter = row.stop ? 2 : 0; // castle's last image, or harbour and castle's first
        // A level's page is written before its index, so a stop comes right between them.
        if (row.stop && row.gallery)
            events.stopAtFile = g.out / "index.html";
        const SourcesOutcome outcome = runSources(request, events);
        EXPECT_FALSE(fs::exists(g.out / "textures.json"));
        if (row.stop) {
            EXPECT_EQ(outcome.status, SourcesStatus::Stopped);
            EXPECT_FALSE(fs::exists(g.out / ".textures.json.part"));
            continue;
        }
        EXPECT_EQ(outcome.status, SourcesStatus::Failed);
        EXPECT_TRUE(fs::exists(g.out / ".textures.json.part" / "in the way"));
        // Several levels' index fails the run once they are in place; a level's own, its run.
        std::string message;
        if (outcome.filesError)
            message = outcome.filesError->message;
        else if (!events.errors.empty())
            message = events.errors.back();
        EXPECT_EQ(outcome.filesError.has_value(), row.sources.size() > 1);
        EXPECT_EQ(events.errors.size(), row.sources.size() > 1 ? 0U : 1U);
        EXPECT_NE(message.find("textures.json"), std::string::npos) << message;
    }
}

// A source where the run writes its index is never replaced by it: the level's own run refuses
// it before anything is written, and a run of several refuses it before reading any.
TEST(SourcesRun, ASourceAtTheIndexsPlaceIsNeverReplaced)
{
    const struct
    {
        const char* what;
        std::vector<std::string> sources; // below the test's folder
        SourcesStatus status;
    } rows[] = {
        {"alone", {"out/textures.json"}, SourcesStatus::Failed},
        {"with another", {"game/harbour.ldb", "out/textures.json"}, SourcesStatus::Refused},
        {"in a folder of its own", {"out/textures.json"}, SourcesStatus::Refused},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const Game g;
        const std::string level = "x" + testJpeg("grey");
        fs::create_directories(g.out);
        writeBytes(g.out / "textures.json", level);
        SourcesRequest request = g.request();
        request.sources.clear();
        for (const std::string& source : row.sources)
            request.sources.push_back(g.dir / source);
        request.folderPerSource = std::string(row.what) == "in a folder of its own";
        Recorder events;
        const SourcesOutcome outcome = runSources(request, events);
        EXPECT_EQ(outcome.status, row.status) << outcome.refusal;
        if (row.status == SourcesStatus::Refused) {
            EXPECT_NE(outcome.refusal.find("textures.json"), std::string::npos) << outcome.refusal;
        }
        EXPECT_EQ(readBytes(g.out / "textures.json"), level);
    }
}

// Sources that cannot be run as given are refused before anything is read or made; a listing
// reads them all the same, as it writes nothing.
TEST(SourcesRun, SourcesThatCannotBeRunAsGivenAreRefusedBeforeReading)
{
    const struct
    {
        const char* what;
        std::vector<std::string> sources; // below the test's folder
        std::string refusal;              // its end
    } rows[] = {
        {"two sources, one folder",
         {"game/harbour.ldb", "other/harbour.ldb"},
         "; extract them in separate runs"},
        {"a source in another's folder, under an image's name",
         {"game/harbour.ldb", "out/harbour/Vorlesk_0001.jpg"},
         "move it, or extract them in separate runs"},
    };
    for (const auto& row : rows) {
        for (const RunMode mode : {RunMode::Write, RunMode::ListOnly}) {
            SCOPED_TRACE(testing::Message()
                         << row.what << (mode == RunMode::Write ? "" : ", listed"));
            const Game g;
            fs::create_directories(g.dir / "other");
            writeBytes(g.dir / "other" / "harbour.ldb", testJpeg("grey"));
            fs::create_directories(g.out / "harbour");
            writeBytes(g.out / "harbour" / "Vorlesk_0001.jpg", testJpeg("wider"));
            SourcesRequest request = g.request();
            request.sources.clear();
            for (const std::string& source : row.sources)
                request.sources.push_back(g.dir / source);
            request.mode = mode;
            Recorder events;
            const SourcesOutcome outcome = runSources(request, events);
            if (mode == RunMode::ListOnly) {
                EXPECT_EQ(outcome.status, SourcesStatus::Completed);
                continue;
            }
            EXPECT_EQ(outcome.status, SourcesStatus::Refused);
            EXPECT_TRUE(outcome.refusal.ends_with(row.refusal)) << outcome.refusal;
            EXPECT_EQ(events.heard, (std::vector<std::string>{"listed 2 problems 0"}));
            EXPECT_EQ(entriesIn(g.out), (std::vector<std::string>{"harbour"}));
            EXPECT_EQ(readBytes(g.out / "harbour" / "Vorlesk_0001.jpg"), testJpeg("wider"));
        }
    }
}

// A folder whose index says it holds another game's (or other levels') textures takes no other
// source, unless forced; the same game, or the same level, goes into it again.
TEST(SourcesRun, AFolderHoldingAnotherGamesTexturesIsRefusedUnlessForced)
{
    const std::vector<std::string> game{"game"};
    const std::vector<std::string> keep{"other/keep.ldb"};
    const std::string ofTheGame = "of 2 levels (harbour.ldb, ...)";
    const std::string ofKeep = "of 1 level (keep.ldb)";
    const struct
    {
        const char* what;
        std::vector<std::string> first;   // extracted first, below the test's folder
        std::vector<std::string> sources; // then these
        bool force;
        RunMode mode;
        std::string refused; // what the refusal says the folder holds; empty when written
    } rows[] = {
        {"the same game again", game, {"game"}, false, RunMode::Write, ""},
        {"one of its levels on its own",
         game,
         {"game/harbour.ldb"},
         false,
         RunMode::Write,
         ofTheGame},
        {"two files",
         game,
         {"game/harbour.ldb", "other/keep.ldb"},
         false,
         RunMode::Write,
         ofTheGame},
        {"another game", game, {"other"}, false, RunMode::Write, ofTheGame},
        {"another game, forced", game, {"other"}, true, RunMode::Write, ""},
        {"another game, listed", game, {"other"}, false, RunMode::ListOnly, ""},
        {"the same level again", keep, {"other/keep.ldb"}, false, RunMode::Write, ""},
        {"another level into a level's folder",
         keep,
         {"game/harbour.ldb"},
         false,
         RunMode::Write,
         ofKeep},
        {"another level into a level's folder, forced",
         keep,
         {"game/harbour.ldb"},
         true,
         RunMode::Write,
         ""},
        {"the level and another",
         keep,
         {"other/keep.ldb", "game/harbour.ldb"},
         false,
         RunMode::Write,
         ""},
        {"a game into a level's folder", keep, {"game"}, false, RunMode::Write, ofKeep},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const Game g;
        fs::create_directories(g.dir / "other");
        writeBytes(g.dir / "other" / "keep.ldb", "k" + testJpeg("grey"));
        SourcesRequest firstRequest = g.request();
        firstRequest.sources.clear();
        for (const std::string& source : row.first)
            firstRequest.sources.push_back(g.dir / source);
        Recorder first;
        ASSERT_EQ(runSources(firstRequest, first).status, SourcesStatus::Completed);
        const std::string index = readBytes(g.out / "textures.json");
        const std::vector<std::string> entries = entriesIn(g.out);
        SourcesRequest request = g.request();
        request.sources.clear();
        for (const std::string& source : row.sources)
            request.sources.push_back(g.dir / source);
        request.force = row.force;
        request.mode = row.mode;
        Recorder events;
        const SourcesOutcome outcome = runSources(request, events);
        if (row.refused.empty()) {
            EXPECT_EQ(outcome.status, SourcesStatus::Completed) << outcome.refusal;
            continue;
        }
        EXPECT_EQ(outcome.status, SourcesStatus::Refused);
        EXPECT_EQ(outcome.refusal,
                  "\"" + displayPath(g.out) + "\" holds the textures of another game, " +
                      row.refused +
                      ", as its textures.json says; extract into another folder, or add --force "
                      "to extract into it all the same");
        EXPECT_EQ(events.heard.size(), 1u) << "nothing read";
        EXPECT_EQ(entriesIn(g.out), entries);
        EXPECT_EQ(readBytes(g.out / "textures.json"), index);
    }
}

// A level whose folder would stand where the game's run writes its own files is refused before
// any level is read; listing writes none of them, so it lists the level.
TEST(SourcesRun, ALevelsFolderAtTheGamesOwnFileIsRefusedBeforeReading)
{
    for (const char* name : {"textures.json.ldb", "index.html.ldb"}) {
        for (const RunMode mode : {RunMode::Write, RunMode::ListOnly}) {
            SCOPED_TRACE(testing::Message() << name << (mode == RunMode::Write ? "" : ", listed"));
            const Game g;
            writeBytes(g.game / name, testJpeg("grey"));
            SourcesRequest request = g.request();
            request.gallery = mode == RunMode::Write;
            request.mode = mode;
            Recorder events;
            const SourcesOutcome outcome = runSources(request, events);
            if (mode == RunMode::ListOnly) {
                EXPECT_EQ(outcome.status, SourcesStatus::Completed);
                continue;
            }
            EXPECT_EQ(outcome.status, SourcesStatus::Refused);
            EXPECT_NE(outcome.refusal.find(name), std::string::npos) << outcome.refusal;
            EXPECT_EQ(events.heard, (std::vector<std::string>{"listed 3 problems 0"}));
            EXPECT_FALSE(fs::exists(g.out));
        }
    }
}

#ifndef _WIN32
// A level swapped, between the listing and its reading, for a link to a file outside the game,
// a pipe, a folder or another file, is named and passed over: never read, never waited on. The
// other levels are read.
TEST(SourcesRun, ALevelChangedSinceItWasListedIsNamedAndNotRead)
{
    struct Swapping : Recorder
    {
        std::function<void()> swap;
        std::vector<std::string> errors;
        void onListed(const SourceList& list) override
        {
            Recorder::onListed(list);
            swap();
        }
        void onLevelEnd(const LevelOutcome& outcome) override
        {
            Recorder::onLevelEnd(outcome);
            if (outcome.result.error)
                errors.push_back(outcome.result.error->message);
        }
    };
    const fs::path dir = freshTestFolder();
    const fs::path game = dir / "game";
    fs::create_directories(game / "maps");
    for (const char* name : {"a.ldb", "b.ldb", "c.ldb", "d.ldb", "maps/e.ldb", "z.ldb"})
        writeBytes(game / name, "x" + testJpeg("colour"));
    writeBytes(dir / "outside.ldb", testJpeg("grey") + testJpeg("grey"));
    Swapping events;
    events.swap = [&] {
        fs::remove(game / "a.ldb");
        fs::create_symlink(dir / "outside.ldb", game / "a.ldb");
        fs::remove(game / "b.ldb");
        ASSERT_EQ(::mkfifo((game / "b.ldb").c_str(), 0600), 0);
        fs::remove(game / "c.ldb");
        fs::create_directory(game / "c.ldb");
        writeBytes(dir / "other.ldb", testJpeg("grey"));
        fs::rename(dir / "other.ldb", game / "d.ldb");
        fs::rename(game / "maps", game / "maps-moved");
        fs::create_directory_symlink(dir, game / "maps");
        writeBytes(dir / "e.ldb", testJpeg("grey"));
    };
    SourcesRequest request;
    request.sources = {game};
    request.outputDir = dir / "out";
    const SourcesOutcome outcome = runSources(request, events);
    EXPECT_EQ(outcome.status, SourcesStatus::Failed);
    EXPECT_EQ(events.heard,
              (std::vector<std::string>{
                  "listed 6 problems 0", "planned 6", "start a.ldb", "end failed 0", "start b.ldb",
                  "end failed 0", "start c.ldb", "end failed 0", "start d.ldb", "end failed 0",
                  "start maps/e.ldb", "end failed 0", "start z.ldb", "end completed 1",
                  "textures 1 texture in 6 levels, 1 distinct"}));
    for (const char* folder : {"a", "b", "c", "d", "maps"})
        EXPECT_FALSE(fs::exists(dir / "out" / folder)) << folder;
    // Each named, and why.
    const std::vector<std::pair<std::string, std::string>> named = {
        {"a.ldb", "no longer a regular file"}, {"b.ldb", "no longer a regular file"},
        {"c.ldb", "no longer a regular file"}, {"d.ldb", "replaced meanwhile"},
        {"e.ldb", "no longer a regular file"},
    };
    ASSERT_EQ(events.errors.size(), named.size());
    for (std::size_t i = 0; i < named.size(); ++i) {
        EXPECT_NE(events.errors[i].find(named[i].first), std::string::npos) << events.errors[i];
        EXPECT_NE(events.errors[i].find(named[i].second), std::string::npos) << events.errors[i];
    }
    EXPECT_EQ(readBytes(dir / "out" / "z" / "Vorlesk_0001.jpg"), testJpeg("colour"));
}
#endif

// A game folder without levels is named; with nothing else to read, the run has no levels, and
// with a file beside it, the file is read and the run fails for the folder.
TEST(SourcesRun, AGameWithoutLevelsIsNamedAndFailsTheRun)
{
    const Game g;
    fs::create_directories(g.dir / "empty");
    Recorder alone;
    SourcesRequest request = g.request();
    request.sources = {g.dir / "empty"};
    EXPECT_EQ(runSources(request, alone).status, SourcesStatus::NoLevels);
    EXPECT_EQ(alone.heard, (std::vector<std::string>{"listed 0 problems 1"}));

    // The file still gets a folder of its own: the output folder is the (empty) game's.
    Recorder beside;
    request.sources = {g.dir / "empty", g.game / "harbour.ldb"};
    EXPECT_EQ(runSources(request, beside).status, SourcesStatus::Failed);
    EXPECT_EQ(beside.heard.at(0), "listed 1 problems 1");
    EXPECT_EQ(beside.heard.at(3), "end completed 1");
    ASSERT_EQ(beside.starts.size(), 1U);
    EXPECT_EQ(beside.starts[0].folder, g.out / "harbour");
    EXPECT_EQ(readBytes(g.out / "harbour" / "Vorlesk_0001.jpg"), testJpeg("colour"));
    EXPECT_TRUE(fs::exists(g.out / "textures.json"));
}

// A stop at any step ends the run there: nothing after it is read or written, and the game's
// index is not written.
TEST(SourcesRun, AStopEndsTheRunAtTheStepItCameTo)
{
    const struct
    {
        const char* what;
        std::size_t afterEvents; // stop once this many events were heard
        std::vector<std::string> heard;
    } rows[] = {
        {"while listing", 0, {"listed 0 problems 0"}},
        {"before the first level", 2, {"listed 2 problems 0", "planned 2"}},
        {"between the levels",
         4,
         {"listed 2 problems 0", "planned 2", "start harbour.ldb", "end completed 1"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const Game g;
        Recorder events;
        events.going = [&row](const std::vector<std::string>& heard) {
            return heard.size() < row.afterEvents;
        };
        const SourcesOutcome outcome = runSources(g.request(), events);
        EXPECT_EQ(outcome.status, SourcesStatus::Stopped);
        EXPECT_EQ(events.heard, row.heard);
        EXPECT_FALSE(fs::exists(g.out / "textures.json"));
        EXPECT_FALSE(fs::exists(g.out / "maps"));
    }
}

// The game's folder held by another run: no level is read. Its index or page that cannot be
// written fails the run, named, with every level in place.
TEST(SourcesRun, TheGamesOwnFolderAndFilesFailTheRunNamed)
{
    {
        const Game g;
        fs::create_directories(g.out);
        std::optional<ExtractError> error;
        const LockedFolder other = LockedFolder::openBeside(g.out / "textures.json", FileIdentity{},
                                                            "the texture index", "run", error);
        ASSERT_FALSE(error);
        Recorder events;
        const SourcesOutcome outcome = runSources(g.request(), events);
        EXPECT_EQ(outcome.status, SourcesStatus::Failed);
        ASSERT_TRUE(outcome.folderError);
        EXPECT_EQ(outcome.folderError->kind, ErrorKind::OutputBusy);
        EXPECT_EQ(events.heard, (std::vector<std::string>{"listed 2 problems 0", "planned 2"}));
    }
    // A folder at the index's name is refused with the game's folder, before any level; one at
    // a hidden file's name is met only as the file is written, after the levels.
    const struct
    {
        const char* blocked;
        const char* named;
        bool atOpening;
    } rows[] = {
        {"textures.json", "textures.json", true},
        {".textures.json.part", "textures.json", false},
        {".index.html.part", "index.html", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.blocked);
        const Game g;
        fs::create_directories(g.out / row.blocked / "in the way");
        SourcesRequest request = g.request();
        request.gallery = true;
        Recorder events;
        const SourcesOutcome outcome = runSources(request, events);
        EXPECT_EQ(outcome.status, SourcesStatus::Failed);
        const std::optional<ExtractError>& error =
            row.atOpening ? outcome.folderError : outcome.filesError;
        EXPECT_EQ(outcome.folderError.has_value(), row.atOpening);
        EXPECT_EQ(outcome.filesError.has_value(), !row.atOpening);
        ASSERT_TRUE(error);
        EXPECT_NE(error->message.find(row.named), std::string::npos) << error->message;
        EXPECT_EQ(fs::exists(g.out / "harbour" / "Vorlesk_0001.jpg"), !row.atOpening);
        EXPECT_TRUE(fs::exists(g.out / row.blocked / "in the way"));
        // The index is written before the page: a page that cannot be written leaves it.
        EXPECT_EQ(fs::is_regular_file(g.out / "textures.json"),
                  !row.atOpening && std::string(row.named) == "index.html");
    }
}

// One put-back call for a level and for a game; --everywhere needs a game and reads nothing
// otherwise.
TEST(SourcesRun, OnePutBackCallTakesALevelOrAGame)
{
    const Game g;
    Recorder extracted;
    ASSERT_EQ(runSources(g.request(), extracted).status, SourcesStatus::Completed);
    const struct
    {
        const char* what;
        fs::path source;
        fs::path folder;
        bool everywhere;
        bool game;
        bool refused;
    } rows[] = {
        {"a level", g.game / "harbour.ldb", g.out / "harbour", false, false, false},
        {"a game", g.game, g.out, false, true, false},
        {"a game, everywhere", g.game, g.out, true, true, false},
        {"a level, everywhere", g.game / "harbour.ldb", g.out / "harbour", true, false, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        PutBackSettings settings;
        settings.source = row.source;
        settings.folder = row.folder;
        settings.dryRun = true;
        settings.everywhere = row.everywhere;
        RunEvents events;
        const PutBackRun run = putBackSource(settings, events);
        EXPECT_EQ(run.everywhereNeedsGame, row.refused);
        EXPECT_EQ(std::holds_alternative<GamePutBackRun>(run.run), row.game);
        EXPECT_EQ(std::holds_alternative<LevelPutBackRun>(run.run), !row.game && !row.refused);
        EXPECT_EQ(run.status(), row.refused ? PutBackStatus::Refused : PutBackStatus::DryRun);
        if (const auto* game = std::get_if<GamePutBackRun>(&run.run)) {
            EXPECT_EQ(game->request.everywhere, row.everywhere);
            EXPECT_EQ(game->outcome.levels.size(), 2U);
        }
    }
}

} // namespace
} // namespace glintmark::features
