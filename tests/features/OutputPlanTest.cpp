#include "features/game/OutputPlan.h"

#include "FeaturesTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace glintmark::features {
namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
constexpr const char* kSeparator = "\\";
#else
constexpr const char* kSeparator = "/";
#endif

// `name` in the output folder "out", as a message shows it.
std::string inOut(const std::string& name)
{
    return std::string("out") + kSeparator + name;
}

std::vector<std::string> texts(const std::vector<fs::path>& paths)
{
    std::vector<std::string> out;
    for (const fs::path& path : paths) {
        const std::u8string text = path.u8string();
        out.emplace_back(text.begin(), text.end());
    }
    return out;
}

fs::path utf8Path(const std::string& text)
{
    return fs::path(std::u8string(text.begin(), text.end()));
}

TEST(OutputPlan, EachSourceGetsItsFolder)
{
    struct Case
    {
        std::vector<fs::path> sources;
        std::vector<std::string> folders;
    };
    const Case cases[] = {
        // One source writes straight into the output folder, whatever its name.
        {{"levels/a.ldb"}, {"out"}},
        {{"levels/"}, {"out"}},
        {{"levels/a.ldb", "other/b.ldb"}, {inOut("a"), inOut("b")}},
        {{"a.ldb", "b", "c.tar.ldb"}, {inOut("a"), inOut("b"), inOut("c.tar")}},
        // Names that differ only beyond case folding are different folders.
        {{"a.ldb", "a_.ldb", "ab.ldb"}, {inOut("a"), inOut("a_"), inOut("ab")}},
    };
    for (const Case& c : cases) {
        const OutputPlan plan = planOutputFolders(c.sources, "out");
        EXPECT_EQ(texts(plan.folders), c.folders);
        EXPECT_EQ(plan.problem, "");
    }
}

TEST(OutputPlan, SourcesThatWouldShareAFolderAreRefused)
{
    struct Case
    {
        std::vector<fs::path> sources;
        std::string problem;
    };
    const std::string apart = "; extract them in separate runs";
    const Case cases[] = {
        {{"levels/a.ldb", "other/a.ldb"},
         "levels/a.ldb and other/a.ldb would both extract into " + inOut("a") + apart},
        {{"a.ldb", "a.bak"}, "a.ldb and a.bak would both extract into " + inOut("a") + apart},
        {{"castle.ldb", "CASTLE.LDB"},
         "castle.ldb and CASTLE.LDB would both extract into " + inOut("CASTLE") + apart},
        // Windows drops trailing dots and spaces: one folder there.
        {{"a..ldb", "a.ldb"}, "a..ldb and a.ldb would both extract into " + inOut("a") + apart},
        {{"a .ldb", "a.ldb"}, "a .ldb and a.ldb would both extract into " + inOut("a") + apart},
        // Letters beyond ASCII fold too.
        {{utf8Path("\xC3\x84rger.ldb"), utf8Path("\xC3\xA4rger.ldb")},
         "\xC3\x84rger.ldb and \xC3\xA4rger.ldb would both extract into " + inOut("\xC3\xA4rger") +
             apart},
        // The first clash is told, with the source it clashes with.
        {{"a.ldb", "b.ldb", "x/a.ldb", "y/b.ldb"},
         "a.ldb and x/a.ldb would both extract into " + inOut("a") + apart},
        // One source named twice is said to be given twice, however it is spelled.
        {{"a.ldb", "b.ldb", "a.ldb"}, "a.ldb was given twice; give each source once"},
        {{"levels/a.ldb", "levels/./a.ldb"},
         "levels/./a.ldb was given twice; give each source once"},
        {{"levels/a.ldb", "levels/x/../a.ldb"},
         "levels/x/../a.ldb was given twice; give each source once"},
        // A name the folder cannot be named after.
        {{"a.ldb", "....ldb"}, "....ldb: cannot name an output folder after it"},
        {{"levels/", "a.ldb"}, "levels/: cannot name an output folder after it"},
        {{"a.ldb", "levels/..", "a.ldb"}, "levels/..: cannot name an output folder after it"},
    };
    for (const Case& c : cases) {
        const OutputPlan plan = planOutputFolders(c.sources, "out");
        EXPECT_EQ(plan.problem, c.problem);
        EXPECT_EQ(plan.folders.size(), c.sources.size()) << "every source still has its folder";
    }
}

// A source that an earlier source's run would write over or sweep is refused before any run.
TEST(OutputPlan, ASourceInAnotherSourcesFolderUnderARunsNameIsRefused)
{
    const fs::path dir = featurestest::freshTestFolder();
    fs::create_directories(dir / "out" / "level");
    fs::create_directories(dir / "elsewhere");
    struct Case
    {
        const char* what;
        fs::path second; // beside level.ldb
        bool gallery;
        bool refused;
    };
    const Case cases[] = {
        {"an image name", dir / "out" / "level" / "Vorlesk_0002.jpg", false, true},
        {"a hidden part name", dir / "out" / "level" / ".Vorlesk_0009.jpg.part", false, true},
        {"the gallery page", dir / "out" / "level" / "index.html", true, true},
        {"the gallery's part name", dir / "out" / "level" / ".index.html.part", true, true},
        {"the page without --gallery", dir / "out" / "level" / "index.html", false, false},
        {"another name there", dir / "out" / "level" / "notes.ldb", true, false},
        {"a near name, never written", dir / "out" / "level" / "Vorlesk_2.jpg", false, false},
        {"an image name elsewhere", dir / "elsewhere" / "Vorlesk_0002.jpg", true, false},
        {"the same folder by another way", dir / "out" / "." / "level" / "Vorlesk_0001.jpg", false,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<fs::path> sources = {dir / "level.ldb", c.second};
        const OutputPlan plan = planOutputFolders(sources, dir / "out");
        const std::string clash = sourceInAnotherFolder(sources, plan, c.gallery);
        EXPECT_EQ(!clash.empty(), c.refused) << clash;
        if (c.refused) {
            EXPECT_EQ(clash, c.second.string() + " is in the output folder of " +
                                 (dir / "level.ldb").string() +
                                 ", under a name its run writes or removes; move it, or extract "
                                 "them in separate runs");
        }
    }
    // An earlier source in a later one's folder is lost all the same, once read: refused too.
    const std::vector<fs::path> earlier = {dir / "out" / "level" / "Vorlesk_0001.jpg",
                                           dir / "level.ldb"};
    EXPECT_NE(sourceInAnotherFolder(earlier, planOutputFolders(earlier, dir / "out"), false), "");
    // A folder that does not exist yet holds no source.
    const std::vector<fs::path> later = {dir / "level.ldb",
                                         dir / "out" / "new" / "Vorlesk_0001.jpg"};
    EXPECT_EQ(sourceInAnotherFolder(later, planOutputFolders(later, dir / "out"), true), "");
}

TEST(OutputPlan, FoldersAreListedPastTheProblem)
{
    const OutputPlan plan = planOutputFolders({"a.ldb", "x/a.ldb", "b.ldb"}, "out");
    EXPECT_EQ(texts(plan.folders), (std::vector<std::string>{inOut("a"), inOut("a"), inOut("b")}));
    EXPECT_NE(plan.problem, "");
}

#ifdef _WIN32
TEST(OutputPlan, DeviceNamesAreRefusedOnWindows)
{
    struct Case
    {
        fs::path outputDir;
        std::vector<fs::path> sources;
        std::string problem;
    };
    const std::string device = " is a device name on Windows, not a file or folder; rename it";
    const Case cases[] = {
        {"out/NUL", {"a.ldb"}, "out/NUL: \"NUL\"" + device},
        {"out/NUL", {"aux.ldb", "b.ldb"}, "out/NUL: \"NUL\"" + device},
        {"out", {"levels/aux.ldb"}, "levels/aux.ldb: \"aux.ldb\"" + device},
        {"out", {"a.ldb", "x/Com1.ldb", "prn.ldb"}, "x/Com1.ldb: \"Com1.ldb\"" + device},
    };
    for (const Case& c : cases) {
        const OutputPlan plan = planOutputFolders(c.sources, c.outputDir);
        EXPECT_EQ(plan.problem, c.problem);
        EXPECT_EQ(plan.folders.size(), c.sources.size());
    }
}
#endif

} // namespace
} // namespace glintmark::features

namespace glintmark::features {
namespace {

// A game's levels go to their paths below the output folder, even a single one; two paths that
// are one folder on Windows clash, however deep, and every part of a path must be usable.
TEST(OutputPlan, AGamesLevelsGoToTheirPathsAndMustNotClash)
{
    struct Case
    {
        std::vector<fs::path> sources;
        std::vector<fs::path> subfolders; // empty: named after the file
        std::vector<std::string> folders;
        std::string problem;
    };
    const Case cases[] = {
        {{"g/castle.ldb"}, {"castle"}, {inOut("castle")}, ""},
        {{"g/maps/a.ldb", "g/b.ldb", "x.ldb"},
         {"maps/a", "b", ""},
         {inOut("maps/a"), inOut("b"), inOut("x")},
         ""},
        {{"g/maps/a.ldb", "g/Maps/A.ldb"},
         {"maps/a", "Maps/A"},
         {inOut("maps/a"), inOut("Maps/A")},
         "g/maps/a.ldb and g/Maps/A.ldb would both extract into " + inOut("Maps/A") +
             "; extract them in separate runs"},
        {{"g/a.ldb", "levels/a.ldb"},
         {"a", ""},
         {inOut("a"), inOut("a")},
         "g/a.ldb and levels/a.ldb would both extract into " + inOut("a") +
             "; extract them in separate runs"},
        // A folder and a level of the same path are different names.
        {{"g/maps.ldb", "g/maps/a.ldb"}, {"maps", "maps/a"}, {inOut("maps"), inOut("maps/a")}, ""},
        // A folder whose name Windows reduces to nothing.
        {{"g/. /a.ldb"},
         {". /a"},
         {inOut(". /a")},
         "g/. /a.ldb: cannot name an output folder after it"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sources.front().string());
        const OutputPlan plan = planOutputFolders(c.sources, "out", false, c.subfolders);
        std::vector<std::string> folders;
        for (const fs::path& folder : plan.folders)
            folders.push_back(folder.generic_string());
        std::vector<std::string> expected;
        for (const std::string& folder : c.folders)
            expected.push_back(fs::path(folder).generic_string());
        EXPECT_EQ(folders, expected);
        EXPECT_EQ(plan.problem, c.problem);
    }
}

// A level's folder, or a folder on its way there, at the name of a file the run writes into the
// output folder itself (or at that file's hidden name) is refused, as Windows compares names.
TEST(OutputPlan, ALevelsFolderAtAFileTheRunWritesIsRefused)
{
    struct Case
    {
        std::vector<fs::path> sources;
        std::vector<fs::path> subfolders;
        std::vector<fs::path> ownFiles;
        std::string problem; // empty: none
    };
    const std::string written = ", where the run writes its own ";
    const std::string advice = "; rename it, or extract it in a separate run";
    const Case cases[] = {
        {{"g/textures.json.ldb"},
         {"textures.json"},
         {"textures.json"},
         "g/textures.json.ldb would extract into " + inOut("textures.json") + written +
             "textures.json" + advice},
        {{"g/a.ldb", "g/index.html.ldb"},
         {"a", "index.html"},
         {"textures.json", "index.html"},
         "g/index.html.ldb would extract into " + inOut("index.html") + written + "index.html" +
             advice},
        // without the page, its name is free
        {{"g/index.html.ldb"}, {"index.html"}, {"textures.json"}, ""},
        // letter case and the trailing dots Windows drops
        {{"g/Textures.JSON.ldb"},
         {"Textures.JSON"},
         {"textures.json"},
         "g/Textures.JSON.ldb would extract into " + inOut("Textures.JSON") + written +
             "textures.json" + advice},
        {{"g/textures.json..ldb"}, {"textures.json."}, {"textures.json"}, "g/textures.json..ldb"},
        // the hidden name the file is written under first
        {{"g/.textures.json.part.ldb"},
         {".textures.json.part"},
         {"textures.json"},
         "g/.textures.json.part.ldb would extract into " + inOut(".textures.json.part") + written +
             "textures.json" + advice},
        // a folder of the game on the way to the level's folder
        {{"g/textures.json/a.ldb"},
         {"textures.json/a"},
         {"textures.json"},
         "g/textures.json/a.ldb would extract into " + inOut("textures.json") + "/..." + written +
             "textures.json" + advice},
        // deeper down, the same name is a folder like any other
        {{"g/maps/textures.json.ldb", "g/maps/index.html.ldb"},
         {"maps/textures.json", "maps/index.html"},
         {"textures.json", "index.html"},
         ""},
        // near names
        {{"g/textures.ldb", "g/textures.json.bak.ldb", "g/index.htm.ldb"},
         {"textures", "textures.json.bak", "index.htm"},
         {"textures.json", "index.html"},
         ""},
        // a file beside the game is named after its file
        {{"g/a.ldb", "textures.json.ldb"},
         {"a", ""},
         {"textures.json"},
         "textures.json.ldb would extract into " + inOut("textures.json") + written +
             "textures.json" + advice},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sources.back().string());
        const OutputPlan plan = planOutputFolders(c.sources, "out", true, c.subfolders);
        ASSERT_EQ(plan.problem, "");
        const std::string problem = folderAtOwnFile(c.sources, plan, "out", c.ownFiles);
        if (c.problem.empty() || c.problem.ends_with(advice))
            EXPECT_EQ(problem, c.problem);
        else
            EXPECT_EQ(problem.rfind(c.problem + " would extract into ", 0), 0u) << problem;
    }
}

} // namespace
} // namespace glintmark::features
