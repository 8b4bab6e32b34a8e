#include "cli/terminal/ProgressBar.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <vector>

namespace glintmark::cli {
namespace {

using namespace std::chrono_literals;

Progress at(int percent, std::uint64_t bytesRead, std::uint64_t images = 0,
            std::uint64_t size = 100'000'000)
{
    Progress progress;
    progress.percent = percent;
    progress.bytesRead = bytesRead;
    progress.sourceSize = size;
    progress.imagesCompleted = images;
    return progress;
}

// The pieces a stream of redraws puts on the terminal's line: what each carriage return starts.
std::vector<std::string> drawnLines(const std::string& stream)
{
    std::vector<std::string> lines;
    std::istringstream in(stream);
    std::string line;
    while (std::getline(in, line, '\r'))
        if (!line.empty())
            lines.push_back(line);
    return lines;
}

TEST(ProgressBar, ShowsFillPercentageAndRate)
{
    struct Case
    {
        int percent;
        std::uint64_t bytes;
        ProgressBar::Clock::duration elapsed;
        std::size_t filled;
        std::string numbers;
        Progress first{}; // what the first update brought
    };
    const Case cases[] = {
        {0, 0, 0s, 0, "  0% -- MB/s"},
        {50, 50'000'000, 5s, 12, " 50% 10.0 MB/s 0:05 left"},
        // 40 % done before the bar began: the rate and the time left count from there
        {50, 50'000'000, 5s, 12, " 50% 2.0 MB/s 0:25 left", at(40, 40'000'000)},
        {100, 100'000'000, 500ms, 25, "100% 200.0 MB/s"},
        {130, 1'000, 1s, 25, "100% 0.0 MB/s"}, // never past a full bar
    };
    for (const Case& c : cases) {
        const std::string line =
            ProgressBar::render("a.ldb", at(c.percent, c.bytes), c.elapsed, 80, c.first);
        SCOPED_TRACE(line);
        EXPECT_EQ(line.rfind("a.ldb [", 0), 0u);
        EXPECT_EQ(std::count(line.begin(), line.end(), '#'), static_cast<long>(c.filled));
        EXPECT_EQ(line.find("] " + c.numbers), line.size() - c.numbers.size() - 2);
    }
    const std::string longName(60, 'n');
    const std::string line = ProgressBar::render(longName + "_end.ldb", at(1, 1), 1s);
    EXPECT_EQ(line.rfind("...", 0), 0u);
    EXPECT_NE(line.find("_end.ldb ["), std::string::npos);
    EXPECT_LT(line.size(), 80u);
}

TEST(ProgressBar, FitsTheTerminalDroppingTheLeastNeededFirst)
{
    const Progress progress = at(45, 45'000'000, 1'234);
    const std::string shortName = "g2k.ldb";
    const std::string longName = "level_of_the_castle.ldb (decoding)";
    struct Case
    {
        int columns;
        const std::string& label;
        std::string line;
    };
    const Case cases[] = {
        {120, shortName,
         "g2k.ldb [###########..............]  45% 1,234 images 4.5 MB/s 0:12 left"},
        {80, shortName, "g2k.ldb [###########..............]  45% 1,234 images 4.5 MB/s 0:12 left"},
        {0, shortName, "g2k.ldb [###########..............]  45% 1,234 images 4.5 MB/s 0:12 left"},
        // the rate goes first, then the bar shortens
        {70, shortName, "g2k.ldb [###########..............]  45% 1,234 images 0:12 left"},
        {60, shortName, "g2k.ldb [########...........]  45% 1,234 images 0:12 left"},
        {50, shortName, "g2k.ldb [####.....]  45% 1,234 images 0:12 left"},
        // a long name keeps its end, and shortens before the bar goes
        {120, longName,
         "..._of_the_castle.ldb (decoding) [###########..............]  45% 1,234 images 4.5 MB/s "
         "0:12 left"},
        {60, longName, "....ldb (decoding) [###.....]  45% 1,234 images 0:12 left"},
        // without the bar, the name takes back what it can
        {50, longName, "...e.ldb (decoding)  45% 1,234 images 0:12 left"},
        {40, shortName, "g2k.ldb  45% 1,234 images 0:12 left"},
        {40, longName, "...oding)  45% 1,234 images 0:12 left"},
        // then the count, the name, and the time left
        {30, shortName, "g2k.ldb  45% 0:12 left"},
        {20, shortName, " 45% 0:12 left"},
        {16, longName, " 45%"},
        {7, shortName, " 45%"},
        {3, shortName, ""},
        {1, shortName, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.columns << " columns, " << c.label);
        EXPECT_EQ(ProgressBar::render(c.label, progress, 10s, c.columns), c.line);
    }
}

// Whether `text` is whole UTF-8: every lead byte followed by as many continuation bytes as it
// announces.
bool wholeUtf8(const std::string& text)
{
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80             ? 1
                                   : (lead & 0xE0) == 0xC0 ? 2
                                   : (lead & 0xF0) == 0xE0 ? 3
                                   : (lead & 0xF8) == 0xF0 ? 4
                                                           : 0;
        if (length == 0 || i + length > text.size())
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
                return false;
        }
        i += length;
    }
    return true;
}

// `text` with every byte beyond ASCII written as \xHH, so that a failure's message is whole
// text whatever the line held.
std::string bytesOf(const std::string& text)
{
    std::string shown;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            shown += c;
            continue;
        }
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02X", byte);
        shown += hex;
    }
    return shown;
}

// Two columns stay free behind the line, where a terminal echoes Ctrl+C as "^C": even then
// nothing wraps, and a name shortened to fit is never cut inside a character.
TEST(ProgressBar, NeverWiderThanTheTerminalLessThree)
{
    std::string wide; // characters of two, three and four bytes
    for (int i = 0; i < 20; ++i)
        wide += "\u00fc\u20ac\U0001d11e";
    const std::string names[] = {"",
                                 "a.ldb",
                                 "level_of_the_castle.ldb (comparing)",
                                 std::string(200, 'n') + ".ldb",
                                 wide + ".ldb",
                                 "x" + wide + ".ldb",
                                 "xy" + wide + ".ldb",
                                 "xyz" + wide + ".ldb",
                                 "[12/340] " + wide + ".ldb (comparing)"};
    const Progress progresses[] = {at(0, 0), at(45, 45'000'000, 1'234),
                                   at(7, 7'000'000, 123'456'789'012), at(100, 5, 3, 0)};
    for (const std::string& name : names) {
        for (const Progress& progress : progresses) {
            for (int columns = 1; columns <= 140; ++columns) {
                for (const auto elapsed : {0s, 10s, 100'000s}) {
                    const std::string line = ProgressBar::render(name, progress, elapsed, columns);
                    ASSERT_LE(line.size(), static_cast<std::size_t>(std::max(columns - 3, 0)))
                        << columns << " columns: " << bytesOf(line);
                    ASSERT_TRUE(wholeUtf8(line)) << columns << " columns: " << bytesOf(line);
                    const bool percentShown =
                        line.find(std::to_string(progress.percent) + "%") != std::string::npos;
                    ASSERT_TRUE(columns < 7 || percentShown)
                        << columns << " columns: " << bytesOf(line);
                }
            }
        }
    }
}

// A pipe's end cannot be known: the megabytes read take the place of the bar, the percentage
// and the time left, and stay when the terminal is narrow.
TEST(ProgressBar, APipeShowsTheMegabytesRead)
{
    struct Case
    {
        int columns;
        Progress progress;
        std::string line;
    };
    const Case cases[] = {
        {80, at(100, 12'345'678, 1'234, 0), "stdin 12.3 MB 1,234 images 1.2 MB/s"},
        {80, at(100, 0, 0, 0), "stdin 0.0 MB 0.0 MB/s"},
        {30, at(100, 12'345'678, 1'234, 0), "stdin 12.3 MB 1,234 images"},
        {20, at(100, 12'345'678, 1'234, 0), "stdin 12.3 MB"},
        {12, at(100, 12'345'678, 1'234, 0), "12.3 MB"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ProgressBar::render("stdin", c.progress, 10s, c.columns, {}, false), c.line);
    // A size that is known keeps the bar and the percentage, even with the same numbers.
    EXPECT_EQ(ProgressBar::render("stdin", at(100, 12'345'678, 1'234, 0), 10s, 80, {}, true),
              "stdin [#########################] 100% 1,234 images 1.2 MB/s");
}

TEST(ProgressBar, CountsTheImagesFoundSoFar)
{
    const std::pair<std::uint64_t, std::string> cases[] = {
        {0, ""}, // none yet: no count
        {1, " 1 image "},
        {2, " 2 images "},
        {1'234, " 1,234 images "},
        {1'234'567, " 1,234,567 images "},
    };
    for (const auto& [images, shown] : cases) {
        const std::string line = ProgressBar::render("a.ldb", at(10, 1, images), 0s);
        SCOPED_TRACE(line);
        if (shown.empty())
            EXPECT_EQ(line.find("image"), std::string::npos);
        else
            EXPECT_NE(line.find(" 10%" + shown), std::string::npos);
    }
}

TEST(ProgressBar, TimeLeftOnceTheRateIsKnown)
{
    struct Case
    {
        const char* what;
        Progress progress;
        ProgressBar::Clock::duration elapsed;
        std::string left; // empty: none shown
        Progress first{}; // what the first update brought
    };
    const Case cases[] = {
        {"under a second", at(50, 50'000'000), 999ms, ""},
        {"a second", at(50, 50'000'000), 1s, "0:01 left"},
        {"under 1 % done", at(0, 999'999), 10s, ""},
        {"1 % done", at(1, 1'000'000), 10s, "16:30 left"},
        {"a quarter", at(25, 25'000'000), 30s, "1:30 left"},
        {"an hour", at(25, 25'000'000), 1200s, "1:00:00 left"},
        {"under an hour", at(25, 25'000'000), 1199s, "59:57 left"},
        {"the bytes tell finer than the percentage", at(99, 99'500'000), 199s, "0:01 left"},
        {"no size: the percentage (decoding)", at(40, 123, 7, 0), 20s, "0:30 left"},
        {"no size and all done (a pipe)", at(100, 5'000'000, 7, 0), 20s, ""},
        {"all done", at(100, 100'000'000), 20s, ""},
        {"from the first update", at(75, 75'000'000), 10s, "0:10 left", at(50, 50'000'000)},
        {"under 1 % since the first update", at(50, 50'900'000), 10s, "", at(50, 50'000'000)},
        {"1 % since the first update", at(51, 51'000'000), 10s, "8:10 left", at(50, 50'000'000)},
    };
    for (const Case& c : cases) {
        const std::string line = ProgressBar::render("a.ldb", c.progress, c.elapsed, 200, c.first);
        SCOPED_TRACE(std::string(c.what) + ": " + line);
        if (c.left.empty())
            EXPECT_EQ(line.find("left"), std::string::npos);
        else
            EXPECT_EQ(line.substr(line.size() - c.left.size() - 1), " " + c.left);
    }
}

TEST(ProgressBar, TimeLeftIsRightForAConstantRate)
{
    // 100 MB at 1 MB/s: after t seconds, 100 - t are left.
    const std::pair<int, std::string> cases[] = {
        {1, "1:39 left"},  {2, "1:38 left"},  {10, "1:30 left"},
        {37, "1:03 left"}, {61, "0:39 left"}, {99, "0:01 left"},
    };
    for (const auto& [seconds, left] : cases) {
        const auto bytes = static_cast<std::uint64_t>(seconds) * 1'000'000;
        const std::string line =
            ProgressBar::render("a.ldb", at(seconds, bytes), std::chrono::seconds(seconds), 200);
        SCOPED_TRACE(line);
        EXPECT_NE(line.find(" 1.0 MB/s " + left), std::string::npos);
    }
}

TEST(ProgressBar, RedrawsAtMostEveryIntervalAndWipesItsLine)
{
    std::ostringstream stream;
    const auto start = ProgressBar::Clock::time_point{} + 1h;
    ProgressBar bar(stream, "a.ldb");
    bar.finish();
    EXPECT_EQ(stream.str(), "") << "nothing drawn, nothing to wipe";

    for (const auto offset : {0ms, 1ms, 50ms, 99ms, 100ms, 150ms, 199ms, 200ms, 450ms})
        bar.update(at(1, 1), start + offset);
    EXPECT_EQ(bar.redraws(), 4u); // at 0, 100, 200 and 450 ms
    const std::string drawn = stream.str();
    EXPECT_EQ(std::count(drawn.begin(), drawn.end(), '\r'), 4);
    // A shorter line covers what the longer one before it left.
    const std::vector<std::string> lines = drawnLines(drawn);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_LT(lines[0].find(" -- MB/s"), lines[0].size()) << lines[0];
    EXPECT_EQ(lines[1].size(), lines[0].size() + 1) << "0.0 MB/s is one longer than -- MB/s";
    EXPECT_EQ(lines[3].size(), lines[1].size());

    bar.finish();
    const std::string wipe = stream.str().substr(drawn.size());
    EXPECT_EQ(wipe, "\r" + std::string(lines[3].size() + 2, ' ') + "\r")
        << "the line and a \"^C\" echoed behind it";

    // Wiped, it is drawn again at the next update however soon, over a clean line; the one
    // after that waits for the interval again.
    bar.update(at(2, 2), start + 451ms);
    bar.update(at(3, 3), start + 452ms);
    EXPECT_EQ(bar.redraws(), 5u);
    const std::string again = stream.str().substr(drawn.size() + wipe.size());
    EXPECT_EQ(again, "\r" + ProgressBar::render("a.ldb", at(2, 2), 451ms, 80, at(1, 1)));
}

TEST(ProgressBar, MeasuresFromItsFirstUpdate)
{
    std::ostringstream stream;
    const auto start = ProgressBar::Clock::time_point{} + 1h;
    ProgressBar bar(stream, "a.ldb");
    bar.update(at(10, 10'000'000), start); // a tenth was done before the bar began
    bar.update(at(20, 20'000'000), start + 1s);
    const std::vector<std::string> lines = drawnLines(stream.str());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].substr(lines[0].find("%")), "% -- MB/s");
    EXPECT_EQ(lines[1].substr(lines[1].find("%")), "% 10.0 MB/s 0:08 left");
}

// A bar that goes on with the work of the bar before it (the next level of a game) measures
// from where that one began.
TEST(ProgressBar, ABarThatGoesOnMeasuresFromTheOriginItIsGiven)
{
    std::ostringstream stream;
    const auto start = ProgressBar::Clock::time_point{} + 1h;
    ProgressBar first(stream, "[1/2] a.ldb");
    first.update(at(10, 10'000'000), start);
    ProgressBar next(stream, "[2/2] b.ldb");
    next.continueFrom(first.origin());
    next.update(at(20, 20'000'000), start + 1s);
    const std::vector<std::string> lines = drawnLines(stream.str());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1].substr(lines[1].find("%")), "% 10.0 MB/s 0:08 left");
}

// A label that begins with a counter keeps the counter whole and loses the middle of the name.
TEST(ProgressBar, ACounterIsNeverCutAndTheNameLosesItsMiddle)
{
    const std::string label = "[3/40] zone02/area02/sub/deeper/level002.ldb (reading)";
    for (int columns = 1; columns <= 140; ++columns) {
        const std::string line =
            ProgressBar::render(label, at(45, 45'000'000, 1'234), 10s, columns);
        SCOPED_TRACE(testing::Message() << columns << " columns: " << bytesOf(line));
        if (line.rfind("[3/40] ", 0) != 0) {
            EXPECT_EQ(line.find("[3/"), std::string::npos) << "whole or not at all";
            EXPECT_LT(columns, 30) << "the label goes only where little else fits";
            continue;
        }
        // Shortened, the name keeps its start and its end.
        const std::size_t cut = line.find("...");
        if (cut != std::string::npos) {
            EXPECT_GT(cut, 7u);
            EXPECT_EQ(line.substr(7, 1), "z");
        }
    }
    // Wherever the cut falls in a name of wide characters, the label is whole UTF-8 and no
    // longer than a label may be (32 bytes beside the counter).
    std::string wide;
    for (int i = 0; i < 12; ++i)
        wide += "\u00fc\u20ac\U0001d11e";
    for (std::size_t tail = 0; tail < 9; ++tail) {
        const std::string counted = "[12/340] " + wide + std::string(tail, 'x');
        const std::string line = ProgressBar::render(counted, at(45, 45'000'000), 10s, 140);
        const std::string shown = line.substr(0, line.find(" ["));
        EXPECT_LE(shown.size(), 32u + 9u) << bytesOf(line);
        EXPECT_GE(shown.size(), 32u + 9u - 6u) << bytesOf(line);
        EXPECT_TRUE(wholeUtf8(shown)) << bytesOf(line);
        EXPECT_EQ(shown.rfind("[12/340] \u00fc", 0), 0u) << bytesOf(line);
    }
    // Brackets that hold no counter are part of the name, which keeps its end.
    for (const std::string other :
         {"[draft] the_castle_of_the_long_name.ldb", "[3/40]x the_castle_of_the_long_name.ldb"}) {
        const std::string line = ProgressBar::render(other, at(45, 45'000'000), 10s, 120);
        EXPECT_EQ(line.rfind("...", 0), 0u) << line;
        EXPECT_NE(line.find("long_name.ldb ["), std::string::npos) << line;
    }
    EXPECT_EQ(ProgressBar::render(label, at(45, 45'000'000, 1'234), 10s, 120),
              "[3/40] zone02/area02/...2.ldb (reading) [###########..............]  45% 1,234 "
              "images 4.5 MB/s 0:12 left");
}

TEST(ProgressBar, RedrawsAtOnceToANewWidthAndNeverWraps)
{
    std::ostringstream stream;
    const auto start = ProgressBar::Clock::time_point{} + 1h;
    int columns = 80;
    const Progress progress = at(45, 45'000'000, 1'234);
    ProgressBar bar(stream, "level_of_the_castle.ldb", [&columns] { return columns; });
    bar.update(progress, start);
    columns = 50; // a resize, well within the interval
    bar.update(progress, start + 1ms);
    EXPECT_EQ(bar.redraws(), 2u);
    bar.update(progress, start + 2ms);
    EXPECT_EQ(bar.redraws(), 2u) << "the same width again waits for the interval";
    columns = 30; // and again, before the wipe
    bar.finish();

    const std::vector<std::string> lines = drawnLines(stream.str());
    ASSERT_EQ(lines.size(), 3u) << stream.str();
    EXPECT_EQ(lines[0], ProgressBar::render("level_of_the_castle.ldb", progress, 0s, 80, progress));
    EXPECT_EQ(lines[0].size(), 77u) << lines[0];
    const std::string narrower =
        ProgressBar::render("level_of_the_castle.ldb", progress, 1ms, 50, progress);
    EXPECT_EQ(lines[1], narrower + std::string(47 - narrower.size(), ' '))
        << "the new width, the spaces that cover the old line within it";
    EXPECT_EQ(lines[2], std::string(29, ' ')) << "the wipe stays within the width";
}

} // namespace
} // namespace glintmark::cli
