#include "CliTestSupport.h"
#include "engine/io/PathText.h"
#include "support/ScopedEnvironment.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace glintmark::clitest {
namespace {

namespace fs = std::filesystem;
using testsupport::ScopedEnvironment;

// How a run takes GLINTMARK_WRITERS: the variable, the options beside it, and whether the run
// goes ahead (exit 0) or is refused as bad usage (exit 2) before anything is written.
struct WritersCase
{
    std::optional<std::string> variable;
    std::vector<std::string> options;
    int code;
};

TEST(CliEnvironment, TheWritersVariableIsReadAsWritersIsAndRefusedAsItIs)
{
    const std::vector<WritersCase> cases = {
        {"abc", {}, 2},
        {"0", {}, 2},
        {"65", {}, 2},
        {"3x", {}, 2}, // not read as 3
        {"", {}, 2},
        {"7", {}, 0},
        {"64", {}, 0},
        {std::nullopt, {}, 0},
        // --writers wins over the variable, which is then not read at all
        {"abc", {"--writers", "2"}, 0},
        // nothing is written, so no writer count is asked for
        {"abc", {"--list"}, 0},
    };
    const fs::path dir = freshTestFolder();
    int n = 0;
    for (const WritersCase& c : cases) {
#ifdef _WIN32
        // Windows holds no empty variable: setting one to "" removes it.
        if (c.variable && c.variable->empty())
            continue;
#endif
        const std::string shown = c.variable.value_or("(unset)");
        SCOPED_TRACE(shown + " " + ::testing::PrintToString(c.options));
        const ScopedEnvironment variable("GLINTMARK_WRITERS", c.variable);
        const fs::path out = dir / std::to_string(n++);
        std::vector<std::string> args = c.options;
        if (c.options.empty() || c.options.front() != "--list")
            args.insert(args.end(), {"-o", displayPath(out)});
        args.push_back(displayPath(demoLdb()));
        const CliRun run = runWith(args);
        EXPECT_EQ(run.code, c.code) << run.err;
        if (c.code == 2) {
            EXPECT_EQ(run.out, "");
            EXPECT_EQ(run.err.rfind("glintmark-cli: GLINTMARK_WRITERS=" + *c.variable + ": ", 0),
                      0u)
                << run.err;
            EXPECT_NE(run.err.find("from 1 to 64"), std::string::npos) << run.err;
            EXPECT_FALSE(fs::exists(out));
        } else if (c.options.empty()) {
            EXPECT_TRUE(fs::exists(out / "Vorlesk_0011.jpg"));
        }
    }
}

} // namespace
} // namespace glintmark::clitest
