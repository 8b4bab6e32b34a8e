#include "cli/terminal/WindowsArgs.h"

#include <gtest/gtest.h>

namespace glintmark {
namespace {

TEST(WindowsArgs, TheUtf16CommandLineArrivesAsUtf8)
{
    const wchar_t* const argv[] = {L"glintmark-cli", L"\u65E5\u672C.ldb", L"\u03A9mega",
                                   L"\u00C9t\u00E9", L"bad\xD800"};
    const cli::Utf8Arguments arguments(5, argv);
    ASSERT_EQ(arguments.count(), 5);
    EXPECT_STREQ(arguments.data()[1], "日本.ldb");
    EXPECT_STREQ(arguments.data()[2], "Ωmega");
    EXPECT_STREQ(arguments.data()[3], "Été");
    EXPECT_STREQ(arguments.data()[4], "bad\xEF\xBF\xBD"); // an unpaired surrogate
}

} // namespace
} // namespace glintmark
