// Reading a pack's pack.json: a pack as another program may write it is read whole, and every
// way a pack can be wrong is refused, naming pack.json (or the file) and what is wrong.
#include "FeaturesTestSupport.h"

#include "features/putback/PackFile.h"
#include "support/Referees.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <functional>

namespace glintmark::featurestest {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

// The digests of the two textures of the good pack, by sha256sum of their bytes.
struct GoodPack
{
    std::string first;
    std::string second;
};

// A good pack in `pack`: two textures, with the description another program could write.
GoodPack makeGoodPack(const fs::path& pack)
{
    fs::create_directories(pack);
    writeBytes(pack / "one.bin", testJpeg("colour"));
    writeBytes(pack / "two.bin", testJpeg("grey"));
    GoodPack good{testsupport::sha256sumOf(pack / "one.bin"),
                  testsupport::sha256sumOf(pack / "two.bin")};
    fs::rename(pack / "one.bin", pack / (good.first + ".jpg"));
    fs::rename(pack / "two.bin", pack / (good.second + ".png"));
    const Json description = {{"format", "glintmark-pack"},
                              {"version", 1},
                              {"digest", "sha256"},
                              {"textures",
                               {{{"sha256", good.first},
                                 {"width", 64},
                                 {"height", 48},
                                 {"components", 3},
                                 {"file", good.first + ".jpg"}},
                                {{"sha256", good.second},
                                 {"width", 32},
                                 {"height", 32},
                                 {"components", 1},
                                 {"file", good.second + ".png"}}}}};
    writeBytes(pack / "pack.json", description.dump(2));
    return good;
}

TEST(PackRead, APackAnotherProgramWroteIsReadWhole)
{
    if (!testsupport::sha256sumHere())
        GTEST_SKIP() << "no sha256sum to referee the digests here";
    const fs::path pack = freshTestFolder() / "pack";
    const GoodPack good = makeGoodPack(pack);
    ASSERT_EQ(good.first.size(), 64u);
    EXPECT_TRUE(features::isPackFolder(pack));
    EXPECT_FALSE(features::isPackFolder(pack.parent_path()));
    const features::PackRead read = features::readPack(pack);
    ASSERT_FALSE(read.error) << read.error->message;
    ASSERT_EQ(read.entries.size(), 2u);
    EXPECT_EQ(features::digestHex(read.entries[0].texture), good.first);
    EXPECT_EQ(read.entries[0].width, 64u);
    EXPECT_EQ(read.entries[0].height, 48u);
    EXPECT_EQ(read.entries[0].components, 3);
    EXPECT_EQ(read.entries[0].file, good.first + ".jpg");
    EXPECT_EQ(features::digestHex(read.entries[1].texture), good.second);
    EXPECT_EQ(read.entries[1].width, 32u);
    EXPECT_EQ(read.entries[1].components, 1);
    EXPECT_EQ(read.entries[1].file, good.second + ".png");
}

TEST(PackRead, WhatTheWriterWritesItReadsBack)
{
    if (!testsupport::sha256sumHere())
        GTEST_SKIP() << "no sha256sum to referee the digests here";
    const fs::path pack = freshTestFolder() / "pack";
    const GoodPack good = makeGoodPack(pack);
    const features::PackRead first = features::readPack(pack);
    ASSERT_FALSE(first.error);
    writeBytes(pack / "pack.json", features::packJson(first.entries));
    const Json written = Json::parse(readBytes(pack / "pack.json"));
    EXPECT_EQ(written.at("format"), "glintmark-pack");
    EXPECT_EQ(written.at("textures").at(1).at("sha256"), good.second);
    const features::PackRead again = features::readPack(pack);
    ASSERT_FALSE(again.error);
    ASSERT_EQ(again.entries.size(), 2u);
    EXPECT_EQ(again.entries[1].texture, first.entries[1].texture);
    EXPECT_EQ(again.entries[1].height, 32u);
    EXPECT_EQ(again.entries[0].file, first.entries[0].file);
    // An empty pack is a pack too.
    writeBytes(pack / "pack.json", features::packJson({}));
    const features::PackRead empty = features::readPack(pack);
    EXPECT_FALSE(empty.error);
    EXPECT_TRUE(empty.entries.empty());
}

struct BadPack
{
    const char* what;
    std::function<void(Json&, const fs::path&, const GoodPack&)> spoil;
    std::string told;          // what the failure says is wrong
    bool namesTexture = false; // the failure names the texture's file, not pack.json
};

TEST(PackRead, EveryWayAPackIsWrongIsNamed)
{
    if (!testsupport::sha256sumHere())
        GTEST_SKIP() << "no sha256sum to referee the digests here";
    const auto texture = [](Json& d) -> Json& { return d["textures"][0]; };
    const std::vector<BadPack> cases = {
        {"no format", [](Json& d, auto&, auto&) { d.erase("format"); },
         "a \"format\" member is missing"},
        {"another format", [](Json& d, auto&, auto&) { d["format"] = "glintmark-new-levels"; },
         "its \"format\" is not \"glintmark-pack\""},
        {"a newer version", [](Json& d, auto&, auto&) { d["version"] = 2; },
         "it is version 2, and this program reads 1"},
        {"version 0", [](Json& d, auto&, auto&) { d["version"] = 0; }, "it is version 0"},
        {"a version in words", [](Json& d, auto&, auto&) { d["version"] = "1"; },
         "\"version\" is not a whole number"},
        {"another digest", [](Json& d, auto&, auto&) { d["digest"] = "md5"; },
         "its \"digest\" is not \"sha256\""},
        {"no textures", [](Json& d, auto&, auto&) { d.erase("textures"); },
         "a \"textures\" member is missing"},
        {"textures not a list", [](Json& d, auto&, auto&) { d["textures"] = Json::object(); },
         "\"textures\" is not a list"},
        {"a texture that is no object", [](Json& d, auto&, auto&) { d["textures"][0] = 5; },
         "a \"sha256\" member is missing"},
        {"an upper-case digest",
         [&](Json& d, auto&, const GoodPack& g) {
             std::string upper = g.first;
             for (char& c : upper)
                 c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
             texture(d)["sha256"] = upper;
         },
         "is no SHA-256 digest"},
        {"a short digest",
         [&](Json& d, auto&, const GoodPack& g) { texture(d)["sha256"] = g.first.substr(1); },
         "is no SHA-256 digest"},
        {"a digest too long",
         [&](Json& d, auto&, const GoodPack& g) { texture(d)["sha256"] = g.first + "0"; },
         "is no SHA-256 digest"},
        {"a digest given twice",
         [&](Json& d, auto&, const GoodPack& g) {
             d["textures"][1]["sha256"] = g.first;
             d["textures"][1]["file"] = g.first + ".jpg";
         },
         "is listed twice"},
        {"a negative width", [&](Json& d, auto&, auto&) { texture(d)["width"] = -1; },
         "\"width\" is not a whole number from 0 to 4294967295"},
        {"a height too large", [&](Json& d, auto&, auto&) { texture(d)["height"] = 4294967296ULL; },
         "\"height\" is not a whole number"},
        {"components too many", [&](Json& d, auto&, auto&) { texture(d)["components"] = 256; },
         "\"components\" is not a whole number from 0 to 255"},
        {"a file that is not text", [&](Json& d, auto&, auto&) { texture(d)["file"] = 7; },
         "\"file\" is not a string"},
        {"a file up and out",
         [&](Json& d, auto&, const GoodPack& g) { texture(d)["file"] = "../" + g.first + ".jpg"; },
         "is not a bare file name inside the pack"},
        {"a file in a folder",
         [&](Json& d, auto&, const GoodPack& g) { texture(d)["file"] = "sub/" + g.first + ".jpg"; },
         "is not a bare file name"},
        {"a file behind a backslash",
         [&](Json& d, auto&, const GoodPack& g) {
             texture(d)["file"] = "sub\\" + g.first + ".jpg";
         },
         "is not a bare file name"},
        {"a file with two dots",
         [&](Json& d, auto&, const GoodPack& g) { texture(d)["file"] = g.first + "..jpg"; },
         "is not a bare file name"},
        {"a file named as another digest",
         [&](Json& d, auto&, const GoodPack& g) { texture(d)["file"] = g.second + ".png"; },
         "is not named as its digest"},
        {"a file with an upper-case extension",
         [&](Json& d, const fs::path& p, const GoodPack& g) {
             fs::rename(p / (g.first + ".jpg"), p / (g.first + ".JPG"));
             texture(d)["file"] = g.first + ".JPG";
         },
         "is not named as its digest with a lower-case extension"},
        {"a file without extension",
         [&](Json& d, auto&, const GoodPack& g) { texture(d)["file"] = g.first + "."; },
         "is not named as its digest"},
        {"a file just the digest",
         [&](Json& d, auto&, const GoodPack& g) { texture(d)["file"] = g.first; },
         "is not named as its digest"},
        {"a file missing",
         [&](Json&, const fs::path& p, const GoodPack& g) { fs::remove(p / (g.second + ".png")); },
         ", which is not a regular file in the pack"},
        {"a file that is a folder",
         [&](Json&, const fs::path& p, const GoodPack& g) {
             fs::remove(p / (g.first + ".jpg"));
             fs::create_directory(p / (g.first + ".jpg"));
         },
         "which is not a regular file in the pack"},
#ifndef _WIN32
        {"a file that is a link",
         [&](Json&, const fs::path& p, const GoodPack& g) {
             fs::rename(p / (g.first + ".jpg"), p.parent_path() / "outside.jpg");
             fs::create_symlink("../outside.jpg", p / (g.first + ".jpg"));
         },
         "which is not a regular file in the pack"},
#endif
    };
    for (const BadPack& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path pack = freshTestFolder() / "pack";
        const GoodPack good = makeGoodPack(pack);
        Json description = Json::parse(readBytes(pack / "pack.json"));
        c.spoil(description, pack, good);
        writeBytes(pack / "pack.json", description.dump(2));
        const features::PackRead read = features::readPack(pack);
        ASSERT_TRUE(read.error);
        EXPECT_TRUE(read.entries.empty());
        EXPECT_EQ(read.error->file, pack / "pack.json");
        EXPECT_NE(read.error->message.find("pack.json"), std::string::npos) << read.error->message;
        EXPECT_NE(read.error->message.find(c.told), std::string::npos) << read.error->message;
    }
}

struct BadFile
{
    const char* what;
    std::function<void(const fs::path&)> spoil; // given pack.json's path
    std::string told;
};

TEST(PackRead, APackJsonThatCannotBeReadIsNamed)
{
    if (!testsupport::sha256sumHere())
        GTEST_SKIP() << "no sha256sum to referee the digests here";
    const std::vector<BadFile> cases = {
        {"not JSON", [](const fs::path& f) { writeBytes(f, "{\"format\": "); }, "is not JSON"},
        {"a list", [](const fs::path& f) { writeBytes(f, "[]"); }, "it is not a JSON object"},
        {"empty", [](const fs::path& f) { writeBytes(f, ""); }, "is not JSON"},
        {"zero bytes after it",
         [](const fs::path& f) { writeBytes(f, readBytes(f) + std::string(4, '\0')); },
         "is not JSON: it holds a zero byte"},
        {"a folder",
         [](const fs::path& f) {
             fs::remove(f);
             fs::create_directory(f);
         },
         "is not a regular file"},
        {"larger than 16 MiB",
         [](const fs::path& f) { fs::resize_file(f, (std::uintmax_t{16} << 20) + 1); },
         "is larger than 16 MiB"},
#ifndef _WIN32
        {"a link",
         [](const fs::path& f) {
             fs::rename(f, f.parent_path().parent_path() / "elsewhere.json");
             fs::create_symlink("../elsewhere.json", f);
         },
         "is not a regular file"},
#endif
    };
    for (const BadFile& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path pack = freshTestFolder() / "pack";
        makeGoodPack(pack);
        c.spoil(pack / "pack.json");
        const features::PackRead read = features::readPack(pack);
        ASSERT_TRUE(read.error);
        EXPECT_TRUE(read.entries.empty());
        EXPECT_EQ(read.error->file, pack / "pack.json");
        EXPECT_NE(read.error->message.find("pack.json"), std::string::npos);
        EXPECT_NE(read.error->message.find(c.told), std::string::npos) << read.error->message;
    }
    // Exactly 16 MiB is still read: the description padded with spaces.
    const fs::path pack = freshTestFolder() / "limit";
    makeGoodPack(pack);
    std::string padded = readBytes(pack / "pack.json");
    padded.resize(std::size_t{16} << 20, ' ');
    writeBytes(pack / "pack.json", padded);
    const features::PackRead read = features::readPack(pack);
    EXPECT_FALSE(read.error) << read.error->message;
    EXPECT_EQ(read.entries.size(), 2u);
    EXPECT_EQ(features::readPack(freshTestFolder() / "none").error->file,
              freshTestFolder() / "none");
}

} // namespace
} // namespace glintmark::featurestest
