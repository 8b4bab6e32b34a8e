#include "CliTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <regex>

namespace glintmark::clitest {
namespace {

namespace fs = std::filesystem;

// The sample with three images spoiled in different ways: a stray restart marker inside the
// data of image 3 (its structure holds, the decoder objects), image 5 cut inside its data, and
// a segment length in image 7 that runs into its tables.
fs::path spoiledDemo(const fs::path& dir)
{
    const auto images = demoManifest()["images"];
    std::string ldb = readBytes(demoLdb());
    auto at = [&](int number) { return images[number - 1]["offset"].get<std::size_t>(); };
    auto end = [&](int number) { return at(number) + images[number - 1]["jpegSize"].get<int>(); };

    const std::size_t scan3 = ldb.find("\xFF\xDA", at(3));
    std::size_t stray = (scan3 + end(3)) / 2;
    while (ldb[stray - 1] == '\xFF' || ldb[stray] == '\xFF' || ldb[stray + 1] == '\xFF')
        ++stray;
    ldb.replace(stray, 2, "\xFF\xD3");
    ldb[ldb.find("\xFF\xDB", at(7)) + 3] = '\x30';
    ldb.erase(end(5) - 30, at(6) - (end(5) - 30));

    const fs::path file = dir / "spoiled.ldb";
    writeBytes(file, ldb);
    return file;
}

TEST(CliFindings, TrimAndCheckReportEachImageAndKeepDamageAFinding)
{
    const fs::path dir = freshTestFolder();
    const fs::path source = spoiledDemo(dir);
    const CliRun run =
        runWith({"--json", "--trim", "--check", "-o", (dir / "out").string(), source.string()});
    ASSERT_EQ(run.code, 0) << run.err;
    const auto images = nlohmann::json::parse(run.out)["sources"][0]["images"];
    ASSERT_EQ(images.size(), 11u);

    struct Expected
    {
        int number;
        const char* status;
        const char* problem;
        bool decodes;
    };
    const std::vector<Expected> spoiled = {
        {3, "trailing", nullptr, false},
        {5, "cut-short", "cut-in-scan", false},
        {7, "damaged", "bad-length", false},
    };
    for (const auto& image : images) {
        const int number = image["number"];
        SCOPED_TRACE(number);
        Expected expected{number, "trailing", nullptr, true};
        for (const Expected& e : spoiled)
            expected = e.number == number ? e : expected;
        EXPECT_EQ(image["status"], expected.status);
        EXPECT_EQ(image["decodes"], expected.decodes);
        EXPECT_EQ(image["decode_error"].is_string(), !expected.decodes) << image["decode_error"];
        if (expected.problem) {
            EXPECT_EQ(image["problem"]["kind"], expected.problem);
        } else {
            EXPECT_TRUE(image["problem"].is_null()) << image["problem"];
        }
        const std::uint64_t kept = image["end"].is_null() ? image["size"] : image["end"];
        EXPECT_EQ(image["written"], kept);
        EXPECT_EQ(fs::file_size(dir / "out" / image["name"].get<std::string>()), kept);
    }

    const CliRun listed = runWith({"--list", "--check", source.string()});
    EXPECT_EQ(listed.code, 0);
    EXPECT_NE(listed.out.find("cut short: cut inside the image data at byte"), std::string::npos);
    EXPECT_NE(listed.out.find("damaged: bad segment length at byte"), std::string::npos);
    EXPECT_NE(
        listed.out.find("  no       damaged: bad segment length at byte 20; the decoder says: "),
        std::string::npos)
        << listed.out;
    EXPECT_NE(listed.out.find("11 textures found in " + source.string() + "; 8 whole, 3 damaged"),
              std::string::npos)
        << listed.out;
}

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
        const std::string file =
            "Vorlesk_00" + std::string(number < 10 ? "0" : "") + std::to_string(number) + ".jpg";
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
