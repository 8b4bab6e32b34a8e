// The command line's wiring of --pack: the option is taken only with --put-back, the run says
// where the pack went (or why it did not), and the exit code follows.
#include "CliTestSupport.h"

#include "engine/io/PathText.h"
#include "features/putback/JpegEncode.h"
#include "support/Referees.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

namespace glintmark::clitest {
namespace {

namespace fs = std::filesystem;

std::string encodedAgain(const std::string& jpeg, int quality)
{
    features::DecodedImage pixels(reinterpret_cast<const unsigned char*>(jpeg.data()), jpeg.size());
    features::EncodeSettings settings;
    settings.quality = quality;
    return pixels.encode(settings).value_or(std::string());
}

// Image `number` of the sample through its end marker.
std::string sampleImage(int number)
{
    const nlohmann::json image = demoManifest()["images"][number - 1];
    return readBytes(demoLdb()).substr(image["offset"].get<std::size_t>(),
                                       image["jpegSize"].get<std::size_t>());
}

struct Case
{
    const char* what;
    std::vector<std::string> args; // PACK, EDITS, NEW and LEVEL stand for the case's paths
    int code;
    std::vector<std::string> out; // on standard output
    std::vector<std::string> err; // on standard error
    bool packed;                  // the pack is there after
    bool written;                 // the new level is there after
    bool foreign = false;         // a folder of the user's stands at the pack's place
    bool tooLarge = false;        // the edit does not fit its place
};

TEST(CliPack, PackIsWiredToThePutBack)
{
    const std::vector<Case> cases = {
        {"written with the level",
         {"--put-back", "EDITS", "--into", "NEW", "--pack", "PACK", "LEVEL"},
         0,
         {"1 texture saved as the pack PACK\n"},
         {},
         true,
         true},
        {"a dry run",
         {"--put-back", "EDITS", "--list", "--pack", "PACK", "LEVEL"},
         0,
         {"(dry run: nothing written)\n1 texture saved as the pack PACK\n"},
         {},
         true,
         false},
        {"quiet",
         {"--put-back", "EDITS", "--list", "-q", "--pack", "PACK", "LEVEL"},
         0,
         {},
         {},
         true,
         false},
        {"without --put-back",
         {"--pack", "PACK", "LEVEL"},
         2,
         {},
         {"--pack requires --put-back"},
         false,
         false},
        {"empty",
         {"--put-back", "EDITS", "--list", "--pack", "", "LEVEL"},
         2,
         {},
         {},
         false,
         false},
        {"a foreign folder",
         {"--put-back", "EDITS", "--into", "NEW", "--pack", "PACK", "LEVEL"},
         1,
         {},
         {"which is no pack (it holds no pack.json) and is not empty; choose a new folder, or "
          "move that one away first; nothing was read or written\n"},
         false,
         false,
         true},
        {"a refused run",
         {"--put-back", "EDITS", "--into", "NEW", "--pack", "PACK", "LEVEL"},
         1,
         {},
         {"NEW was not written"},
         false,
         false,
         false,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path dir = freshTestFolder();
        LevelBuilder level(3);
        level.filler(200).image(sampleImage(1)).filler(100).image(sampleImage(2)).filler(50);
        writeBytes(dir / "level.ldb", level.bytes());
        fs::create_directories(dir / "edits");
        const std::string edit =
            c.tooLarge ? sampleImage(2) + sampleImage(2) : encodedAgain(sampleImage(1), 50);
        ASSERT_FALSE(edit.empty());
        writeBytes(dir / "edits" / imageName(1), edit);
        if (c.foreign) {
            fs::create_directories(dir / "pack");
            writeBytes(dir / "pack" / "mine.txt", "mine");
        }
        const std::map<std::string, std::string> paths = {{"PACK", (dir / "pack").string()},
                                                          {"EDITS", (dir / "edits").string()},
                                                          {"NEW", (dir / "new.ldb").string()},
                                                          {"LEVEL", (dir / "level.ldb").string()}};
        const auto filled = [&paths](std::string text) {
            for (const auto& [name, path] : paths)
                for (std::size_t at = text.find(name); at != std::string::npos;
                     at = text.find(name, at + path.size()))
                    text.replace(at, name.size(), path);
            return text;
        };
        std::vector<std::string> args;
        for (const std::string& arg : c.args)
            args.push_back(filled(arg));
        const CliRun run = runWith(args);
        EXPECT_EQ(run.code, c.code) << run.err;
        for (const std::string& said : c.out)
            EXPECT_NE(run.out.find(filled(said)), std::string::npos) << run.out;
        for (const std::string& said : c.err)
            EXPECT_NE(run.err.find(filled(said)), std::string::npos) << run.err;
        if (c.out.empty()) {
            EXPECT_EQ(run.out.find("saved as the pack"), std::string::npos) << run.out;
        }
        EXPECT_EQ(fs::exists(dir / "pack" / "pack.json"), c.packed);
        EXPECT_EQ(fs::exists(dir / "new.ldb"), c.written);
        if (c.foreign) {
            EXPECT_EQ(readBytes(dir / "pack" / "mine.txt"), "mine");
        }
    }
}

TEST(CliPack, TheJsonReportTellsThePack)
{
    const fs::path dir = freshTestFolder();
    LevelBuilder level(4);
    level.filler(200).image(sampleImage(1)).filler(100);
    writeBytes(dir / "level.ldb", level.bytes());
    fs::create_directories(dir / "edits");
    writeBytes(dir / "edits" / imageName(1), encodedAgain(sampleImage(1), 50));
    const CliRun run = runWith({"--put-back", (dir / "edits").string(), "--list", "--json",
                                "--pack", (dir / "pack").string(), (dir / "level.ldb").string()});
    ASSERT_EQ(run.code, 0) << run.err;
    const nlohmann::json report = nlohmann::json::parse(run.out);
    EXPECT_EQ(report.at("status"), "dry-run");
    EXPECT_EQ(report.at("replaced").size(), 1u);
    EXPECT_EQ(report.at("pack"), nlohmann::json({{"folder", (dir / "pack").string()},
                                                 {"written", true},
                                                 {"textures", 1},
                                                 {"error", nullptr}}));
    EXPECT_TRUE(fs::exists(dir / "pack" / "pack.json"));
}

struct ApplyCase
{
    const char* what;
    std::vector<std::string> args; // PACK, NEW and LEVEL stand for the case's paths
    int code;
    std::string out;        // on standard output; HEX stands for the texture's digest
    std::string err;        // on standard error
    bool written;           // the new level is there after
    bool elsewhere = false; // the pack's texture is not in the level
};

TEST(CliPack, APutBackFolderHoldingPackJsonIsApplied)
{
    if (!testsupport::sha256sumHere())
        GTEST_SKIP() << "no sha256sum to referee the digests here";
    const std::vector<ApplyCase> cases = {
        {"applied",
         {"--put-back", "PACK", "--into", "NEW", "LEVEL"},
         0,
         "PACK/HEX.jpg -> level.ldb image 2\n1 edited texture went into 1 level under NEW",
         "",
         true},
        {"with --everywhere",
         {"--put-back", "PACK", "--everywhere", "--into", "NEW", "LEVEL"},
         0,
         "PACK/HEX.jpg -> level.ldb image 2\n",
         "",
         true},
        {"a dry run",
         {"--put-back", "PACK", "--list", "LEVEL"},
         0,
         "would go into 1 level",
         "",
         false},
        {"found nowhere",
         {"--put-back", "PACK", "--into", "NEW", "LEVEL"},
         1,
         "",
         "PACK/HEX.jpg is the edit of a texture (",
         false,
         true},
        {"found nowhere, passed over",
         {"--put-back", "PACK", "--ignore-unmatched", "--into", "NEW", "LEVEL"},
         0,
         "nothing written: no texture of the pack changes LEVEL\n",
         "that is in no level of LEVEL (passed over: --ignore-unmatched)",
         false,
         true},
    };
    for (const ApplyCase& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path dir = freshTestFolder();
        LevelBuilder level(5);
        level.filler(120).image(sampleImage(1)).filler(90).image(sampleImage(2)).filler(40);
        writeBytes(dir / "level.ldb", level.bytes());
        const std::string original = c.elsewhere ? sampleImage(3) : sampleImage(2);
        writeBytes(dir / "original.bin", original);
        const std::string hex = testsupport::sha256sumOf(dir / "original.bin");
        ASSERT_EQ(hex.size(), 64u);
        fs::create_directories(dir / "pack");
        writeBytes(dir / "pack" / (hex + ".jpg"), encodedAgain(original, 40));
        writeBytes(dir / "pack" / "pack.json", nlohmann::json{{"format", "glintmark-pack"},
                                                              {"version", 1},
                                                              {"digest", "sha256"},
                                                              {"textures",
                                                               {{{"sha256", hex},
                                                                 {"width", 8},
                                                                 {"height", 8},
                                                                 {"components", 3},
                                                                 {"file", hex + ".jpg"}}}}}
                                                   .dump());
        const std::map<std::string, std::string> paths = {{"PACK", (dir / "pack").string()},
                                                          {"NEW", (dir / "new.ldb").string()},
                                                          {"LEVEL", (dir / "level.ldb").string()},
                                                          {"HEX", hex}};
        const auto filled = [&paths](std::string text) {
            for (const auto& [name, path] : paths)
                for (std::size_t at = text.find(name); at != std::string::npos;
                     at = text.find(name, at + path.size()))
                    text.replace(at, name.size(), path);
            return text;
        };
        std::vector<std::string> args;
        for (const std::string& arg : c.args)
            args.push_back(filled(arg));
        const CliRun run = runWith(args);
        EXPECT_EQ(run.code, c.code) << run.err;
        EXPECT_NE(run.out.find(filled(c.out)), std::string::npos) << run.out;
        EXPECT_NE(run.err.find(filled(c.err)), std::string::npos) << run.err;
        EXPECT_EQ(fs::exists(dir / "new.ldb"), c.written);
    }
}

TEST(CliPack, TheHelpNamesThePackOption)
{
    const CliRun run = runWith({"--help"});
    EXPECT_EQ(run.code, 0);
    EXPECT_NE(run.out.find("--pack PACKDIR"), std::string::npos);
}

} // namespace
} // namespace glintmark::clitest
