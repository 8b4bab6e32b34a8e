#include "cli/terminal/PhaseBars.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace glintmark::cli {
namespace {

using features::Phase;

// What a bar draws first: a carriage return and its label, padded to the bar's label width.
std::string drawn(const std::string& label)
{
    return "\r" + label + std::string(24 - label.size(), ' ') + " [";
}

// A drawn bar wiped: its whole line (label, bar, percentage and rate) blanked.
const std::string kWipe = "\r" + std::string(76, ' ') + "\r";

Progress at(int percent)
{
    Progress progress;
    progress.percent = percent;
    progress.sourceSize = 1000;
    progress.bytesRead = 0;
    return progress;
}

std::size_t count(const std::string& text, const std::string& part)
{
    std::size_t found = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++found;
    return found;
}

TEST(PhaseBars, EachPhaseIsLabelledReadingOnlyWhenAsked)
{
    struct Case
    {
        bool nameReading;
        Phase phase;
        std::string label;
    };
    const Case cases[] = {
        {false, Phase::Reading, "a.ldb"},
        {true, Phase::Reading, "a.ldb (reading)"},
        {false, Phase::Decoding, "a.ldb (decoding)"},
        {true, Phase::Decoding, "a.ldb (decoding)"},
        {true, Phase::Comparing, "a.ldb (comparing)"},
        {true, Phase::Writing, "a.ldb (writing)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        std::ostringstream stream;
        PhaseBars bars(&stream, "a.ldb", c.nameReading);
        bars.update(c.phase, at(40));
        const std::string text = stream.str();
        EXPECT_EQ(text.rfind(drawn(c.label), 0), 0u) << text;
        EXPECT_NE(text.find("]  40%"), std::string::npos) << text;
    }
}

TEST(PhaseBars, ANewPhaseWipesTheBarOfTheOneBefore)
{
    std::ostringstream stream;
    PhaseBars bars(&stream, "a.ldb", false);
    bars.update(Phase::Reading, at(10));
    bars.update(Phase::Reading, at(100));
    EXPECT_EQ(count(stream.str(), kWipe), 0u) << "the same phase keeps its bar";
    bars.update(Phase::Decoding, at(0));
    const std::string text = stream.str();
    EXPECT_EQ(text.rfind(drawn("a.ldb"), 0), 0u);
    EXPECT_EQ(count(text, kWipe), 1u);
    EXPECT_NE(text.find(kWipe + drawn("a.ldb (decoding)")), std::string::npos) << text;
    EXPECT_EQ(count(text, drawn("a.ldb (decoding)")), 1u);
}

TEST(PhaseBars, EndWipesOnlyTheBarOfItsPhase)
{
    std::ostringstream stream;
    PhaseBars bars(&stream, "a.ldb", true);
    bars.update(Phase::Comparing, at(50));
    const std::size_t first = stream.str().size();
    bars.end(Phase::Reading);
    bars.end(Phase::Writing);
    EXPECT_EQ(stream.str().size(), first) << "another phase's end leaves the bar";
    bars.end(Phase::Comparing);
    EXPECT_EQ(stream.str().substr(first), kWipe);
    bars.end(Phase::Comparing);
    bars.finish();
    EXPECT_EQ(stream.str().size(), first + kWipe.size()) << "nothing left to wipe";

    // The phase may come again after its end: it gets a bar of its own.
    bars.update(Phase::Comparing, at(60));
    EXPECT_EQ(stream.str().substr(first + kWipe.size()).rfind(drawn("a.ldb (comparing)"), 0), 0u);
}

TEST(PhaseBars, FinishWipesWhicheverBarIsDrawn)
{
    for (const Phase phase : {Phase::Reading, Phase::Decoding, Phase::Writing}) {
        std::ostringstream stream;
        PhaseBars bars(&stream, "a.ldb", false);
        bars.finish();
        EXPECT_EQ(stream.str(), "") << "nothing drawn, nothing to wipe";
        bars.update(phase, at(70));
        const std::size_t first = stream.str().size();
        bars.finish();
        EXPECT_EQ(stream.str().substr(first), kWipe);
        bars.finish();
        EXPECT_EQ(stream.str().size(), first + kWipe.size());
        bars.update(phase, at(80));
        EXPECT_GT(stream.str().size(), first + kWipe.size()) << "a new bar after the finish";
    }
}

TEST(PhaseBars, WithoutAStreamNothingIsDrawn)
{
    PhaseBars bars(nullptr, "a.ldb", true);
    bars.update(Phase::Reading, at(10));
    bars.update(Phase::Decoding, at(20));
    bars.end(Phase::Decoding);
    bars.update(Phase::Writing, at(30));
    bars.finish();
    SUCCEED() << "no stream was touched";
}

} // namespace
} // namespace glintmark::cli
