#include "cli/CliListener.h"

#include "FailingStream.h"
#include "ReportInputs.h"
#include "cli/terminal/Signals.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ostream>
#include <sstream>
#include <string>
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
