#include "CliTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
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
    const std::vector<std::vector<std::string>> cases = {
        {},                              // no source
        {"-o", out},                     // still no source
        {"--bogus", demo()},             // unknown option
        {"-o", "", demo()},              // an empty folder would mean the file system root
        {"-o", out, ""},                 // empty source name
        {demo(), "-o"},                  // option without its value
        {"--list", "--gallery", demo()}, // a gallery of files that are never written
        {"--list", "--trim", demo()},
    };
    for (const auto& args : cases) {
        const CliRun run = runWith(args);
        SCOPED_TRACE(::testing::PrintToString(args));
        EXPECT_EQ(run.code, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find("glintmark-cli: "), std::string::npos) << run.err;
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
                "whole + " + std::to_string(size - images[i]["jpegSize"].get<std::uint64_t>()) +
                " bytes";
            EXPECT_EQ(lines[i + 2].substr(lines[1].find("status")), status)
                << "row " << i + 1 << " misaligned";
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
    for (const char* part : {"Usage: glintmark-cli", "--list", "--json", "-q", "-o", "--trim",
                             "--check", "--gallery", "Examples:", "Exit codes:", "  2  "})
        EXPECT_NE(help.out.find(part), std::string::npos) << part;

    const CliRun version = runWith({"--version"});
    EXPECT_EQ(version.code, 0);
    EXPECT_TRUE(
        std::regex_match(version.out, std::regex("glintmark-cli [0-9]+\\.[0-9]+\\.[0-9]+\n")))
        << version.out;
}

} // namespace
} // namespace glintmark::clitest
