// The levels a game's index lists, read from its start as far as the list goes.
#include "features/game/IndexLevels.h"

#include "FeaturesTestSupport.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace glintmark::features {
namespace {

namespace fs = std::filesystem;
using featurestest::freshTestFolder;
using featurestest::writeBytes;
using Levels = std::optional<std::vector<std::string>>;

TEST(IndexLevels, TheListIsReadAsFarAsItGoes)
{
    const struct
    {
        const char* what;
        std::string text;
        Levels levels;
    } rows[] = {
        {"an index", R"({"levels": ["a.ldb", "maps/b.ldb"], "textures": []})",
         std::vector<std::string>{"a.ldb", "maps/b.ldb"}},
        {"cut short after the list",
         "{\n  \"levels\": [\n    \"a.ldb\"\n  ],\n  \"textures\": [{\"sha",
         std::vector<std::string>{"a.ldb"}},
        {"other members first",
         R"({"format": "x", "in": {"levels": ["no"]}, "levels": ["b\u00e9.ldb"]})",
         std::vector<std::string>{"b\u00e9.ldb"}},
        {"no level", R"({"levels": [], "textures": []})", std::vector<std::string>{}},
        {"cut short in the list", R"({"levels": ["a.ldb", "b.)", std::nullopt},
        {"no list", R"({"textures": []})", std::nullopt},
        {"not JSON", "Vorlesk", std::nullopt},
        {"empty", "", std::nullopt},
    };
    const fs::path dir = freshTestFolder();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        writeBytes(dir / "textures.json", row.text);
        EXPECT_EQ(readIndexLevels(dir / "textures.json"), row.levels);
    }
    EXPECT_EQ(readIndexLevels(dir / "none.json"), std::nullopt);
    fs::create_directories(dir / "folder.json");
    EXPECT_EQ(readIndexLevels(dir / "folder.json"), std::nullopt);
}

} // namespace
} // namespace glintmark::features
