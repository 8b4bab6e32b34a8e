#include "CliTestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <regex>

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
        {{demo(), "-o"}, "-o"},           // option without its value
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
    const std::string a = (dir / "x" / "level.ldb").string();
    const std::vector<std::pair<std::string, std::string>> cases = {
        {a, (dir / "y" / "level.ldb").string()}, // same name, different folders
        {a, (dir / "y" / "LEVEL.dat").string()}, // differs only in case and extension
        {a, a},                                  // the same file twice
        {a, (dir / "y" / "..").string()},        // no usable name at all
    };
    for (const auto& [first, second] : cases) {
        fs::copy_file(demoLdb(), a, fs::copy_options::overwrite_existing);
        const std::string out = (dir / "out").string();
        const CliRun run = runWith({"-o", out, first, second});
        SCOPED_TRACE(first + " / " + second);
        EXPECT_EQ(run.code, 2);
        EXPECT_NE(run.err.find(second), std::string::npos) << run.err;
        EXPECT_FALSE(fs::exists(dir / "out"));

        // Listing writes nothing, so a shared folder name does not matter there.
        EXPECT_NE(runWith({"--list", "-q", first, second}).code, 2);
    }
}

TEST(CliRun, OneSourceGoesStraightIntoTheOutputFolderWhichIsCreatedWithItsParents)
{
    const fs::path out = freshTestFolder() / "a" / "b" / "c";
    const CliRun run = runWith({"-o", out.string(), demo()});
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, "11 textures extracted from " + demo() + " into " + out.string() + "\n");
    EXPECT_EQ(fileNames(out).size(), 11u);
    EXPECT_EQ(fileNames(out).front(), "Vorlesk_0001.jpg");
    EXPECT_EQ(fileNames(out).back(), "Vorlesk_0011.jpg");
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
    EXPECT_EQ(fileNames(dir / "out"), std::vector<std::string>{});
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
        EXPECT_EQ(readBytes(out / ("Vorlesk_000" + std::to_string(i + 1) + ".jpg")),
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
        EXPECT_NE(err.str().find("glintmark-cli: Cannot write to standard output: " +
                                 std::string(std::strerror(ENOSPC))),
                  std::string::npos)
            << err.str();
        for (const std::string& name : fileNames(dir / "out"))
            EXPECT_NE(name.front(), '.') << "an unfinished image was left: " << name;
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

TEST(CliRun, TheDefaultOutputFolderIsTheCurrentOne)
{
    const fs::path dir = freshTestFolder();
    const fs::path before = fs::current_path();
    fs::current_path(dir);
    const CliRun run = runWith({"-q", demo()});
    fs::current_path(before);
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(fileNames(dir).size(), 11u);
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
        EXPECT_EQ(lines[1], "image  offset   size");
        for (std::size_t i = 0; i < images.size(); ++i) {
            std::istringstream row(lines[i + 2]);
            std::uint64_t number = 0, offset = 0, size = 0;
            row >> number >> offset >> size;
            EXPECT_EQ(number, i + 1);
            EXPECT_EQ(offset, images[i]["offset"].get<std::uint64_t>());
            EXPECT_EQ(size, images[i]["size"].get<std::uint64_t>());
            EXPECT_EQ(lines[i + 2].size(), lines[1].size()) << "row " << i + 1 << " misaligned";
        }
        if (!quiet) {
            EXPECT_EQ(lines.back(), "11 textures found in " + demo());
        }
    }
}

TEST(CliProgress, DrawnOnlyOnATerminalAndNeverWhenQuiet)
{
    const fs::path out = freshTestFolder();
    const CliEnvironment terminal{true};
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

TEST(CliHelp, HelpTeachesAndVersionNamesTheProgram)
{
    const CliRun help = runWith({"--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_EQ(help.err, "");
    for (const char* part : {"Usage: glintmark-cli", "--list", "--json", "-q", "-o",
                             "Examples:", "Exit codes:", "  2  "})
        EXPECT_NE(help.out.find(part), std::string::npos) << part;

    const CliRun version = runWith({"--version"});
    EXPECT_EQ(version.code, 0);
    EXPECT_TRUE(
        std::regex_match(version.out, std::regex("glintmark-cli [0-9]+\\.[0-9]+\\.[0-9]+\n")))
        << version.out;
}

} // namespace
} // namespace glintmark::clitest
