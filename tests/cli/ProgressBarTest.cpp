#include "cli/terminal/ProgressBar.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace glintmark::cli {
namespace {

using namespace std::chrono_literals;

Progress at(int percent, std::uint64_t bytesRead)
{
    Progress progress;
    progress.percent = percent;
    progress.bytesRead = bytesRead;
    progress.sourceSize = 100'000'000;
    return progress;
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
    };
    const Case cases[] = {
        {0, 0, 0s, 0, "  0%       -- MB/s"},
        {50, 10'000'000, 5s, 15, " 50%      2.0 MB/s"},
        {100, 100'000'000, 500ms, 30, "100%    200.0 MB/s"},
        {130, 1'000, 1s, 30, "100%      0.0 MB/s"}, // never past a full bar
    };
    for (const Case& c : cases) {
        const std::string line = ProgressBar::render("a.ldb", at(c.percent, c.bytes), c.elapsed);
        SCOPED_TRACE(line);
        EXPECT_EQ(line.rfind("a.ldb ", 0), 0u);
        EXPECT_EQ(std::count(line.begin(), line.end(), '#'), static_cast<long>(c.filled));
        EXPECT_EQ(line.substr(line.size() - c.numbers.size()), c.numbers);
    }
    const std::string longName(60, 'n');
    const std::string line = ProgressBar::render(longName + "_end.ldb", at(1, 1), 1s);
    EXPECT_NE(line.find("..."), std::string::npos);
    EXPECT_NE(line.find("_end.ldb ["), std::string::npos);
    EXPECT_LT(line.size(), 80u);
}

TEST(ProgressBar, RedrawsAtMostEveryIntervalAndWipesItsLine)
{
    std::ostringstream stream;
    const auto start = ProgressBar::Clock::time_point{} + 1h;
    ProgressBar bar(stream, "a.ldb", start);
    bar.finish();
    EXPECT_EQ(stream.str(), "") << "nothing drawn, nothing to wipe";

    for (const auto offset : {0ms, 1ms, 50ms, 99ms, 100ms, 150ms, 199ms, 200ms, 450ms})
        bar.update(at(1, 1), start + offset);
    EXPECT_EQ(bar.redraws(), 4u); // at 0, 100, 200 and 450 ms
    const std::string drawn = stream.str();
    EXPECT_EQ(std::count(drawn.begin(), drawn.end(), '\r'), 4);

    bar.finish();
    const std::string wipe = stream.str().substr(drawn.size());
    const std::size_t lineWidth = drawn.size() / 4 - 1;
    EXPECT_EQ(wipe, "\r" + std::string(lineWidth, ' ') + "\r");
}

} // namespace
} // namespace glintmark::cli
