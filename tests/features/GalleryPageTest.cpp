// The gallery page: a figure per image with its verdict in words, written through the run's
// locked folder, and put in place only once complete.
#include "FeaturesTestSupport.h"

#include "engine/LockedFolder.h"
#include "engine/io/PathText.h"
#include "features/gallery/GalleryPage.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>

namespace glintmark::featurestest {
namespace {

namespace fs = std::filesystem;
using features::CheckedImage;
using features::LevelOutcome;

CheckedImage image(std::uint64_t number, std::uint64_t offset, std::uint64_t written,
                   std::uint32_t width = 48, std::uint32_t height = 32)
{
    CheckedImage made;
    made.number = number;
    made.offset = offset;
    made.size = written;
    made.written = written;
    made.jpeg.hasFrame = true;
    made.jpeg.width = width;
    made.jpeg.height = height;
    made.jpeg.end = written;
    return made;
}

// A level's outcome with an image of each kind and verdict, some no larger than a thumbnail
// (160 pixels square) and some larger in one direction.
LevelOutcome outcomeOfEachKind(const fs::path& source)
{
    LevelOutcome outcome;
    outcome.source = source;
    CheckedImage decodes = image(1, 700, 512, 160, 160);
    decodes.decodes = true;
    CheckedImage trailing = image(2, 1212, 1024, 161, 32);
    trailing.size = 1144;
    trailing.decodes = false;
    trailing.decodeError = "Corrupt JPEG data: bad Huffman code";
    CheckedImage cut = image(3, 2356, 1023, 48, 161);
    cut.jpeg.end.reset();
    cut.jpeg.problem = JpegProblem::CutInScan;
    cut.jpeg.problemAt = 1023;
    CheckedImage damaged = image(4, 3379, 17638);
    damaged.jpeg.end.reset();
    damaged.jpeg.problem = JpegProblem::BadLength;
    damaged.jpeg.problemAt = 20;
    damaged.decodes = false;
    damaged.decodeError = "Bogus marker length <0> & more";
    CheckedImage noFrame = image(12345, 21017, 10);
    noFrame.jpeg = JpegStructure{};
    noFrame.jpeg.end = 10;
    noFrame.decodes.reset();
    noFrame.decodeError = "Not decoded: over a limit";
    outcome.images = {decodes, trailing, cut, damaged, noFrame};
    return outcome;
}

// The run's folder as a run holds it at its end, opened beside the page.
class GalleryFolder : public ::testing::Test
{
protected:
    void SetUp() override
    {
        dir = freshTestFolder();
        std::error_code ec;
        const RawFile level = RawFile::openForReading(demoLdb(), ec);
        ASSERT_FALSE(ec);
        source = level.identity(ec);
    }

    LockedFolder openFolder()
    {
        std::optional<ExtractError> refused;
        LockedFolder folder = LockedFolder::openBeside(dir / "index.html", source,
                                                       "the gallery page", "run", refused);
        EXPECT_FALSE(refused.has_value()) << refused->message;
        return folder;
    }

    fs::path dir;
    FileIdentity source;
};

// The figure of image `number` in `page`; empty when there is none.
std::string figureOf(const std::string& page, std::uint64_t number)
{
    const std::size_t at = page.find(" data-n=\"" + std::to_string(number) + "\"");
    if (at == std::string::npos)
        return {};
    const std::size_t from = page.rfind("<figure", at);
    const std::size_t to = page.find("</figure>", at);
    return page.substr(from, to + 9 - from);
}

TEST_F(GalleryFolder, EachFigureCarriesItsImagesStatusAndVerdict)
{
    const LevelOutcome outcome = outcomeOfEachKind(dir / "<b>&level.ldb");
    LockedFolder folder = openFolder();
    int asked = 0;
    EXPECT_FALSE(features::writeGallery(outcome, folder, [&] { return ++asked > 0; }));
    EXPECT_FALSE(folder.stopped());
    EXPECT_GE(asked, 1);
    const std::string page = readBytes(dir / "index.html");

    struct Expected
    {
        std::uint64_t number;
        std::string opening; // the figure's tag
        std::string caption;
    };
    const Expected expected[] = {
        {1,
         "<figure class=\"whole small\" data-n=\"1\" data-w=\"160\" data-h=\"160\" "
         "data-s=\"512\" data-o=\"700\" data-st=\"whole\" data-dec=\"decodes\" "
         "data-f=\"Vorlesk_0001.jpg\">",
         "<figcaption><b>0001</b> 160&times;160<br>512 B at 700<br><i>whole; decodes</i>"
         "</figcaption>"},
        {2,
         "<figure class=\"trailing undecodable\" data-n=\"2\" data-w=\"161\" data-h=\"32\" "
         "data-s=\"1024\" data-o=\"1212\" data-st=\"trailing\" data-dec=\"does-not-decode\" "
         "data-f=\"Vorlesk_0002.jpg\">",
         "<figcaption><b>0002</b> 161&times;32<br>1.0 KB at 1212<br><i>trailing: 120 bytes; does "
         "not decode: Corrupt JPEG data: bad Huffman code</i></figcaption>"},
        {3,
         "<figure class=\"cut-short\" data-n=\"3\" data-w=\"48\" data-h=\"161\" "
         "data-s=\"1023\" data-o=\"2356\" data-st=\"cut-short\" data-dec=\"not-checked\" "
         "data-f=\"Vorlesk_0003.jpg\">",
         "<figcaption><b>0003</b> 48&times;161<br>1023 B at 2356<br><i>cut short: cut inside "
         "the image data at byte 1023</i></figcaption>"},
        {4,
         "<figure class=\"damaged undecodable small\" data-n=\"4\" data-w=\"48\" data-h=\"32\" "
         "data-s=\"17638\" data-o=\"3379\" data-st=\"damaged\" data-dec=\"does-not-decode\" "
         "data-f=\"Vorlesk_0004.jpg\">",
         "<figcaption><b>0004</b> 48&times;32<br>17.2 KB at 3379<br><i>damaged: bad segment "
         "length at byte 20; does not decode: Bogus marker length &lt;0&gt; &amp; more</i>"
         "</figcaption>"},
        {12345,
         "<figure class=\"whole\" data-n=\"12345\" data-w=\"0\" data-h=\"0\" data-s=\"10\" "
         "data-o=\"21017\" data-st=\"whole\" data-dec=\"not-checked\" "
         "data-f=\"Vorlesk_12345.jpg\">",
         "<figcaption><b>12345</b> no frame<br>10 B at 21017<br><i>whole; not checked: Not "
         "decoded: over a limit</i></figcaption>"},
    };
    for (const Expected& e : expected) {
        SCOPED_TRACE(e.number);
        const std::string figure = figureOf(page, e.number);
        EXPECT_EQ(figure.rfind(e.opening, 0), 0u) << figure;
        EXPECT_NE(figure.find(e.caption), std::string::npos) << figure;
        // The thumbnail opens the image's own file at full size.
        const std::string file = imageName(e.number);
        EXPECT_NE(figure.find("<a href=\"" + file + "\"><img src=\"" + file +
                              "\" loading=\"lazy\" alt=\"" + file + ", "),
                  std::string::npos)
            << figure;
    }
    // The source's name, which would be markup if it were not escaped.
    const std::string shown = displayPath(dir / "&lt;b&gt;&amp;level.ldb");
    EXPECT_NE(page.find("<title>" + shown + " &ndash; textures</title>"), std::string::npos);
    EXPECT_NE(page.find("<h1>" + shown + "</h1>"), std::string::npos);
    EXPECT_NE(page.find("<p>5 textures: 2 whole, 1 trailing, 1 cut short, 1 damaged; 1 decodes, "
                        "2 do not decode, 1 not checked</p>"),
              std::string::npos);
    // Each filter's choices in the same words, with how many images each holds.
    EXPECT_NE(page.find("<select id=\"status\"><option value=\"\">all</option>"
                        "<option value=\"whole\">whole (2)</option>"
                        "<option value=\"trailing\">trailing (1)</option>"
                        "<option value=\"cut-short\">cut short (1)</option>"
                        "<option value=\"damaged\">damaged (1)</option></select>"),
              std::string::npos);
    EXPECT_NE(page.find("<select id=\"decoding\"><option value=\"\">all</option>"
                        "<option value=\"decodes\">decodes (1)</option>"
                        "<option value=\"does-not-decode\">does not decode (2)</option>"
                        "<option value=\"not-checked\">not checked (2)</option></select>"),
              std::string::npos);
    EXPECT_EQ(page.rfind("<!DOCTYPE html>\n", 0), 0u);
    EXPECT_EQ(page.substr(page.size() - 24), "</main>\n</body>\n</html>\n");
    EXPECT_EQ(entriesIn(dir).size(), 1u) << "nothing hidden is left";
}

// Enough images that the page is written in several pieces, asking whether to go on after each.
LevelOutcome manyImages()
{
    LevelOutcome outcome;
    outcome.source = "level.ldb";
    for (std::uint64_t number = 1; number <= 1000; ++number)
        outcome.images.push_back(image(number, number * 1000, 900));
    return outcome;
}

TEST_F(GalleryFolder, TheOldPageStaysUnlessTheNewOneIsComplete)
{
    struct Case
    {
        const char* what;
        int stopAt; // keepGoing() answers no from this call on; 0: never
        bool replaced;
    };
    const Case cases[] = {
        {"stopped after the first piece", 1, false},
        {"stopped at the last question", 0, false},
        {"never stopped", -1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeBytes(dir / "index.html", "the old page");
        const LevelOutcome outcome = manyImages();
        int asked = 0;
        int calls = 0;
        // How many times the writer asks, found with a writer that never stops.
        if (c.stopAt == 0) {
            LockedFolder counting = openFolder();
            features::writeGallery(outcome, counting, [&] { return ++calls > 0; });
            writeBytes(dir / "index.html", "the old page");
            ASSERT_GT(calls, 2) << "the page is written in several pieces";
        }
        const int stopAt = c.stopAt == 0 ? calls : c.stopAt;
        LockedFolder folder = openFolder();
        const std::optional<ExtractError> error =
            features::writeGallery(outcome, folder, [&] { return ++asked < stopAt || stopAt < 0; });
        EXPECT_FALSE(error.has_value());
        EXPECT_EQ(folder.stopped(), !c.replaced);
        const std::string page = readBytes(dir / "index.html");
        if (c.replaced) {
            EXPECT_NE(figureOf(page, 1000), "");
        } else {
            EXPECT_EQ(page, "the old page");
            EXPECT_EQ(asked, stopAt) << "not asked again once it said no";
        }
        EXPECT_EQ(entriesIn(dir), std::vector<std::string>{"index.html"});
    }
}

TEST_F(GalleryFolder, AListingRunHasNoFolderToWriteTo)
{
    ExtractJob job;
    LockedFolder folder(job, nullptr);
    const std::optional<ExtractError> error =
        features::writeGallery(outcomeOfEachKind("level.ldb"), folder, [] { return true; });
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->kind, ErrorKind::ImageCreate);
    EXPECT_NE(error->message.find("Cannot create the gallery page"), std::string::npos)
        << error->message;
}

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

// The numbers of the figures shown, in the order shown.
std::string shownOrder(const std::string& dom)
{
    std::string order;
    const std::regex figure("<figure([^>]*) data-n=\"([0-9]+)\"([^>]*)>");
    for (std::sregex_iterator it(dom.begin(), dom.end(), figure), end; it != end; ++it) {
        if ((*it)[1].str().find("hidden") == std::string::npos &&
            (*it)[3].str().find("hidden") == std::string::npos)
            order += (*it)[2].str() + " ";
    }
    return order;
}

// A run without --check: no decoding filter and no decoding counts, as nothing was decoded.
TEST_F(GalleryFolder, WithoutVerdictsThereIsNoDecodingFilter)
{
    LevelOutcome outcome;
    outcome.source = dir / "level.ldb";
    outcome.images = {image(1, 100, 900), image(2, 1000, 900)};
    LockedFolder folder = openFolder();
    ASSERT_FALSE(features::writeGallery(outcome, folder, [] { return true; }));
    const std::string page = readBytes(dir / "index.html");
    EXPECT_NE(page.find("<p>2 textures: 2 whole, 0 trailing, 0 cut short, 0 damaged</p>"),
              std::string::npos);
    EXPECT_EQ(page.find("<select id=\"decoding\">"), std::string::npos);
    EXPECT_NE(page.find("<input type=\"hidden\" id=\"decoding\" value=\"\">"), std::string::npos);
    EXPECT_NE(page.find("data-dec=\"not-checked\""), std::string::npos);
}

// The page's script in a real browser: every thumbnail loads, and the view the address asks for
// (sorted by status either way, or only one status) is the one shown.
TEST_F(GalleryFolder, TheViewInTheAddressIsTheViewShown)
{
#ifdef _WIN32
    GTEST_SKIP() << "the browser check runs where chromium is installed";
#endif
    LevelOutcome outcome;
    outcome.source = dir / "level.ldb";
    const std::pair<const char*, JpegStatus> files[] = {
        {"colour", JpegStatus::Whole},         {"grey", JpegStatus::Trailing},
        {"progressive", JpegStatus::Damaged},  {"noisy", JpegStatus::Whole},
        {"sampling444", JpegStatus::CutShort},
    };
    std::uint64_t number = 0;
    for (const auto& [name, status] : files) {
        const std::string bytes = testJpeg(name);
        writeBytes(dir / imageName(++number), bytes);
        CheckedImage shown = image(number, number * 10000, bytes.size());
        if (status == JpegStatus::Trailing)
            shown.size += 100;
        if (status == JpegStatus::CutShort || status == JpegStatus::Damaged) {
            shown.jpeg.end.reset();
            shown.jpeg.problem =
                status == JpegStatus::CutShort ? JpegProblem::CutInScan : JpegProblem::BadMarker;
        }
        // Verdicts: 2 and 5 do not decode, 4 has none.
        if (number != 4)
            shown.decodes = number != 2 && number != 5;
        outcome.images.push_back(shown);
    }
    LockedFolder folder = openFolder();
    ASSERT_FALSE(features::writeGallery(outcome, folder, [] { return true; }));

    // Each view is a browser's start of a few seconds: two that ask for much at once.
    const std::pair<std::string, std::string> views[] = {
        {"#sort=st&desc=1", "3 5 2 1 4 "},
        {"#minw=1&sort=s&status=whole",
         testJpeg("colour").size() < testJpeg("noisy").size() ? "1 4 " : "4 1 "},
        {"#decoding=does-not-decode", "2 5 "},
        // The least width and height are kept: every texture is exactly 48x32.
        {"#minw=48&minh=32", "1 2 3 4 5 "},
        {"#decoding=not-checked&sort=st", "4 "},
        // A search by a part of a name, in any case, or by a number: that image alone, with or
        // without leading zeros.
        {"#find=VORLESK_0003.jpg", "3 "},
        {"#find=lesk_000&sort=n&desc=1", "5 4 3 2 1 "},
        {"#find=4", "4 "},
        {"#find=00004", "4 "},
        {"#find=0", ""},
    };
    for (const auto& [fragment, order] : views) {
        SCOPED_TRACE(fragment);
        fs::remove_all(dir / "profile");
        const std::string dom = pageInBrowser(dir, dir / "index.html", fragment);
        EXPECT_EQ(shownOrder(dom), order);
        EXPECT_NE(dom.find("data-loaded=\"5\" data-broken=\"0\""), std::string::npos)
            << dom.substr(0, 300);
    }
}

} // namespace
} // namespace glintmark::featurestest
