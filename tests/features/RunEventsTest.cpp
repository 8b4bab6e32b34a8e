// The phases' names, as reports write them.
#include "features/RunEvents.h"

#include <gtest/gtest.h>

#include <string>

namespace glintmark::featurestest {
namespace {

using features::Phase;

TEST(RunEvents, EachPhaseHasItsWord)
{
    const std::pair<Phase, std::string> cases[] = {
        {Phase::Reading, "reading"},
        {Phase::Decoding, "decoding"},
        {Phase::Comparing, "comparing"},
        {Phase::Writing, "writing"},
    };
    for (const auto& [phase, word] : cases)
        EXPECT_EQ(features::phaseName(phase), word);
}

TEST(RunEvents, TheDefaultListenerHearsNothingAndNeverStops)
{
    features::RunEvents events;
    events.onProgress(Phase::Reading, Progress{});
    events.onPhaseEnd(Phase::Decoding);
    events.onImage(features::CheckedImage{});
    EXPECT_TRUE(events.keepGoing());
}

} // namespace
} // namespace glintmark::featurestest
