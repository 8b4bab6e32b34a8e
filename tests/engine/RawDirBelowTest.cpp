// A file below an open folder, opened step by step from the folder, as a game's levels are.
#include "EngineTestSupport.h"

#include "engine/io/RawDir.h"

#include <gtest/gtest.h>

#include <string>
#include <system_error>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

using namespace enginetest;
using glintmark::RawDir;
using glintmark::RawFile;

#ifndef _WIN32
TEST(RawDirBelow, OnlyARegularFileReachedThroughFoldersIsOpened)
{
    const TempDir dir;
    const fs::path game = dir / "game";
    fs::create_directories(game / "maps" / "deep");
    fs::create_directories(game / "folder.ldb");
    writeFile(game / "a.ldb", "level a");
    writeFile(game / "maps" / "deep" / "c.ldb", "level c");
    writeFile(dir / "outside.ldb", "outside");
    fs::create_symlink(dir / "outside.ldb", game / "link.ldb");
    fs::create_symlink(game / "a.ldb", game / "inner-link.ldb");
    fs::create_directory_symlink(game / "maps", game / "maps-link");
    fs::create_directory_symlink(dir.path(), game / "up");
    ASSERT_EQ(::mkfifo((game / "pipe.ldb").c_str(), 0600), 0);

    const std::error_condition refused = std::errc::invalid_argument;
    const struct
    {
        const char* relative;
        std::string bytes;          // what is read, when it opens
        std::error_condition error; // otherwise
    } cases[] = {
        {"a.ldb", "level a", {}},
        {"maps/deep/c.ldb", "level c", {}},
        {"link.ldb", "", refused},             // a link at the end, even inside
        {"inner-link.ldb", "", refused},       // a link to a file of the game
        {"maps-link/deep/c.ldb", "", refused}, // a link on the way
        {"up/outside.ldb", "", refused},
        {"pipe.ldb", "", refused}, // not waited on
        {"folder.ldb", "", refused},
        {"a.ldb/x.ldb", "", refused}, // a file on the way
        {"../outside.ldb", "", refused},
        {"maps/../a.ldb", "", refused},
        {"", "", refused},
        {"missing.ldb", "", std::errc::no_such_file_or_directory},
        {"nowhere/a.ldb", "", std::errc::no_such_file_or_directory},
    };
    std::error_code ec;
    const RawDir folder = RawDir::open(game, ec);
    ASSERT_FALSE(ec) << ec.message();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.relative);
        RawFile file = folder.openFileBelow(c.relative, ec);
        EXPECT_TRUE(ec == c.error) << ec.message();
        EXPECT_EQ(file.isOpen(), !c.error);
        if (!file.isOpen())
            continue;
        std::string bytes(64, '\0');
        bytes.resize(file.readFully(bytes.data(), bytes.size(), ec));
        EXPECT_FALSE(ec);
        EXPECT_EQ(bytes, c.bytes);
    }
    // An absolute path is refused, whatever it names.
    EXPECT_FALSE(folder.openFileBelow(game / "a.ldb", ec).isOpen());
    EXPECT_TRUE(ec == refused);
}
#endif

} // namespace
