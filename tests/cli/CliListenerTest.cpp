#include "cli/CliListener.h"

#include "FailingStream.h"
#include "ReportInputs.h"
#include "cli/terminal/Signals.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace glintmark::clitest {
namespace {

using cli::CliListener;
using cli::OutputWatch;
using cli::PhaseBars;
using features::Phase;

// A report that notes the images it is handed and writes a line for each on `out`.
class NotingReport : public cli::Report
{
public:
    explicit NotingReport(std::ostream& out) : m_out(out) {}

    std::vector<std::uint64_t> numbers;

    void beginSource(const std::filesystem::path&, const std::filesystem::path&) override {}
    void image(const CheckedImage& image) override
    {
        numbers.push_back(image.number);
        m_out << "image " << image.number << '\n';
    }
    void endSource(const LevelOutcome&) override {}
    void finish() override {}

private:
    std::ostream& m_out;
};

CheckedImage numbered(std::uint64_t number)
{
    return image(number, number * 100, 100, framed(8, 8, 100));
}

TEST(CliListener, HandsEachImageToTheReportInOrder)
{
    std::ostringstream out;
    NotingReport report(out);
    OutputWatch watch(out);
    PhaseBars bars(nullptr, "a.ldb", false);
    CliListener listener(bars, &report, watch);
    for (const std::uint64_t number : {1, 2, 3})
        listener.onImage(numbered(number));
    EXPECT_EQ(report.numbers, (std::vector<std::uint64_t>{1, 2, 3}));
    EXPECT_EQ(out.str(), "image 1\nimage 2\nimage 3\n");
    EXPECT_TRUE(listener.keepGoing());
}

TEST(CliListener, WithoutAReportImagesAreLeftToTheEnd)
{
    std::ostringstream out;
    OutputWatch watch(out);
    PhaseBars bars(nullptr, "a.ldb", true);
    CliListener listener(bars, nullptr, watch);
    listener.onImage(numbered(1));
    EXPECT_EQ(out.str(), "");
    EXPECT_TRUE(listener.keepGoing());
}

TEST(CliListener, DrawsTheBarOfEachPhaseAndWipesItAtItsEnd)
{
    std::ostringstream err;
    std::ostringstream out;
    OutputWatch watch(out);
    PhaseBars bars(&err, "a.ldb", false);
    CliListener listener(bars, nullptr, watch);
    Progress progress;
    progress.percent = 30;
    progress.sourceSize = 1000;
    listener.onProgress(Phase::Reading, progress);
    const std::string reading = err.str();
    EXPECT_EQ(reading.rfind("\ra.ldb [#######...", 0), 0u) << reading;
    EXPECT_NE(reading.find("]  30%"), std::string::npos) << reading;
    listener.onPhaseEnd(Phase::Decoding);
    EXPECT_EQ(err.str(), reading) << "another phase's end leaves the bar";
    listener.onPhaseEnd(Phase::Reading);
    const std::string wipe = err.str().substr(reading.size());
    EXPECT_EQ(wipe.front(), '\r');
    EXPECT_EQ(wipe.back(), '\r');
    EXPECT_EQ(wipe.find_first_not_of(' ', 1), wipe.size() - 1) << "only spaces between";
    EXPECT_GE(wipe.size() - 2, reading.size() - 1) << "the whole line blanked";
}

// The line a stream of redraws shows last.
std::string lastLine(const std::string& drawn)
{
    const std::size_t at = drawn.rfind('\r', drawn.size() - 2);
    return at == std::string::npos ? drawn : drawn.substr(at + 1);
}

// A game's reading counts the whole game: its bytes, and the images of the levels before.
TEST(CliListener, AGamesBarCountsTheWholeGame)
{
    std::ostringstream err;
    std::ostringstream out;
    OutputWatch watch(out);
    PhaseBars bars(&err, "[2/3] b.ldb", false);
    CliListener listener(bars, nullptr, watch);
    listener.coverWholeSet(1000, 4000, 100);
    Progress progress;
    progress.sourceSize = 2000;
    progress.bytesRead = 1000;
    progress.percent = 50;
    progress.imagesCompleted = 5;
    listener.onProgress(Phase::Reading, progress);
    const std::string line = lastLine(err.str());
    EXPECT_EQ(line.rfind("[2/3] b.ldb [", 0), 0u) << line;
    EXPECT_NE(line.find("]  50% 105 images"), std::string::npos) << line;
}

// A game's put-back: each pass over the levels counts them off, and each phase's bar covers the
// whole pass, never going back within it.
TEST(CliListener, AGamesPutBackCountsOffItsLevelsAndNeverRunsBackwards)
{
    std::ostringstream err;
    std::ostringstream out;
    OutputWatch watch(out);
    PhaseBars bars(&err, "game", true);
    CliListener listener(bars, nullptr, watch);
    const struct
    {
        std::size_t index;
        bool searching;
        Phase phase;
        int percent; // of the level's phase
        const char* label;
        int shown; // of the pass
    } steps[] = {
        {0, false, Phase::Reading, 50, "[1/4] l0.ldb (reading)", 12},
        {0, false, Phase::Comparing, 100, "[1/4] l0.ldb (comparing)", 25},
        {1, false, Phase::Reading, 60, "[2/4] l1.ldb (reading)", 40},
        {1, false, Phase::Comparing, 50, "[2/4] l1.ldb (comparing)", 37},
        {1, false, Phase::Reading, 10, "[2/4] l1.ldb (reading)", 40}, // held, not 27
        {3, false, Phase::Reading, 100, "[4/4] l3.ldb (reading)", 100},
        {0, true, Phase::Reading, 0, "[1/4] l0.ldb, everywhere (reading)", 0}, // the next pass
        {1, true, Phase::Reading, 0, "[2/4] l1.ldb, everywhere (reading)", 25},
    };
    std::optional<std::pair<std::size_t, bool>> level;
    for (const auto& step : steps) {
        SCOPED_TRACE(step.label);
        if (level != std::make_pair(step.index, step.searching)) {
            listener.onLevel(
                {step.index, 4, "l" + std::to_string(step.index) + ".ldb", step.searching});
            level = std::make_pair(step.index, step.searching);
        }
        Progress progress;
        progress.percent = step.percent;
        progress.sourceSize = step.phase == Phase::Reading ? 1000 : 0;
        progress.bytesRead = static_cast<std::uint64_t>(step.percent) * 10;
        listener.onProgress(step.phase, progress);
        const std::string line = lastLine(err.str());
        EXPECT_EQ(line.rfind(std::string(step.label) + " [", 0), 0u) << line;
        char percent[8];
        std::snprintf(percent, sizeof percent, "] %3d%%", step.shown);
        EXPECT_NE(line.find(percent), std::string::npos) << line;
    }
}

TEST(CliListener, StopsTheRunOnceTheReportCannotBeWritten)
{
    FailingBuffer buffer(8, ENOSPC); // room for "image 1\n" only
    std::ostream out(&buffer);
    NotingReport report(out);
    OutputWatch watch(out);
    PhaseBars bars(nullptr, "a.ldb", false);
    CliListener listener(bars, &report, watch);
    listener.onImage(numbered(1));
    EXPECT_TRUE(listener.keepGoing());
    listener.onImage(numbered(2));
    errno = EPIPE; // whatever fails next must not stand for the report's failure
    EXPECT_FALSE(listener.keepGoing());
    EXPECT_FALSE(listener.keepGoing());
    EXPECT_EQ(watch.failureLine(),
              "glintmark-cli: Cannot write to standard output: No space left on device\n");
    EXPECT_EQ(buffer.taken(), "image 1\n");
}

#ifndef _WIN32
// In a process of its own: the signal flag, once set, stays set.
TEST(CliListenerDeathTest, StopsTheRunAtASignal)
{
    EXPECT_EXIT(
        {
            std::ostringstream out;
            OutputWatch watch(out);
            PhaseBars bars(nullptr, "a.ldb", false);
            CliListener listener(bars, nullptr, watch);
            cli::installSignalHandlers();
            const bool before = listener.keepGoing();
            std::raise(SIGTERM);
            const bool after = listener.keepGoing();
            std::exit(before && !after ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}
#endif

} // namespace
} // namespace glintmark::clitest
