#include "CliTestSupport.h"

#include "engine/Extraction.h"
#include "engine/io/PathText.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>

#ifndef _WIN32
#include <unistd.h>
#endif
#ifdef __linux__
#include <csignal>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

#include <chrono>
#include <thread>
#endif

namespace glintmark::clitest {
namespace {

namespace fs = std::filesystem;

std::string demo()
{
    return demoLdb().string();
}

// A source holding the given images of the sample, back to back.
fs::path sliceOfDemo(const fs::path& file, std::size_t first, std::size_t last)
{
    const auto images = demoManifest()["images"];
    const std::string bytes = readBytes(demoLdb());
    const std::size_t begin = images[first - 1]["offset"];
    const std::size_t end =
        images[last - 1]["offset"].get<std::size_t>() + images[last - 1]["size"].get<std::size_t>();
    writeBytes(file, bytes.substr(begin, end - begin));
    return file;
}

TEST(CliUsage, BadCommandLinesExitWithTwoAndTouchNothing)
{
    const fs::path dir = freshTestFolder();
    const std::string out = (dir / "out").string();
    // The arguments, and what the message must name.
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{}, "SOURCE"},                   // no source
        {{"-o", out}, "SOURCE"},          // still no source
        {{"--bogus", demo()}, "--bogus"}, // unknown option
        {{"--bogus"}, "--bogus"},         // named even without a source
        {{"-o", "", demo()}, "empty"},    // an empty folder would mean the file system root
        {{"-o", out, ""}, "empty"},       // empty source name
        {{demo(), "-o"}, "required DIR"}, // option without its value, named as what it wants
        {{"--put-back"}, "required DIR"},
        {{"--put-back", out, demo(), "--into"}, "required NEW.ldb"},
        // a near miss is answered with the option it most likely meant
        {{"--chek", demo()}, "--chek (did you mean --check?)"},
        {{"--gallry", "--lst", demo()}, "--lst (did you mean --list?)"},
        {{"--output=" + out, "--quite", demo()}, "--quite (did you mean --quiet?)"},
        {{"--zzz", demo()}, "not expected: --zzz\n"}, // nothing near: no guess
        {{"--folder-per-source", "--put-back", out, "--into", out + ".ldb", demo()},
         "--folder-per-source"},
        // a gallery of files that are never written, and a cut of files that are never written
        {{"--list", "--gallery", demo()}, "--list writes nothing, so it takes no --gallery\n"},
        {{"--trim", "--list", demo()}, "--list writes nothing, so it takes no --trim\n"},
        // writers: from 1 to 64, and only where images are written
        {{"--writers", "0", "-o", out, demo()}, "from 1 to 64"},
        {{"--writers", "65", "-o", out, demo()}, "from 1 to 64"},
        {{"--writers", "two", "-o", out, demo()}, "from 1 to 64"},
        {{"--list", "--writers", "2", demo()}, "--list writes nothing, so it takes no --writers\n"},
        {{"--list", "--no-index", demo()}, "--list writes nothing, so it takes no --no-index\n"},
        {{"--put-back", out, "--into", out + ".ldb", "--no-index", demo()}, "--no-index"},
        {{"--put-back", out, "--into", out + ".ldb", "--writers", "2", demo()}, "--writers"},
        // a put-back writes one new level: it needs its name and one source, and no image options
        {{"--put-back", out, demo()}, "--into"},
        {{"--into", out + ".ldb", demo()}, "--put-back"},
        {{"--put-back", out, "--into", out + ".ldb", demo(), demo()}, "exactly one SOURCE"},
        {{"--put-back", out, "--into", out + ".ldb", "--trim", demo()}, "--trim"},
    };
    for (const auto& [args, named] : cases) {
        const CliRun run = runWith(args);
        SCOPED_TRACE(::testing::PrintToString(args));
        EXPECT_EQ(run.code, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err.rfind("glintmark-cli: ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find(named), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("--help"), std::string::npos) << run.err;
        EXPECT_FALSE(fs::exists(dir / "out"));
    }
}

TEST(CliUsage, SourcesThatWouldShareAFolderAreRefusedBeforeAnythingIsWritten)
{
    const fs::path dir = freshTestFolder();
    fs::create_directories(dir / "x");
    fs::create_directories(dir / "y");
    fs::copy_file(demoLdb(), dir / "x" / "level.ldb");
    // Names are compared as Windows compares them, on every system.
    const std::string x = displayPath(dir / "x") + "/";
    const std::string y = displayPath(dir / "y") + "/";
    const std::string a = x + "level.ldb";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {a, y + "level.ldb"},           // same name, different folders
        {a, y + "LEVEL.dat"},           // differs only in case and extension
        {a, a},                         // the same file twice
        {a, y + ". .ldb"},              // no usable name at all
        {a, y + "level..ldb"},          // "level." is "level" on Windows
        {a, y + "level . .ldb"},        // so are trailing spaces and dots together
        {a, y + "....ldb"},             // only dots: no name left at all
        {x + "Été.ldb", y + "été.ldb"}, // letters beyond ASCII fold too
        {x + "ΩMEGA.ldb", y + "ωmega.ldb"},
        {x + "Ｌｅｖｅｌ.ldb", y + "ｌｅｖｅｌ.ldb"},
    };
    for (const auto& [first, second] : cases) {
        const std::string out = (dir / "out").string();
        const CliRun run = runWith({"-o", out, first, second});
        SCOPED_TRACE(first + " / " + second);
        EXPECT_EQ(run.code, 2);
        EXPECT_NE(run.err.find(second), std::string::npos) << run.err;
        EXPECT_FALSE(fs::exists(dir / "out"));

        // Listing writes nothing, so a shared folder name does not matter there.
        EXPECT_NE(runWith({"--list", "-q", first, second}).code, 2);
    }
    // A later source does not hide the clash of two earlier ones.
    EXPECT_EQ(
        runWith({"-o", (dir / "out").string(), x + "level.ldb", y + "level.ldb", demo()}).code, 2);
}

TEST(CliRun, NamesInAnyScriptWorkAsSourcesAndFolders)
{
    const std::string dir = displayPath(freshTestFolder());
    const std::string out = dir + "/Fächer";
    std::vector<std::string> args{"-o", out};
    const std::vector<std::string> names = {"日本", "Ωmega", "€uro", "Été", "Straße"};
    std::string expected;
    for (const std::string& name : names) {
        const std::string source = dir + "/" + name + ".ldb";
        fs::copy_file(demoLdb(), pathFromUtf8(source));
        args.push_back(source);
        expected += "11 textures extracted from " + source + " into " +
                    displayPath(pathFromUtf8(out) / pathFromUtf8(name)) + "\n";
    }
    const CliRun run = runWith(args);
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, expected);
    for (const std::string& name : names)
        EXPECT_EQ(fileNames(pathFromUtf8(out + "/" + name)).size(), 11u) << name;
}

#ifdef _WIN32
TEST(CliUsage, DeviceNamesAreRefusedBeforeAnythingIsWritten)
{
    const fs::path dir = freshTestFolder();
    const std::string out = (dir / "out").string();
    const std::vector<std::vector<std::string>> cases = {
        {"-o", (dir / "NUL").string(), demo()},
        {"-o", (dir / "con.txt" / "deeper").string(), demo()},
        {"-o", out, (dir / "aux.ldb").string()},
        {"-o", out, demo(), (dir / "x" / "Com1.ldb").string()}, // its folder would be Com1
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(::testing::PrintToString(args));
        const CliRun run = runWith(args);
        EXPECT_EQ(run.code, 2);
        EXPECT_NE(run.err.find("is a device name on Windows"), std::string::npos) << run.err;
        EXPECT_TRUE(fileNames(dir).empty());
        EXPECT_FALSE(fs::exists(dir / "out"));
    }
    // Listing writes nothing, but a device is still not read as a level.
    const CliRun listed = runWith({"--list", (dir / "PRN.ldb").string()});
    EXPECT_EQ(listed.code, 1);
    EXPECT_NE(listed.err.find("device on Windows"), std::string::npos) << listed.err;
}
#endif

TEST(CliRun, OneSourceGoesStraightIntoTheOutputFolderWhichIsCreatedWithItsParents)
{
    const fs::path out = freshTestFolder() / "a" / "b" / "c";
    const CliRun run = runWith({"-o", out.string(), demo()});
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, "11 textures extracted from " + demo() + " into " + out.string() + "\n");
    // The images and, beside them, the run's index.
    const std::vector<std::string> names = fileNames(out);
    ASSERT_EQ(names.size(), 12u);
    EXPECT_EQ(names.front(), "Vorlesk_0001.jpg");
    EXPECT_EQ(names[10], "Vorlesk_0011.jpg");
    EXPECT_EQ(names.back(), "textures.json");
}

// However many threads write, the same files, byte for byte, and the same report.
TEST(CliRun, EveryNumberOfWritersWritesTheSameFiles)
{
    const fs::path dir = freshTestFolder();
    const CliRun one = runWith({"--trim", "--writers", "1", "-o", (dir / "one").string(), demo()});
    ASSERT_EQ(one.code, 0) << one.err;
    for (const char* writers : {"2", "5", "64"}) {
        SCOPED_TRACE(writers);
        const fs::path out = dir / writers;
        const CliRun run = runWith({"--trim", "--writers", writers, "-o", out.string(), demo()});
        EXPECT_EQ(run.code, 0) << run.err;
        EXPECT_EQ(fileNames(out), fileNames(dir / "one"));
        for (const std::string& name : fileNames(out))
            EXPECT_EQ(readBytes(out / name), readBytes(dir / "one" / name)) << name;
        EXPECT_EQ(run.out.substr(0, 30), one.out.substr(0, 30));
    }
}

// Every extraction writes its index beside the images unless --no-index; an index that cannot
// be written fails the run naming it; another level into a level's folder is bad usage unless
// --force. (What the index holds is judged with the features.)
TEST(CliRun, EveryExtractionWritesItsIndexUnlessAskedNotTo)
{
    const fs::path dir = freshTestFolder();
    const fs::path other = sliceOfDemo(dir / "other.ldb", 2, 3);
    const struct
    {
        const char* what;
        std::vector<std::string> first; // run first into "out", when given
        std::vector<std::string> args;  // then this, into "out"
        bool blocked;                   // the index's hidden name is taken
        int code;
        bool index;
        const char* said; // on standard error
    } rows[] = {
        {"one level", {}, {demo()}, false, 0, true, ""},
        {"one level without an index", {}, {"--no-index", demo()}, false, 0, false, ""},
        {"two levels without an index",
         {},
         {"--no-index", demo(), other.string()},
         false,
         0,
         false,
         ""},
        {"the same level again", {demo()}, {demo()}, false, 0, true, ""},
        {"another level into its folder",
         {demo()},
         {other.string()},
         false,
         2,
         true,
         "holds the textures of another game, of 1 level (demo.ldb)"},
        {"another level into its folder, forced",
         {demo()},
         {"--force", other.string()},
         false,
         0,
         true,
         ""},
        {"an index that cannot be written", {}, {demo()}, true, 1, false, "textures.json"},
        {"an index of two that cannot be written",
         {},
         {demo(), other.string()},
         true,
         1,
         false,
         "textures.json"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const fs::path out = dir / "out";
        fs::remove_all(out);
        std::vector<std::string> args{"-q", "-o", out.string()};
        if (!row.first.empty()) {
            std::vector<std::string> first = args;
            first.insert(first.end(), row.first.begin(), row.first.end());
            ASSERT_EQ(runWith(first).code, 0);
        }
        if (row.blocked)
            fs::create_directories(out / ".textures.json.part" / "in the way");
        args.insert(args.end(), row.args.begin(), row.args.end());
        const CliRun run = runWith(args);
        EXPECT_EQ(run.code, row.code) << run.err;
        EXPECT_EQ(fs::exists(out / "textures.json"), row.index);
        if (*row.said == '\0')
            EXPECT_EQ(run.err, "");
        else
            EXPECT_NE(run.err.find(row.said), std::string::npos) << run.err;
    }
}

// A script that works for several sources works for one, when it asks each to have its folder.
TEST(CliRun, FolderPerSourceGivesASingleSourceItsOwnFolderToo)
{
    const fs::path out = freshTestFolder() / "out";
    const CliRun run = runWith({"--folder-per-source", "-o", out.string(), demo()});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out,
              "11 textures extracted from " + demo() + " into " + (out / "demo").string() + "\n");
    // nothing beside the folder but the run's index
    EXPECT_EQ(fileNames(out), std::vector<std::string>{"textures.json"});
    EXPECT_EQ(fileNames(out / "demo").size(), 11u);
}

// A level without a single signature is not an error, but it is said, unless quiet.
TEST(CliRun, ALevelWithoutASignatureSaysSo)
{
    const fs::path dir = freshTestFolder();
    writeBytes(dir / "plain.ldb", std::string(5000, 'x'));
    for (const bool list : {false, true}) {
        for (const bool quiet : {false, true}) {
            SCOPED_TRACE(std::string(list ? "list" : "extract") + (quiet ? ", quiet" : ""));
            std::vector<std::string> args = {"-o", (dir / "out").string(),
                                             (dir / "plain.ldb").string()};
            if (list)
                args.insert(args.begin(), "--list");
            if (quiet)
                args.insert(args.begin(), "-q");
            const CliRun run = runWith(args);
            EXPECT_EQ(run.code, 0);
            EXPECT_EQ(run.err, quiet ? ""
                                     : "glintmark-cli: No JFIF signature found in " +
                                           (dir / "plain.ldb").string() + "\n");
        }
    }
    const CliRun found = runWith({"--list", demo()});
    EXPECT_EQ(found.err.find("No JFIF signature"), std::string::npos) << found.err;
}

TEST(CliRun, SeveralSourcesEachGetTheirOwnFolderAndNumbering)
{
    const fs::path dir = freshTestFolder();
    const fs::path one = sliceOfDemo(dir / "one.ldb", 5, 5);
    const fs::path two = sliceOfDemo(dir / "two.bin", 2, 4);
    const fs::path none = dir / "empty";
    writeBytes(none, std::string(5000, '\0'));

    const CliRun run =
        runWith({"-o", (dir / "out").string(), demo(), one.string(), two.string(), none.string()});
    EXPECT_EQ(run.code, 0) << run.err;
    // One index for the run, beside the sources' folders.
    EXPECT_EQ(fileNames(dir / "out"), std::vector<std::string>{"textures.json"});
    EXPECT_EQ(fileNames(dir / "out" / "demo").size(), 11u);
    EXPECT_EQ(fileNames(dir / "out" / "one"), std::vector<std::string>{"Vorlesk_0001.jpg"});
    EXPECT_EQ(fileNames(dir / "out" / "two").size(), 3u);
    EXPECT_TRUE(fs::is_directory(dir / "out" / "empty"));
    EXPECT_EQ(run.out, "11 textures extracted from " + demo() + " into " +
                           (dir / "out" / "demo").string() + "\n" + "1 texture extracted from " +
                           one.string() + " into " + (dir / "out" / "one").string() + "\n" +
                           "3 textures extracted from " + two.string() + " into " +
                           (dir / "out" / "two").string() + "\n" + "0 textures extracted from " +
                           none.string() + " into " + (dir / "out" / "empty").string() + "\n");
}

TEST(CliRun, AFailingSourceIsReportedAndTheOthersAreStillExtracted)
{
    const fs::path dir = freshTestFolder();
    const fs::path missing = dir / "missing.ldb";
    const fs::path copy = dir / "copy.ldb";
    fs::copy_file(demoLdb(), copy);

    for (const bool quiet : {false, true}) {
        const fs::path out = dir / (quiet ? "quiet" : "loud");
        std::vector<std::string> args{"-o", out.string(), demo(), missing.string(), copy.string()};
        if (quiet)
            args.insert(args.begin(), "-q");
        const CliRun run = runWith(args);
        EXPECT_EQ(run.code, 1);
        EXPECT_EQ(run.err.rfind("glintmark-cli: ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find(missing.string()), std::string::npos) << run.err;
        EXPECT_NE(run.err.find(std::strerror(ENOENT)), std::string::npos) << run.err;
        EXPECT_EQ(fileNames(out / "demo").size(), 11u);
        EXPECT_EQ(fileNames(out / "copy").size(), 11u);
        EXPECT_FALSE(fs::exists(out / "missing")) << "no folder for a source that cannot be read";
        EXPECT_EQ(run.out.empty(), quiet);
        EXPECT_EQ(run.out.find("missing"), std::string::npos);
        EXPECT_EQ(run.err.find("before the failure"), std::string::npos) << run.err;
    }
}

TEST(CliRun, AFailurePartWayKeepsAndReportsTheCompleteImages)
{
    const fs::path out = freshTestFolder();
    fs::create_directories(out / "Vorlesk_0003.jpg"); // the third image cannot be created
    const CliRun run = runWith({"-o", out.string(), demo()});
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("Vorlesk_0003.jpg"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("\nglintmark-cli: 2 textures extracted from " + demo() + " into " +
                           out.string() + " before the failure\n"),
              std::string::npos)
        << run.err;

    const std::string ldb = readBytes(demoLdb());
    const auto images = demoManifest()["images"];
    for (int i : {0, 1}) {
        EXPECT_EQ(readBytes(out / imageName(i + 1)),
                  ldb.substr(images[i]["offset"], images[i]["size"]));
    }
}

TEST(CliRun, OlderImagesNumberedBeyondTheRunAreLeftInPlaceAndCounted)
{
    const fs::path out = freshTestFolder();
    for (const char* name : {"Vorlesk_0012.jpg", "Vorlesk_0400.jpg"})
        writeBytes(out / name, "older");
    const CliRun run = runWith({"-o", out.string(), demo()});
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.out, "11 textures extracted from " + demo() + " into " + out.string() +
                           "; 2 older ones numbered beyond them were left in place\n");
    EXPECT_EQ(readBytes(out / "Vorlesk_0400.jpg"), "older");
    const auto report = nlohmann::json::parse(runWith({"--json", "-o", out.string(), demo()}).out);
    EXPECT_EQ(report["sources"][0]["stale"], 2);
}

// Takes `room` bytes, then fails as a full disk does.
class FillsUp : public std::streambuf
{
public:
    explicit FillsUp(std::size_t room) : m_room(room) {}

protected:
    int_type overflow(int_type c) override
    {
        if (m_room == 0) {
            errno = ENOSPC;
            return traits_type::eof();
        }
        --m_room;
        return c;
    }

private:
    std::size_t m_room;
};

TEST(CliRun, AReportThatCannotBeWrittenFailsTheRun)
{
    const fs::path dir = freshTestFolder();
    std::ofstream deviceFull("/dev/full", std::ios::binary);
    FillsUp fillsUp(300);
    std::ostream midway(&fillsUp);
    const std::pair<std::ostream*, std::vector<const char*>> cases[] = {
        {&deviceFull, {"-o"}},       // the summary line is lost
        {&midway, {"--json", "-o"}}, // the report breaks off while images are being written
        {&midway, {"--list", "-o"}}, // and so does the table
    };
    for (const auto& [out, options] : cases) {
        SCOPED_TRACE(::testing::PrintToString(options));
        out->clear();
        const std::string folder = (dir / "out").string();
        std::vector<const char*> argv{"glintmark-cli"};
        argv.insert(argv.end(), options.begin(), options.end());
        argv.push_back(folder.c_str());
        const std::string source = demo();
        argv.push_back(source.c_str());
        std::ostringstream err;
        EXPECT_EQ(runCli(static_cast<int>(argv.size()), argv.data(), *out, err), 1);
        EXPECT_EQ(err.str().find("interrupted"), std::string::npos) << "no signal came";
        EXPECT_NE(err.str().find("glintmark-cli: Cannot write to standard output: " +
                                 std::string(std::strerror(ENOSPC))),
                  std::string::npos)
            << err.str();
        for (const std::string& name : fileNames(dir / "out"))
            EXPECT_NE(name.front(), '.') << "an unfinished image was left: " << name;
    }

    // Put-back's report is lost too when its summary cannot be written.
    fs::create_directories(dir / "edits");
    const std::string edits = (dir / "edits").string();
    const std::string into = (dir / "new.ldb").string();
    const std::string source = demo();
    for (const char* json : {"", "--json"}) {
        SCOPED_TRACE(json);
        deviceFull.clear();
        std::vector<const char*> argv{"glintmark-cli", "--put-back", edits.c_str(),
                                      "--into",        into.c_str(), source.c_str()};
        if (*json != '\0')
            argv.insert(argv.begin() + 1, json);
        std::ostringstream err;
        EXPECT_EQ(runCli(static_cast<int>(argv.size()), argv.data(), deviceFull, err), 1);
        EXPECT_NE(err.str().find("glintmark-cli: Cannot write to standard output: " +
                                 std::string(std::strerror(ENOSPC))),
                  std::string::npos)
            << err.str();
    }
}

TEST(CliRun, AnOutputFolderThatIsAFileFailsWithItsName)
{
    const fs::path dir = freshTestFolder();
    writeBytes(dir / "taken", "not a folder");
    const CliRun run = runWith({"-o", (dir / "taken").string(), demo()});
    EXPECT_EQ(run.code, 1);
    const std::string expected =
        "glintmark-cli: Cannot create the output folder \"" + (dir / "taken").string() + "\": ";
    EXPECT_EQ(run.err.rfind(expected, 0), 0u) << run.err;
    EXPECT_EQ(readBytes(dir / "taken"), "not a folder");
}

#ifndef _WIN32
// A name that holds terminal controls retitles and clears no terminal: the human report and the
// error lines show its controls written out; JSON escapes them its own way.
TEST(CliRun, NamesMeetTheTerminalWithTheirControlsShown)
{
    const fs::path dir = freshTestFolder();
    const std::string hostile = "x\x1b]0;owned\a\x1b[2J";
    const std::string shown = "x\\x1B]0;owned\\x07\\x1B[2J";
    const fs::path level = dir / (hostile + ".ldb");
    fs::copy_file(demo(), level);
    fs::create_directories(dir / "edits");
    fs::create_directories(dir / "game" / "maps");
    fs::copy_file(demo(), dir / "game" / "maps" / (hostile + ".ldb"));
    struct Case
    {
        const char* what;
        std::vector<std::string> args;
        int code;
        std::string out; // a part of standard output, or of the error stream where it is empty
        std::string err;
        bool bars = false; // the error stream is a terminal, where the bars are drawn
    };
    const Case cases[] = {
        {"the table's heading and the summary",
         {"--list", level.string()},
         0,
         shown + ".ldb\n",
         ""},
        {"the summary of an extraction",
         {"-o", (dir / (hostile + "out")).string(), level.string()},
         0,
         "into " + (dir / (shown + "out")).string() + "\n",
         ""},
        {"an error line",
         {"--list", (dir / (hostile + "gone.ldb")).string()},
         1,
         "",
         (dir / (shown + "gone.ldb")).string()},
        {"put-back's summary",
         {"--put-back", (dir / "edits").string(), "--into", (dir / (hostile + "new.ldb")).string(),
          level.string()},
         0,
         "into " + (dir / (shown + "new.ldb")).string(),
         ""},
        {"JSON", {"--json", "--list", level.string()}, 0, "x\\u001b]0;owned\\u0007\\u001b[2J", ""},
        {"a game's level on its bar",
         {"-o", (dir / "gameout").string(), (dir / "game").string()},
         0,
         "",
         "owned\\x07\\x1B[2J.ldb",
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const CliRun run = c.bars ? runWith(c.args, onTerminal(false)) : runWith(c.args);
        EXPECT_EQ(run.code, c.code) << run.err;
        EXPECT_EQ(run.out.find('\x1b'), std::string::npos) << run.out;
        EXPECT_EQ(run.err.find('\x1b'), std::string::npos) << run.err;
        if (!c.out.empty()) {
            EXPECT_NE(run.out.find(c.out), std::string::npos) << run.out;
        }
        if (!c.err.empty()) {
            EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
        }
    }
}
#endif

// Several sources are checked against each other's folders before the first is read: a later
// source where an earlier one writes its images is neither replaced nor swept.
TEST(CliRun, ASourceInAnEarlierSourcesFolderIsRefusedBeforeAnythingIsRead)
{
    const fs::path dir = freshTestFolder();
    fs::create_directories(dir / "out" / "level");
    fs::copy_file(demo(), dir / "level.ldb");
    for (const char* name : {"Vorlesk_0002.jpg", ".Vorlesk_0009.jpg.part"}) {
        SCOPED_TRACE(name);
        const fs::path later = dir / "out" / "level" / name;
        fs::copy_file(demo(), later);
        const CliRun run =
            runWith({"-o", (dir / "out").string(), (dir / "level.ldb").string(), later.string()});
        EXPECT_EQ(run.code, 2);
        EXPECT_NE(run.err.find(later.string() + " is in the output folder of "), std::string::npos)
            << run.err;
        EXPECT_TRUE(readBytes(later) == readBytes(demo()));
        EXPECT_EQ(fileNames(dir / "out" / "level"), std::vector<std::string>{name});
        fs::remove(later);
    }
}

TEST(CliRun, TheDefaultOutputFolderIsTheCurrentOne)
{
    const fs::path dir = freshTestFolder();
    const fs::path before = fs::current_path();
    fs::current_path(dir);
    const CliRun run = runWith({"-q", demo()});
    fs::current_path(before);
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(fileNames(dir).size(), 12u); // the images and their index
    EXPECT_TRUE(fs::exists(dir / "textures.json"));
}

TEST(CliList, PrintsAnAlignedTableAndWritesNothing)
{
    const fs::path out = freshTestFolder() / "never";
    const auto images = demoManifest()["images"];
    for (const bool quiet : {false, true}) {
        const CliRun run =
            runWith(quiet ? std::vector<std::string>{"--list", "-q", "-o", out.string(), demo()}
                          : std::vector<std::string>{"--list", "-o", out.string(), demo()});
        EXPECT_EQ(run.code, 0);
        EXPECT_FALSE(fs::exists(out));

        std::vector<std::string> lines;
        std::istringstream in(run.out);
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        ASSERT_EQ(lines.size(), images.size() + (quiet ? 2 : 3)) << run.out;
        EXPECT_EQ(lines[0], demo());
        EXPECT_EQ(lines[1], "image  offset   size  dimensions  status");
        for (std::size_t i = 0; i < images.size(); ++i) {
            std::istringstream row(lines[i + 2]);
            std::uint64_t number = 0, offset = 0, size = 0;
            std::string dimensions;
            row >> number >> offset >> size >> dimensions;
            EXPECT_EQ(number, i + 1);
            EXPECT_EQ(offset, images[i]["offset"].get<std::uint64_t>());
            EXPECT_EQ(size, images[i]["size"].get<std::uint64_t>());
            EXPECT_EQ(dimensions, std::to_string(images[i]["width"].get<int>()) + "x" +
                                      std::to_string(images[i]["height"].get<int>()));
            const std::string status =
                "trailing: " + std::to_string(size - images[i]["jpegSize"].get<std::uint64_t>()) +
                " bytes";
            EXPECT_EQ(lines[i + 2].substr(lines[1].find("status")), status)
                << "row " << i + 1 << " misaligned";
        }
        if (!quiet) {
            EXPECT_EQ(lines.back(), "11 textures found in " + demo());
        }
    }
}

// Where a big sparse source goes: memory-backed storage where there is some, as reading its
// holes from a disk takes seconds.
fs::path sparseSourceName()
{
#ifndef _WIN32
    std::error_code ec;
    if (fs::is_directory("/dev/shm", ec))
        return "/dev/shm/glintmark-huge-" + std::to_string(::getpid()) + ".ldb";
#endif
    return freshTestFolder() / "huge.ldb";
}

TEST(CliList, OffsetsPastFourGibKeepAllTheirDigits)
{
    constexpr std::uint64_t first = (std::uint64_t{1} << 32) - 4;
    constexpr std::uint64_t second = (std::uint64_t{1} << 32) + kDefaultBlockSize + 100;
    const fs::path source = sparseSourceName();
    writeBytes(source, "");
    for (const std::uint64_t at : {first, second}) {
        fs::resize_file(source, at);
        std::ofstream(source, std::ios::binary | std::ios::app) << kSignature;
    }
    const CliRun list = runWith({"--list", "-q", source.string()});
    const CliRun json = runWith({"--list", "--json", source.string()});
    fs::remove(source);

    EXPECT_EQ(list.code, 0) << list.err;
    std::istringstream table(list.out);
    std::string line;
    std::getline(table, line);
    std::getline(table, line);
    for (const std::uint64_t offset : {first, second}) {
        std::uint64_t number = 0, listed = 0;
        table >> number >> listed;
        table.ignore(100, '\n');
        EXPECT_EQ(listed, offset) << list.out;
    }
    const auto images = nlohmann::json::parse(json.out)["sources"][0]["images"];
    ASSERT_EQ(images.size(), 2u) << json.out;
    EXPECT_EQ(images[0]["offset"], first);
    EXPECT_EQ(images[1]["offset"], second);
}

TEST(CliProgress, DrawnOnlyOnATerminalAndNeverWhenQuiet)
{
    const fs::path out = freshTestFolder();
    const CliEnvironment terminal = onTerminal();
    const CliRun shown = runWith({"-o", out.string(), demo()}, terminal);
    EXPECT_EQ(shown.code, 0);
    EXPECT_NE(shown.err.find("% "), std::string::npos) << shown.err;
    EXPECT_NE(shown.err.find("MB/s"), std::string::npos) << shown.err;
    EXPECT_EQ(shown.err.front(), '\r');
    EXPECT_EQ(shown.err.back(), '\r') << "the bar's line is wiped at the end";
    EXPECT_EQ(shown.out.find('\r'), std::string::npos);

    EXPECT_EQ(runWith({"-q", "-o", out.string(), demo()}, terminal).err, "");
    EXPECT_EQ(runWith({"-o", out.string(), demo()}).err, "");
}

// A level whose first image ends only blocks after the first progress: a bar is drawn before
// anything of the report is.
fs::path levelWithLateImages(const fs::path& file)
{
    LevelBuilder level(5);
    level.filler(kDefaultBlockSize + 1000);
    for (int i = 0; i < 5; ++i)
        level.plainImage(kDefaultBlockSize + 3000);
    writeBytes(file, level.bytes());
    return file;
}

// Every row of `screen` (a terminal `columns` wide) is a row of the output or of the errors as
// `plain` wrote them, all of the output's in their order, and nothing else.
void expectOnlyTheReport(const std::vector<std::string>& screen, const CliRun& plain, int columns)
{
    const std::vector<std::string> outRows = screenOf(plain.out, columns);
    const std::vector<std::string> errRows = screenOf(plain.err, columns);
    std::size_t next = 0;
    std::size_t errors = 0;
    for (const std::string& row : screen) {
        if (next < outRows.size() && row == outRows[next]) {
            ++next;
            continue;
        }
        ++errors;
        EXPECT_TRUE(std::find(errRows.begin(), errRows.end(), row) != errRows.end())
            << "on the screen: " << row;
    }
    EXPECT_EQ(next, outRows.size()) << "the report's rows, in order";
    EXPECT_EQ(errors, errRows.size());
}

// With the output and the errors on the terminal the bar is on, the screen shows the report and
// the errors as they would be written anywhere else: the bar is wiped before each line, never
// draws over an unfinished one, and never wraps.
TEST(CliProgress, TheBarNeverMixesWithTheReportOnOneTerminal)
{
    const fs::path dir = freshTestFolder();
    const std::string level = levelWithLateImages(dir / "late.ldb").string();
    const std::string missing = (dir / "missing.ldb").string();
    const std::string out = (dir / "out").string();
    const std::string kept = (dir / "kept").string();
    ASSERT_EQ(runWith({"-q", "-o", kept, level}).code, 0);
    const std::vector<std::vector<std::string>> cases = {
        {"--list", level},
        {"--list", "--json", level},
        {"--list", "--check", level},
        {"--list", level, missing, level}, // an error line between two reports
        {"--json", "--check", "-o", out, level},
        {"-o", out, level},
        {"--put-back", kept, "--into", (dir / "new.ldb").string(), level},
    };
    for (const auto& args : cases) {
        for (const int columns : {80, 50, 20}) {
            SCOPED_TRACE(testing::Message() << args.front() << " " << args[1] << " (" << args.size()
                                            << " arguments), " << columns << " columns");
            fs::remove_all(out);
            const CliRun plain = runWith(args);
            fs::remove_all(out);
            const std::string terminal = runOnOneTerminal(args, columns);
            const std::vector<std::string> bars = barLinesOf(terminal);
            EXPECT_FALSE(bars.empty()) << "a bar was drawn";
            for (const std::string& bar : bars) {
                EXPECT_LE(bar.size(), static_cast<std::size_t>(columns - 3)) << bar;
                // Several sources are counted off: "[2/3] late.ldb".
                const std::size_t name = bar.rfind('[', 0) == 0 ? bar.find("] ") + 2 : 0;
                const bool named = bar.compare(name, 8, "late.ldb") == 0;
                EXPECT_TRUE(named || columns <= 20) << "named for its source: " << bar;
            }
            const std::vector<std::string> screen = screenOf(terminal, columns);
            ASSERT_FALSE(screen.empty());
            EXPECT_EQ(screen.front(), screenOf(plain.out, columns).front());
            expectOnlyTheReport(screen, plain, columns);
        }
    }

    // With the report going elsewhere, the bar is left alone while it is written: it is wiped
    // once, when its phase ends.
    const CliRun elsewhere = runWith({"--list", level}, onTerminal(false));
    EXPECT_EQ(elsewhere.out, runWith({"--list", level}).out);
    std::size_t wipes = 0;
    std::istringstream err(elsewhere.err);
    for (std::string piece; std::getline(err, piece, '\r');)
        wipes += !piece.empty() && piece.find_first_not_of(' ') == std::string::npos;
    EXPECT_EQ(wipes, 1u) << elsewhere.err;
}

#ifdef __linux__
// The built program on a terminal 50 or 80 columns wide: the bar asks the terminal its width,
// and the listing's first line is the source's name alone.
TEST(CliProgress, TheProgramFitsItsBarToTheTerminalAndKeepsItOutOfTheReport)
{
    const fs::path dir = freshTestFolder();
    const std::string level = levelWithLateImages(dir / "late.ldb").string();
    for (const unsigned short columns : {std::uint16_t{50}, std::uint16_t{80}}) {
        SCOPED_TRACE(testing::Message() << columns << " columns");
        const TerminalRun run = runBuiltOnTerminal({"--list", level}, columns);
        EXPECT_EQ(run.code, 0);
        const std::vector<std::string> bars = barLinesOf(run.terminal);
        EXPECT_FALSE(bars.empty()) << run.terminal;
        for (const std::string& bar : bars)
            EXPECT_LE(bar.size(), columns - 3u) << bar;
        // The screen holds the listing and nothing else: its first row is the source's name.
        const std::vector<std::string> screen = screenOf(run.terminal, columns);
        ASSERT_FALSE(screen.empty()) << run.terminal;
        EXPECT_EQ(screen.front(), screenOf(level, columns).front());
        EXPECT_EQ(screen, screenOf(runWith({"--list", level}).out, columns)) << run.terminal;
    }
}

// A terminal made narrower while the program runs: its bar is drawn again to the new width at the
// next update, never wider.
TEST(CliProgress, TheProgramRedrawsItsBarToTheWidthOfAResizedTerminal)
{
    const fs::path dir = freshTestFolder();
    // A name long enough that the line is wider than the narrower terminal.
    const fs::path pipe = dir / "level_of_the_castle.fifo";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0) << std::strerror(errno);
    LevelBuilder level(9);
    for (int i = 0; i < 6; ++i)
        level.plainImage(kDefaultBlockSize);
    const std::string bytes = level.bytes();
    const std::size_t half = bytes.size() / 2;

    const TerminalRun run = runBuiltOnTerminal(
        {"-o", (dir / "out").string(), pipe.string()}, 80,
        [&](pid_t child, int master, std::string& shown) {
            // The program opens the pipe without waiting; until it has, there is no reader.
            int writer = -1;
            for (int tries = 0; tries < 60'000 && writer < 0; ++tries) {
                writer = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                if (writer < 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            ASSERT_GE(writer, 0) << std::strerror(errno);
            EXPECT_TRUE(feedWhileReadingTerminal(writer, std::string_view(bytes).substr(0, half),
                                                 master, shown));
            EXPECT_TRUE(readTerminalUntil(master, shown, " MB ")) << "a bar 80 columns wide";
            winsize size{};
            size.ws_row = 24;
            size.ws_col = 40;
            ::ioctl(master, TIOCSWINSZ, &size);
            ::kill(child, SIGWINCH);
            EXPECT_TRUE(feedWhileReadingTerminal(writer, std::string_view(bytes).substr(half),
                                                 master, shown));
            ::close(writer);
        });
    EXPECT_EQ(run.code, 0) << run.terminal;
    const std::vector<std::string> bars = barLinesOf(run.terminal);
    ASSERT_GE(bars.size(), 2u) << run.terminal;
    EXPECT_GT(bars.front().size(), 37u) << bars.front();
    EXPECT_LE(bars.back().size(), 37u) << bars.back();
}

// The built program asks whether standard error is a terminal, not standard output.
TEST(CliProgress, TheProgramDrawsOnlyWhenStandardErrorIsATerminal)
{
    const fs::path dir = freshTestFolder();
    for (const int onTerminal : {STDOUT_FILENO, STDERR_FILENO}) {
        SCOPED_TRACE(onTerminal == STDOUT_FILENO ? "output on a terminal" : "errors on a terminal");
        const TerminalRun run =
            runBuiltWithTerminal({"-o", (dir / "out").string(), demo()}, onTerminal, dir / "log");
        EXPECT_EQ(run.code, 0);
        EXPECT_EQ(run.terminal.find("MB/s") != std::string::npos, onTerminal == STDERR_FILENO)
            << run.terminal;
        EXPECT_EQ(run.file.find("MB/s"), std::string::npos) << run.file;
        EXPECT_NE((onTerminal == STDOUT_FILENO ? run.terminal : run.file).find("11 textures"),
                  std::string::npos);
    }
}
#endif

// Usage mistakes a new user makes are answered with what to do instead.
TEST(CliUsage, CommonMistakesAreAnsweredInWords)
{
    const fs::path dir = freshTestFolder();
    const std::string demoPath = demo();
    struct Case
    {
        std::vector<std::string> args;
        std::string says;
    };
    const Case cases[] = {
        {{"--put-back", "edits", "-o", "castle-new.ldb", demoPath},
         "glintmark-cli: --put-back writes its new level with --into, not --output: did you mean "
         "--into castle-new.ldb?\n"},
        {{"--put-back", "edits", "--into", "new.ldb", "--trim", demoPath},
         "glintmark-cli: --put-back writes only the new level, so it takes no --trim\n"},
        {{"-o", (dir / "out").string(), demoPath, demoPath},
         "glintmark-cli: " + demoPath + " was given twice; give each source once\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const CliRun run = runWith(c.args);
        EXPECT_EQ(run.code, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err.substr(0, run.err.find('\n') + 1), c.says);
    }
    EXPECT_FALSE(fs::exists(dir / "out"));
}

// A level's gallery page is named on its summary line, as the page to open.
TEST(CliGallery, TheSummaryNamesThePageToOpen)
{
    const fs::path dir = freshTestFolder();
    const fs::path out = dir / "out";
    const CliRun one = runWith({"--gallery", "-o", out.string(), demo()});
    EXPECT_EQ(one.code, 0) << one.err;
    EXPECT_EQ(one.out, "11 textures extracted from " + demo() + " into " + out.string() +
                           "; open " + (out / "index.html").string() + "\n");
    const CliRun without = runWith({"-o", (dir / "plain").string(), demo()});
    EXPECT_EQ(without.out.find("open"), std::string::npos) << without.out;
}

#ifndef _WIN32
// Standard input has one name, stdin, in the table, the summary and the bar alike.
TEST(CliRun, StandardInputIsCalledStdinThroughout)
{
    const fs::path dir = freshTestFolder();
    for (const bool list : {true, false}) {
        SCOPED_TRACE(list ? "--list" : "written");
        const int savedInput = ::dup(0);
        const int level = ::open(demo().c_str(), O_RDONLY);
        ASSERT_GE(level, 0);
        ::dup2(level, 0);
        ::close(level);
        const CliRun run =
            list ? runWith({"--list", "-"}) : runWith({"-o", (dir / "out").string(), "-"});
        ::dup2(savedInput, 0);
        ::close(savedInput);
        EXPECT_EQ(run.code, 0) << run.err;
        EXPECT_EQ(run.out.find("/dev/stdin"), std::string::npos) << run.out;
        if (list) {
            EXPECT_EQ(run.out.substr(0, 6), "stdin\n");
            EXPECT_NE(run.out.find("\n11 textures found in stdin\n"), std::string::npos);
        } else {
            EXPECT_EQ(run.out,
                      "11 textures extracted from stdin into " + (dir / "out").string() + "\n");
        }
    }
}
#endif

TEST(CliHelp, HelpNamesEveryOptionOnceWithoutTheParsersWords)
{
    const CliRun help = runWith({"--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_EQ(help.err, "");
    // Each option's line starts with its names, and each option has exactly one.
    const char* const options[] = {
        "-o, --output DIR", "--folder-per-source", "--list",       "--trim", "--check",
        "--gallery",        "--writers N",         "--dedupe",     "--json", "-v, --verbose",
        "-q, --quiet",      "--put-back DIR",      "--into NEW",   "--fit",  "--ignore-unmatched",
        "--everywhere",     "-h, --help",          "-V, --version"};
    for (const char* option : options) {
        const std::regex line("\n {2,6}" + std::regex_replace(option, std::regex("[-.]"), "\\$&") +
                              "  +[a-z]");
        const auto found = std::distance(
            std::sregex_iterator(help.out.begin(), help.out.end(), line), std::sregex_iterator());
        EXPECT_EQ(found, 1) << option << "\n" << help.out;
    }
    for (const char* words :
         {"Usage: glintmark-cli", "Examples:", "Exit codes:", "128+N", "glintmark-cli(1)"})
        EXPECT_NE(help.out.find(words), std::string::npos) << words;
    // The rules between options are said once, in words.
    EXPECT_NE(help.out.find("--list writes nothing, so it takes no --trim"), std::string::npos);
    for (const char* noise : {"Excludes:", "Needs:", "Positionals:", "TEXT", "[Option"})
        EXPECT_EQ(help.out.find(noise), std::string::npos) << noise;
}

TEST(CliHelp, HelpFitsTheWidthItIsGiven)
{
    for (const int columns : {40, 50, 80, 100}) {
        SCOPED_TRACE(columns);
        CliEnvironment environment;
        environment.helpColumns = columns;
        const CliRun help = runWith({"--help"}, environment);
        EXPECT_EQ(help.code, 0);
        std::istringstream lines(help.out);
        std::size_t widest = 0;
        for (std::string line; std::getline(lines, line);) {
            EXPECT_LE(line.size(), static_cast<std::size_t>(columns)) << line;
            widest = std::max(widest, line.size());
        }
        // The room is used: paragraphs are not wrapped at some narrower fixed width.
        EXPECT_GE(widest, static_cast<std::size_t>(columns) - 12);
        // Every word of a wrapped paragraph survives the wrapping.
        std::string flat = std::regex_replace(help.out, std::regex("\\s+"), " ");
        EXPECT_NE(flat.find("--put-back takes one SOURCE and writes only the new level named by "
                            "--into;"),
                  std::string::npos)
            << help.out;
    }
}

#ifdef __linux__
// The longest line the built program's --help shows, with standard output on a terminal
// `columns` wide, or (0) on a file.
std::size_t widestHelpLine(unsigned short columns)
{
    std::string text;
    if (columns > 0) {
        text = runBuiltOnTerminal({"--help"}, columns).terminal;
    } else {
        const fs::path file = fs::temp_directory_path() / "glintmark-help.txt";
        text = runBuiltWithTerminal({"--help"}, STDERR_FILENO, file).file;
        fs::remove(file);
    }
    std::size_t widest = 0;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        widest = std::max(widest, line.substr(0, line.find_last_not_of("\r") + 1).size());
    return widest;
}

TEST(CliHelp, TheProgramWritesItsHelpToTheTerminalsWidthUpToAHundredColumns)
{
    struct Case
    {
        unsigned short columns; // 0: standard output is a file
        std::size_t least;
        std::size_t most;
    };
    const Case cases[] = {{50, 40, 50}, {90, 80, 90}, {140, 90, 100}, {0, 70, 80}};
    for (const Case& c : cases) {
        const std::size_t widest = widestHelpLine(c.columns);
        EXPECT_GE(widest, c.least) << c.columns;
        EXPECT_LE(widest, c.most) << c.columns;
    }
}
#endif

TEST(CliHelp, VersionNamesTheProgramUnderBothSpellings)
{
    for (const char* spelling : {"-V", "--version"}) {
        const CliRun version = runWith({spelling});
        EXPECT_EQ(version.code, 0) << spelling;
        EXPECT_TRUE(
            std::regex_match(version.out, std::regex("glintmark-cli [0-9]+\\.[0-9]+\\.[0-9]+\n"
                                                     "Copyright \\(c\\) [0-9]{4} Glintmark "
                                                     "maintainers\n\nMIT licence: .*\n")))
            << spelling << ": " << version.out;
    }
}

} // namespace
} // namespace glintmark::clitest
