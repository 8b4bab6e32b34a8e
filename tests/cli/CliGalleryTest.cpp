#include "CliTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <regex>
#include <string>

namespace glintmark::clitest {
namespace {

namespace fs = std::filesystem;

// The page shows the extracted files themselves and needs nothing from outside; a real
// browser then loads it from the disk and every thumbnail must arrive.
// The page as headless chromium leaves it once loaded, with `fragment` added to its address.
std::string pageInBrowser(const fs::path& dir, const fs::path& page, const std::string& fragment)
{
    const fs::path dom = dir / "dom.html";
    const std::string command =
        "chromium --headless --no-sandbox --disable-gpu --no-first-run "
        "--disable-background-networking --disable-component-update --disable-sync "
        "--user-data-dir='" +
        (dir / "profile").string() +
        "' --window-size=1280,3000 --virtual-time-budget=10000 --dump-dom 'file://" +
        page.string() + fragment + "' >'" + dom.string() + "' 2>/dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return readBytes(dom);
}

TEST(CliGallery, EveryTextureLoadsInARealBrowser)
{
    const fs::path dir = freshTestFolder();
    const fs::path out = dir / "out";
    // A name that would be markup if it were not escaped (Windows names cannot hold < or >).
#ifdef _WIN32
    const std::string name = "&level.ldb", shown = "&amp;level.ldb</h1>";
#else
    const std::string name = "<b>&level.ldb", shown = "&lt;b&gt;&amp;level.ldb</h1>";
#endif
    const fs::path source = dir / name;
    fs::copy_file(demoLdb(), source);
    const CliRun run = runWith({"--gallery", "-q", "-o", out.string(), source.string()});
    ASSERT_EQ(run.code, 0) << run.err;
    const std::string page = readBytes(out / "index.html");
    EXPECT_NE(page.find(shown), std::string::npos);
    for (int number = 1; number <= 11; ++number) {
        const std::string file = imageName(static_cast<std::uint64_t>(number));
        // The thumbnail opens its image at full size and names it and its size.
        const std::string tag = "<a href=\"" + file + "\"><img src=\"" + file +
                                "\" loading=\"lazy\" alt=\"" + file + ", ";
        EXPECT_NE(page.find(tag), std::string::npos) << tag;
    }
    EXPECT_FALSE(std::regex_search(page, std::regex("(https?:)?//[a-z]")))
        << "the page must work offline";

#ifdef _WIN32
    GTEST_SKIP() << "the browser check runs where chromium is installed";
#endif
    const std::string loaded = pageInBrowser(dir, out / "index.html", "");
    EXPECT_NE(loaded.find("data-loaded=\"11\" data-broken=\"0\""), std::string::npos)
        << loaded.substr(0, 300);
    EXPECT_NE(loaded.find("11 shown"), std::string::npos);

    // Sorted by size, and only the textures at least 100 pixels wide shown.
    const std::string sorted = pageInBrowser(dir, out / "index.html", "#sort=s&minw=100");
    EXPECT_NE(sorted.find(">5 shown<"), std::string::npos);
    auto images = demoManifest()["images"];
    std::sort(images.begin(), images.end(),
              [](const auto& a, const auto& b) { return a["size"] < b["size"]; });
    std::string expected, found;
    for (const auto& image : images)
        expected += std::to_string(image["number"].get<int>()) + " ";
    const std::regex number("<figure[^>]* data-n=\"([0-9]+)\"");
    for (std::sregex_iterator it(sorted.begin(), sorted.end(), number), end; it != end; ++it)
        found += (*it)[1].str() + " ";
    EXPECT_EQ(found, expected);
}

} // namespace
} // namespace glintmark::clitest
