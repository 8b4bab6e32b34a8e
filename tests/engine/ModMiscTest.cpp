#include "engine/ModMisc.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;

struct SlashCase
{
    fs::path in;
    fs::path expected;
};

TEST(AddSlash, EndsEveryPathWithExactlyOneSeparator)
{
    const fs::path::string_type s(1, fs::path::preferred_separator);
    const SlashCase cases[] = {
        {fs::path(), fs::path(s)},
        {fs::path(s), fs::path(s)},
        {fs::path("out"), fs::path("out") += s},
        {fs::path("games/out"), fs::path("games/out") += s},
        {fs::path("games/out/"), fs::path("games/out/")},
        {fs::path(u8"Gäme Öut"), fs::path(u8"Gäme Öut") += s},
        {fs::path("trailing space "), fs::path("trailing space ") += s},
        // Only the last character is looked at; nothing else is tidied.
        {fs::path("a//b"), fs::path("a//b") += s},
        {fs::path("a//"), fs::path("a//")},
    };
    for (const SlashCase& c : cases)
        EXPECT_EQ(glintmark::AddSlash(c.in).native(), c.expected.native()) << c.in;
}

TEST(AddSlash, LeavesItsArgumentAlone)
{
    const fs::path in("some/folder");
    const fs::path out = glintmark::AddSlash(in);
    EXPECT_EQ(in.native(), fs::path("some/folder").native());
    EXPECT_NE(out.native(), in.native());
}

#ifdef _WIN32
TEST(AddSlash, AcceptsEitherSeparatorOnWindows)
{
    EXPECT_EQ(glintmark::AddSlash(L"C:\\").native(), L"C:\\");
    EXPECT_EQ(glintmark::AddSlash(L"C:/games/").native(), L"C:/games/");
    EXPECT_EQ(glintmark::AddSlash(L"C:\\Games\\Out").native(), L"C:\\Games\\Out\\");
}
#endif

} // namespace
