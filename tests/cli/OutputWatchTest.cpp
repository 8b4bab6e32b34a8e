#include "cli/report/OutputWatch.h"

#include "FailingStream.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <ostream>
#include <sstream>

namespace glintmark::clitest {
namespace {

using cli::OutputWatch;

TEST(OutputWatch, AStreamThatTakesEverythingPasses)
{
    std::ostringstream out;
    OutputWatch watch(out);
    EXPECT_TRUE(watch.check());
    errno = ENOSPC; // left over from something else: not the stream's failure
    out << "a line\n";
    EXPECT_TRUE(watch.check());
    EXPECT_TRUE(watch.check());
}

TEST(OutputWatch, AFailedWriteIsToldWithTheSystemsReason)
{
    struct Case
    {
        int error;
        std::string line;
    };
    const Case cases[] = {
        {ENOSPC, "glintmark-cli: Cannot write to standard output: No space left on device\n"},
        {EIO, "glintmark-cli: Cannot write to standard output: Input/output error\n"},
        {EFBIG, "glintmark-cli: Cannot write to standard output: File too large\n"},
        // The reader went away (| head): nobody is left to tell.
        {EPIPE, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        FailingBuffer buffer(4, c.error);
        std::ostream out(&buffer);
        OutputWatch watch(out);
        out << "abc" << std::flush;
        EXPECT_TRUE(watch.check());
        out << "defgh" << std::flush;
        EXPECT_FALSE(watch.check());
        EXPECT_FALSE(watch.check()) << "a failure stays";
        EXPECT_EQ(watch.failureLine(), c.line);
    }
}

TEST(OutputWatch, AFailureWithoutAReasonIsStillTold)
{
    std::ostringstream out;
    OutputWatch watch(out);
    errno = 0;
    out.setstate(std::ios::badbit);
    EXPECT_FALSE(watch.check());
    EXPECT_EQ(watch.failureLine(), "glintmark-cli: Cannot write to standard output\n");
}

TEST(OutputWatch, TheReasonOfTheFirstFailureIsKept)
{
    struct Case
    {
        int first;
        int later;
        std::string line;
    };
    const Case cases[] = {
        {ENOSPC, EPIPE,
         "glintmark-cli: Cannot write to standard output: No space left on device\n"},
        {EPIPE, ENOSPC, ""},
    };
    for (const Case& c : cases) {
        FailingBuffer buffer(0, c.first);
        std::ostream out(&buffer);
        OutputWatch watch(out);
        out << "x";
        EXPECT_FALSE(watch.check());
        errno = c.later;
        EXPECT_FALSE(watch.check());
        EXPECT_EQ(watch.failureLine(), c.line);
    }
}

} // namespace
} // namespace glintmark::clitest
