#include "cli/terminal/WholeLines.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace glintmark::cli {
namespace {

// A target that counts its flushes and, once told to, takes nothing more.
class Target : public std::stringbuf
{
public:
    int flushes = 0;
    bool full = false;

protected:
    int sync() override
    {
        ++flushes;
        return 0;
    }
    std::streamsize xsputn(const char* data, std::streamsize count) override
    {
        return full ? 0 : std::stringbuf::xsputn(data, count);
    }
};

TEST(WholeLines, PassesOnWholeLinesOnlyEachTimeAfterTheHook)
{
    struct Case
    {
        const char* what;
        std::vector<std::string> writes; // each written, then looked at
        std::vector<std::string> passed; // what the target holds after each write
        std::vector<int> hooks;          // how often the hook was called by then
    };
    const Case cases[] = {
        {"a line's start waits", {"images: ["}, {""}, {0}},
        {"a line goes at its end", {"abc\n"}, {"abc\n"}, {1}},
        {"two lines go at once", {"a\nb\nc"}, {"a\nb\n"}, {1}},
        {"the waiting start goes with its end",
         {"images: [", "\n  {1}", ",\n  {2}", "\n]\n"},
         {"", "images: [\n", "images: [\n  {1},\n", "images: [\n  {1},\n  {2}\n]\n"},
         {0, 1, 2, 3}},
        {"one character at a time", {"a", "\n"}, {"", "a\n"}, {0, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Target target;
        std::ostream targetStream(&target);
        int hooks = 0;
        WholeLines lines(targetStream, [&hooks] { ++hooks; });
        std::ostream out(&lines);
        for (std::size_t i = 0; i < c.writes.size(); ++i) {
            if (c.writes[i].size() == 1)
                out.put(c.writes[i][0]);
            else
                out << c.writes[i];
            EXPECT_EQ(target.str(), c.passed[i]) << "after write " << i;
            EXPECT_EQ(hooks, c.hooks[i]) << "after write " << i;
        }
        EXPECT_TRUE(out.good());
    }
}

TEST(WholeLines, AFlushKeepsTheUnfinishedLineAndTheEndPassesIt)
{
    Target target;
    std::ostream targetStream(&target);
    int hooks = 0;
    {
        WholeLines lines(targetStream, [&hooks] { ++hooks; });
        std::ostream out(&lines);
        out << "done\n}" << std::flush;
        EXPECT_EQ(target.str(), "done\n");
        EXPECT_EQ(target.flushes, 1);
        EXPECT_TRUE(out.good());
    }
    EXPECT_EQ(target.str(), "done\n}") << "the rest goes when the buffer goes";
    EXPECT_EQ(hooks, 2);
    EXPECT_EQ(target.flushes, 2);
}

TEST(WholeLines, ATargetThatFailsFailsTheStream)
{
    for (const bool byCharacter : {false, true}) {
        SCOPED_TRACE(byCharacter ? "one character" : "a string");
        Target target;
        std::ostream targetStream(&target);
        WholeLines lines(targetStream, {});
        std::ostream out(&lines);
        out << "kept\n";
        target.full = true;
        out << "lost";
        EXPECT_TRUE(out.good()) << "nothing went out yet";
        if (byCharacter)
            out.put('\n');
        else
            out << "!\n";
        EXPECT_TRUE(out.bad());
        EXPECT_EQ(target.str(), "kept\n");
        EXPECT_EQ(out.flush().good(), false);
    }
}

} // namespace
} // namespace glintmark::cli
