#include "cli/terminal/PhaseBars.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace glintmark::cli {
namespace {

using features::Phase;

// What the bars put on the terminal's line, one piece per carriage return: a drawn line's start
// up to its bar ("a.ldb (decoding)"), or "wipe" for a line of spaces.
std::vector<std::string> shown(const std::string& stream)
{
    std::vector<std::string> pieces;
    std::istringstream in(stream);
    std::string piece;
    while (std::getline(in, piece, '\r')) {
        if (piece.empty())
            continue;
        if (piece.find_first_not_of(' ') == std::string::npos)
            pieces.push_back("wipe");
        else
            pieces.push_back(piece.substr(0, piece.find(" [")));
    }
    return pieces;
}

Progress at(int percent)
{
    Progress progress;
    progress.percent = percent;
    progress.sourceSize = 1000;
    return progress;
}

// One step: a phase's progress, the end of a phase, a wipe for a line of output, or a new name.
struct Step
{
    enum class Kind
    {
        Update,
        End,
        Wipe,
        Name
    } kind;
    Phase phase = Phase::Reading;
    std::string name;
};

Step update(Phase phase)
{
    return {Step::Kind::Update, phase, {}};
}
Step end(Phase phase)
{
    return {Step::Kind::End, phase, {}};
}
Step wipe()
{
    return {Step::Kind::Wipe, Phase::Reading, {}};
}
Step name(std::string name)
{
    return {Step::Kind::Name, Phase::Reading, std::move(name)};
}

TEST(PhaseBars, OneBarPerPhaseEachWipedBeforeTheNext)
{
    struct Case
    {
        const char* what;
        bool nameReading;
        std::vector<Step> steps;
        std::vector<std::string> shown; // the bars going also wipes the last
    };
    const Case cases[] = {
        {"reading, then decoding",
         false,
         {update(Phase::Reading), update(Phase::Decoding)},
         {"a.ldb", "wipe", "a.ldb (decoding)", "wipe"}},
        {"put-back names every phase",
         true,
         {update(Phase::Reading), update(Phase::Comparing), update(Phase::Writing)},
         {"a.ldb (reading)", "wipe", "a.ldb (comparing)", "wipe", "a.ldb (writing)", "wipe"}},
        {"the same phase again is the same bar: no wipe",
         false,
         {update(Phase::Reading), update(Phase::Reading)},
         {"a.ldb", "wipe"}},
        {"the end of another phase leaves the bar, its own end wipes it",
         false,
         {update(Phase::Reading), end(Phase::Decoding), end(Phase::Reading), end(Phase::Reading)},
         {"a.ldb", "wipe"}},
        {"a wiped bar comes back at once, the same phase's",
         false,
         {update(Phase::Decoding), wipe(), update(Phase::Decoding)},
         {"a.ldb (decoding)", "wipe", "a.ldb (decoding)", "wipe"}},
        {"a new name wipes the bar and names the next",
         false,
         {update(Phase::Reading), name("b.ldb"), update(Phase::Reading)},
         {"a.ldb", "wipe", "b.ldb", "wipe"}},
        {"nothing drawn, nothing wiped", false, {wipe(), end(Phase::Reading)}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::ostringstream stream;
        {
            PhaseBars bars(&stream, "a.ldb", c.nameReading);
            for (const Step& step : c.steps) {
                if (step.kind == Step::Kind::Update)
                    bars.update(step.phase, at(10));
                else if (step.kind == Step::Kind::End)
                    bars.end(step.phase);
                else if (step.kind == Step::Kind::Wipe)
                    bars.wipe();
                else
                    bars.setName(step.name);
            }
        }
        EXPECT_EQ(shown(stream.str()), c.shown) << stream.str();
    }
}

TEST(PhaseBars, DrawsNothingWithoutAStreamAndAsksTheWidth)
{
    PhaseBars none(nullptr, "a.ldb", false, [] { return 20; });
    none.update(Phase::Reading, at(50));
    none.wipe();
    none.finish();

    std::ostringstream stream;
    {
        PhaseBars bars(&stream, "a.ldb", false, [] { return 20; });
        bars.update(Phase::Reading, at(50));
    }
    const std::string drawn = stream.str().substr(0, stream.str().find('\r', 1));
    EXPECT_EQ(drawn, "\ra.ldb  50%") << "17 columns: no room for the bar or the rate";
}

// Whatever name a bar is given, its line holds no tab, no line end, no control and no byte
// that is not UTF-8: each is written out.
TEST(PhaseBars, TheNameStaysOnTheBarsLine)
{
    std::ostringstream stream;
    {
        PhaseBars bars(&stream, "a\tb\nc\x1b[2J\x9b.ldb", false);
        bars.update(Phase::Reading, at(10));
    }
    const std::string drawn = stream.str();
    EXPECT_EQ(shown(drawn).front(), "a\\x09b\\x0Ac\\x1B[2J\\x9B.ldb") << drawn;
    EXPECT_EQ(drawn.find_first_of("\t\n\x1b\x9b"), std::string::npos) << drawn;
}

// Only the reading of a source of unknown size (a pipe) shows megabytes in place of the
// percentage; the other phases never know a size and keep their percentage.
TEST(PhaseBars, OnlyReadingAPipeLeavesThePercentageOut)
{
    struct Case
    {
        Phase phase;
        std::uint64_t sourceSize;
        bool percentage;
    };
    const Case cases[] = {
        {Phase::Reading, 0, false},
        {Phase::Reading, 1'000'000, true},
        {Phase::Decoding, 0, true},
        {Phase::Comparing, 0, true},
    };
    for (const Case& c : cases) {
        std::ostringstream stream;
        Progress progress = at(100);
        progress.bytesRead = 2'000'000;
        progress.sourceSize = c.sourceSize;
        PhaseBars bars(&stream, "a.ldb", false);
        bars.update(c.phase, progress);
        SCOPED_TRACE(stream.str());
        EXPECT_EQ(stream.str().find("100%") != std::string::npos, c.percentage);
        EXPECT_EQ(stream.str().find(" 2.0 MB ") != std::string::npos, !c.percentage);
    }
}

// Across the names of a whole set, each phase's bar measures its rate and time left from where
// that phase's first bar began; until asked, and after a restart, from its own first update.
TEST(PhaseBars, AcrossNamesABarMeasuresFromThePhasesFirstBar)
{
    using namespace std::chrono_literals;
    const auto start = ProgressBar::Clock::time_point{} + 1h;
    const auto progressOf = [](int percent) {
        Progress progress;
        progress.percent = percent;
        progress.bytesRead = static_cast<std::uint64_t>(percent) * 1'000'000;
        progress.sourceSize = 100'000'000;
        return progress;
    };
    // The rate and time left of the second name's bar, after `arrange` readied the bars.
    const auto second = [&](const std::function<void(PhaseBars&)>& arrange) {
        std::ostringstream stream;
        PhaseBars bars(&stream, "[1/2] a.ldb", false);
        arrange(bars);
        bars.update(Phase::Reading, progressOf(10), start);
        bars.update(Phase::Decoding, progressOf(50), start); // another phase's own measure
        bars.setName("[2/2] b.ldb");
        bars.update(Phase::Reading, progressOf(20), start + 1s);
        const std::string drawn = stream.str();
        const std::string line = drawn.substr(drawn.rfind('\r') + 1);
        return line.substr(line.find('%') + 1);
    };
    EXPECT_EQ(second([](PhaseBars&) {}), " -- MB/s");
    EXPECT_EQ(second([](PhaseBars& bars) { bars.measureAcrossNames(); }), " 10.0 MB/s 0:08 left");
    EXPECT_EQ(second([&](PhaseBars& bars) {
                  bars.measureAcrossNames();
                  bars.update(Phase::Reading, progressOf(5), start - 1s); // an earlier pass
                  bars.setName("[1/2] a.ldb");
                  bars.restartMeasures();
              }),
              " 10.0 MB/s 0:08 left");
}

} // namespace
} // namespace glintmark::cli
