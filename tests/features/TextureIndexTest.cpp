#include "features/game/TextureIndex.h"

#include "engine/io/PathText.h"
#include "features/game/IndexJson.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>

namespace glintmark::features {
namespace {

Digest digestNumbered(unsigned char n)
{
    Digest digest{};
    digest[0] = n;
    digest[31] = static_cast<unsigned char>(0xF0 | n);
    return digest;
}

ImageInfo imageAt(std::uint64_t number, std::uint64_t offset, std::uint32_t width,
                  std::uint32_t height, std::uint64_t written = 0)
{
    ImageInfo image;
    image.number = number;
    image.offset = offset;
    image.written = written;
    image.jpeg.width = width;
    image.jpeg.height = height;
    return image;
}

std::string jsonOf(const TextureIndex& index)
{
    std::string text;
    EXPECT_TRUE(writeIndexJson(
        index,
        [&text](std::string_view piece) {
            text += piece;
            return true;
        },
        [] { return true; }));
    return text;
}

// Each distinct texture once, in the order first found, with every use in order; the JSON is
// what the index holds, levels by their paths.
TEST(TextureIndex, GroupsTheImagesByTheirTextures)
{
    TextureIndex index;
    const std::uint32_t castle = index.addLevel("maps/castle.ldb");
    const std::uint32_t harbour = index.addLevel("harbour.ldb");
    index.add(castle, imageAt(1, 100, 64, 32, 900), digestNumbered(1), 900);
    index.add(castle, imageAt(2, 1000, 16, 16, 300), digestNumbered(2), 300);
    index.add(castle, imageAt(3, 1300, 64, 32, 905), digestNumbered(1), 900);
    index.add(harbour, imageAt(1, 50, 64, 32, 901), digestNumbered(1), 900);
    index.add(harbour, imageAt(2, 950, 8, 8, 120), digestNumbered(3), 120);

    EXPECT_EQ(index.uses(), 5U);
    EXPECT_EQ(indexSummary(index), "5 textures in 2 levels, 3 distinct");
    const nlohmann::json parsed = nlohmann::json::parse(jsonOf(index));
    const nlohmann::json expected = nlohmann::json::parse(R"({
        "version": 3, "complete": true, "unread": [],
        "levels": ["maps/castle.ldb", "harbour.ldb"],
        "sources": [{"level": "maps/castle.ldb", "size": null, "modified": null},
                    {"level": "harbour.ldb", "size": null, "modified": null}],
        "textures": [
          {"sha256": "01000000000000000000000000000000000000000000000000000000000000f1",
           "width": 64, "height": 32, "bytes": 900,
           "in": [{"level": "maps/castle.ldb", "number": 1, "offset": 100, "written": 900},
                  {"level": "maps/castle.ldb", "number": 3, "offset": 1300, "written": 905},
                  {"level": "harbour.ldb", "number": 1, "offset": 50, "written": 901}]},
          {"sha256": "02000000000000000000000000000000000000000000000000000000000000f2",
           "width": 16, "height": 16, "bytes": 300,
           "in": [{"level": "maps/castle.ldb", "number": 2, "offset": 1000, "written": 300}]},
          {"sha256": "03000000000000000000000000000000000000000000000000000000000000f3",
           "width": 8, "height": 8, "bytes": 120,
           "in": [{"level": "harbour.ldb", "number": 2, "offset": 950, "written": 120}]}
        ]})");
    EXPECT_EQ(parsed, expected);
}

TEST(TextureIndex, SummaryAndTextWhenEmptyOrSingle)
{
    TextureIndex empty;
    EXPECT_EQ(indexSummary(empty), "0 textures in 0 levels, 0 distinct");
    EXPECT_EQ(nlohmann::json::parse(jsonOf(empty)),
              nlohmann::json::parse(
                  R"({"version": 3, "complete": true, "unread": [], "levels": [], "sources": [],
                "textures": []})"));

    TextureIndex single;
    single.add(single.addLevel("a.ldb"), imageAt(1, 0, 1, 1), digestNumbered(9), 10);
    EXPECT_EQ(indexSummary(single), "1 texture in 1 level, 1 distinct");
}

// Folders of the game that could not be read make the index incomplete, each named in order.
TEST(TextureIndex, FoldersThatCouldNotBeReadAreRecorded)
{
    TextureIndex index;
    index.addUnread("c", "Cannot read the folder of the game \"g/c\": Permission denied");
    index.addUnread(std::filesystem::path("maps") / "locked",
                    "Cannot read ... locked: Permission denied");
    index.add(index.addLevel("a.ldb"), imageAt(1, 0, 1, 1), digestNumbered(9), 10);
    const nlohmann::json parsed = nlohmann::json::parse(jsonOf(index));
    EXPECT_EQ(parsed["version"], 3);
    EXPECT_EQ(parsed["complete"], false);
    EXPECT_EQ(parsed["unread"], nlohmann::json::parse(R"([
        {"folder": "c", "message": "Cannot read the folder of the game \"g/c\": Permission denied"},
        {"folder": "maps/locked", "message": "Cannot read ... locked: Permission denied"}])"));
    EXPECT_EQ(parsed["levels"], nlohmann::json::parse(R"(["a.ldb"])"));
    EXPECT_EQ(parsed["textures"].size(), 1U);
}

// Each level's file is recorded as its run opened it: a regular file with its size and last
// write in nanoseconds since 1970, anything else (a pipe) with neither, nor a time the system
// did not give.
TEST(TextureIndex, EachSourceIsRecordedAsItsRunOpenedIt)
{
#ifdef _WIN32
    // Windows counts tenths of a microsecond since 1601.
    const std::uint64_t changed = 116'444'736'000'000'000U + 17'652'900'001'234'567U;
#else
    const std::uint64_t changed = 1'765'290'000'123'456'700U;
#endif
    const struct
    {
        const char* what;
        FileType type;
        std::uint64_t size;
        std::uint64_t changed;
        const char* json;
    } rows[] = {
        {"a regular file", FileType::Regular, 4096, changed,
         R"({"level": "a.ldb", "size": 4096, "modified": 1765290000123456700})"},
        {"an empty file", FileType::Regular, 0, changed,
         R"({"level": "a.ldb", "size": 0, "modified": 1765290000123456700})"},
        {"no time given", FileType::Regular, 12, 0,
         R"({"level": "a.ldb", "size": 12, "modified": null})"},
        {"a pipe", FileType::Other, 0, changed,
         R"({"level": "a.ldb", "size": null, "modified": null})"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        TextureIndex index;
        const std::uint32_t first = index.addLevel("a.ldb");
        index.addLevel("b.ldb"); // never opened
        FileIdentity identity;
        identity.type = row.type;
        identity.size = row.size;
        identity.changed = row.changed;
        index.setSource(first, identity);
        const nlohmann::json parsed = nlohmann::json::parse(jsonOf(index));
        EXPECT_EQ(parsed["sources"][0], nlohmann::json::parse(row.json));
        EXPECT_EQ(parsed["sources"][1],
                  nlohmann::json::parse(R"({"level": "b.ldb", "size": null, "modified": null})"));
    }
}

TEST(TextureIndex, AStopEndsTheTextEarly)
{
    TextureIndex index;
    const std::uint32_t level = index.addLevel("a.ldb");
    for (unsigned char n = 0; n < 10; ++n)
        index.add(level, imageAt(n + 1U, n * 100U, 1, 1), digestNumbered(n), 10);
    int asked = 0;
    std::string text;
    EXPECT_FALSE(writeIndexJson(
        index,
        [&text](std::string_view piece) {
            text += piece;
            return true;
        },
        [&asked] { return ++asked < 3; }));
    EXPECT_FALSE(nlohmann::json::accept(text));
}

TEST(TextureIndex, NamesAreJsonStringsWhateverBytesTheyHold)
{
    const struct
    {
        std::string text;
        const char* json;
        bool posixOnly; // bytes a Windows name cannot hold, or a backslash it reads as a folder
    } rows[] = {
        {"plain/level.ldb", R"("plain/level.ldb")", false},
        {"say \"hi\"\\", R"("say \"hi\"\\\\")", true},
        {"not \\xFF a byte", R"("not \\\\xFF a byte")", true},
        {std::string("tab\tnul") + '\0' + "\x1f", R"("tab\u0009nul\u0000\u001f")", false},
        {"\xC3\xA9t\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xAE",
         "\"\xC3\xA9t\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xAE\"", false},
        {"bad \xFF byte", R"("bad \\xFF byte")", true},
        {"cut \xC3", R"("cut \\xC3")", true},
        {"overlong \xC0\xAF", R"("overlong \\xC0\\xAF")", true},
        {"surrogate \xED\xA0\x80", R"("surrogate \\xED\\xA0\\x80")", true},
        {"beyond \xF4\x90\x80\x80", R"("beyond \\xF4\\x90\\x80\\x80")", true},
        {"lone \x80 continuation", R"("lone \\x80 continuation")", true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.json);
#ifdef _WIN32
        if (row.posixOnly)
            continue;
#endif
        TextureIndex index;
        index.add(index.addLevel(pathFromUtf8(row.text)), imageAt(1, 0, 1, 1), digestNumbered(1),
                  10);
        const std::string text = jsonOf(index);
        ASSERT_TRUE(nlohmann::json::accept(text)) << text;
        const nlohmann::json parsed = nlohmann::json::parse(text);
        EXPECT_EQ(parsed["levels"][0], nlohmann::json::parse(row.json));
        EXPECT_EQ(parsed["textures"][0]["in"][0]["level"], nlohmann::json::parse(row.json));
    }
}

// A large index goes out in pieces; together they are the whole text once, every texture in it.
TEST(TextureIndex, ALargeIndexIsOneDocumentInPieces)
{
    TextureIndex index;
    const std::uint32_t level = index.addLevel("big.ldb");
    constexpr unsigned kTextures = 3000; // about 400 KiB of text
    for (unsigned n = 0; n < kTextures; ++n) {
        Digest digest{};
        digest[0] = static_cast<unsigned char>(n & 0xFF);
        digest[1] = static_cast<unsigned char>(n >> 8);
        index.add(level, imageAt(n + 1, n * 1000ULL, 8, 8), digest, 100 + n);
    }
    std::size_t pieces = 0;
    std::string text;
    EXPECT_TRUE(writeIndexJson(
        index,
        [&](std::string_view piece) {
            ++pieces;
            text += piece;
            return true;
        },
        [] { return true; }));
    EXPECT_GT(pieces, 4U);
    ASSERT_TRUE(nlohmann::json::accept(text));
    const nlohmann::json parsed = nlohmann::json::parse(text);
    ASSERT_EQ(parsed["textures"].size(), kTextures);
    for (unsigned n = 0; n < kTextures; n += 499) {
        EXPECT_EQ(parsed["textures"][n]["bytes"], 100 + n);
        EXPECT_EQ(parsed["textures"][n]["in"][0]["offset"], n * 1000ULL);
    }
}

} // namespace
} // namespace glintmark::features
