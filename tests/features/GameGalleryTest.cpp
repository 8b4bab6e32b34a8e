#include "features/game/GameGallery.h"

#include "FeaturesTestSupport.h"

#include "engine/LockedFolder.h"
#include "features/gallery/PageText.h"

#include <gtest/gtest.h>

#include <string>

namespace glintmark::features {
namespace {

namespace fs = std::filesystem;
using featurestest::freshTestFolder;
using featurestest::readBytes;
using featurestest::writeBytes;

Digest digestNumbered(unsigned char n)
{
    Digest digest{};
    digest[0] = n;
    return digest;
}

void addUse(TextureIndex& index, std::uint32_t level, std::uint64_t number, unsigned char texture)
{
    ImageInfo image;
    image.number = number;
    image.offset = number * 1000;
    image.jpeg.width = 64;
    image.jpeg.height = 32;
    index.add(level, image, digestNumbered(texture), 2048);
}

std::size_t countOf(const std::string& text, const std::string& what)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

std::optional<ExtractError> writePage(const fs::path& dir, const TextureIndex& index,
                                      const std::vector<fs::path>& folders,
                                      const std::function<bool()>& keepGoing)
{
    std::optional<ExtractError> error;
    LockedFolder folder =
        LockedFolder::openBeside(dir / "index.html", FileIdentity{}, "the page", "run", error);
    EXPECT_FALSE(error);
    return writeGameGallery(index, folders, "My <game>", folder, keepGoing);
}

// Each distinct texture once, shown by the first file that holds it, with every use linked to
// its own file, the level folders' names encoded as addresses.
TEST(GameGallery, ShowsEachDistinctTextureOnceWithEveryUse)
{
    const fs::path dir = freshTestFolder();
    TextureIndex index;
    const std::uint32_t castle = index.addLevel("maps/castle.ldb");
    const std::uint32_t odd = index.addLevel("my level #1.ldb");
    // Markup in a level's name stays text, in the page and in the data its search reads.
    const std::uint32_t marked = index.addLevel("q\" onclick=\"x&amp;<u>.ldb");
    addUse(index, castle, 1, 1);
    addUse(index, castle, 2, 2);
    addUse(index, odd, 1, 1);
    addUse(index, odd, 7, 1);
    addUse(index, marked, 3, 2);
    ASSERT_FALSE(writePage(dir, index, {"maps/castle", "my level #1", "q\" onclick=\"x&amp;<u>"},
                           [] { return true; }));

    const std::string page = readBytes(dir / "index.html");
    EXPECT_EQ(countOf(page, "<figure"), 2U);
    EXPECT_EQ(countOf(page, "<li>"), 5U);
    EXPECT_EQ(page.find("onclick=\""), std::string::npos);
    EXPECT_EQ(page.find("<u>"), std::string::npos);
    EXPECT_NE(
        page.find("data-l=\"maps/castle.ldb\nq&quot; onclick=&quot;x&amp;amp;&lt;u&gt;.ldb\n\""),
        std::string::npos);
    EXPECT_NE(page.find(">q&quot; onclick=&quot;x&amp;amp;&lt;u&gt;.ldb #3</a>"),
              std::string::npos);
    EXPECT_NE(page.find("<img src=\"maps/castle/Vorlesk_0001.jpg\" loading=\"lazy\" "
                        "alt=\"010000000000\">"),
              std::string::npos);
    EXPECT_NE(page.find("href=\"my%20level%20%231/Vorlesk_0007.jpg\">my level #1.ldb #7</a>"),
              std::string::npos);
    EXPECT_NE(page.find("used 3 times in 2 levels"), std::string::npos);
    EXPECT_NE(page.find("used 2 times in 2 levels"), std::string::npos);
    EXPECT_NE(page.find("<h1>My &lt;game&gt;</h1>"), std::string::npos);
    EXPECT_NE(page.find("5 textures in 3 levels, 2 distinct"), std::string::npos);
    EXPECT_NE(page.find("64&times;32"), std::string::npos);
    EXPECT_EQ(page.rfind("</html>\n"), page.size() - 8);
}

TEST(GameGallery, AStopLeavesTheOldPage)
{
    const fs::path dir = freshTestFolder();
    writeBytes(dir / "index.html", "the old page");
    TextureIndex index;
    const std::uint32_t level = index.addLevel("a.ldb");
    for (unsigned char n = 0; n < 200; ++n)
        addUse(index, level, n + 1U, n);
    int asked = 0;
    EXPECT_FALSE(writePage(dir, index, {"a"}, [&asked] { return ++asked < 1; }));
    EXPECT_EQ(readBytes(dir / "index.html"), "the old page");
    EXPECT_EQ(featurestest::entriesIn(dir), std::vector<std::string>{"index.html"});
}

TEST(PageText, AddressesAreEncodedAndHtmlEscaped)
{
    const struct
    {
        fs::path path;
        const char* href;
    } rows[] = {
        {"plain/Vorlesk_0001.jpg", "plain/Vorlesk_0001.jpg"},
        {"a b/c#d?e%f", "a%20b/c%23d%3Fe%25f"},
        {"Mixed-Case_1.2~x", "Mixed-Case_1.2~x"},
        {fs::path(u8"\u00e9t\u00e9"), "%C3%A9t%C3%A9"},
        {"quote\"and<tag>&amp", "quote%22and%3Ctag%3E%26amp"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(hrefOf(row.path), row.href) << row.href;
    EXPECT_EQ(htmlEscaped("a<b>&\"c'"), "a&lt;b&gt;&amp;&quot;c'");
    EXPECT_EQ(sizeText(1023), "1023 B");
    EXPECT_EQ(sizeText(1536), "1.5 KB");
}

} // namespace
} // namespace glintmark::features
