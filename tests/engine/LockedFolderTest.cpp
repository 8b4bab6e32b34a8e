#include "EngineTestSupport.h"

#include "engine/LockedFolder.h"
#include "engine/run/OutputFolder.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <optional>
#include <string>

namespace {

using namespace enginetest;
using glintmark::ErrorKind;
using glintmark::FileIdentity;
using glintmark::FileWriter;
using glintmark::LockedFolder;
using glintmark::OutputFolder;
using glintmark::RawFile;

FileIdentity identityOf(const fs::path& file)
{
    std::error_code ec;
    const RawFile opened = RawFile::openForReading(file, ec);
    const FileIdentity identity = opened.identity(ec);
    EXPECT_FALSE(ec) << ec.message();
    return identity;
}

// The hidden entries of `folder` (part files left behind).
std::vector<std::string> hiddenIn(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.front() == '.' && name != ".glintmark.lock")
            names.push_back(name);
    }
    return names;
}

// A whole file takes its name only when its producer finishes; a producer that gives up, or a
// name that cannot be written, leaves what was there before and no part file.
TEST(LockedFolder, WritesAWholeFileOrLeavesTheOldOne)
{
    struct Case
    {
        const char* what;
        const char* name;
        bool finishes; // the producer hands over every byte
        bool written;
        bool stopped;
    };
    const Case cases[] = {
        {"complete", "page.html", true, true, false},
        {"given up at a stop", "page.html", false, false, true},
        {"a path, not a bare name", "sub/page.html", true, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        writeFile(dir / "level.ldb", signature());
        std::optional<glintmark::ExtractError> error;
        LockedFolder folder = LockedFolder::openBeside(
            dir / "page.html", identityOf(dir / "level.ldb"), "the page", "run", error);
        ASSERT_FALSE(error) << error->message;
        writeFile(dir / "page.html", "old page");
        const auto written = folder.writeFile(c.name, "the page", [&](FileWriter& writer) {
            EXPECT_TRUE(writer.write("new "));
            if (!c.finishes)
                return false;
            return writer.write("page");
        });
        EXPECT_EQ(!written.has_value() && c.finishes, c.written)
            << (written ? written->message : "");
        EXPECT_EQ(readFile(dir / "page.html"), c.written ? "new page" : "old page");
        EXPECT_EQ(folder.stopped(), c.stopped);
        EXPECT_TRUE(hiddenIn(dir.path()).empty());
        EXPECT_EQ(readFile(dir / "level.ldb"), signature());
    }
}

// writePart() leaves the whole file hidden until placePart() gives it its name, so several can
// be written before any is in place; discardPart() or a producer that gives up leaves nothing.
TEST(LockedFolder, WritesHiddenFilesThatTakeTheirNamesOnlyWhenPlaced)
{
    struct Case
    {
        const char* what;
        bool finishes; // the producer hands over every byte
        bool placed;   // placePart() rather than discardPart() follows
    };
    const Case cases[] = {
        {"written, then placed", true, true},
        {"written, then discarded", true, false},
        {"given up at a stop", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        writeFile(dir / "level.ldb", signature());
        writeFile(dir / "b.ldb", "old b");
        std::optional<glintmark::ExtractError> error;
        LockedFolder folder = LockedFolder::openBeside(dir / "a.ldb", identityOf(dir / "level.ldb"),
                                                       "the new level", "run", error);
        ASSERT_FALSE(error) << error->message;
        for (const char* name : {"a.ldb", "b.ldb"}) {
            error = folder.writePart(name, "the new level", [&](FileWriter& writer) {
                EXPECT_TRUE(writer.write("new "));
                return c.finishes && writer.write(name);
            });
            EXPECT_FALSE(error) << error->message;
        }
        // Neither has its name yet; what was there stays.
        EXPECT_FALSE(fs::exists(dir / "a.ldb"));
        EXPECT_EQ(readFile(dir / "b.ldb"), "old b");
        EXPECT_EQ(hiddenIn(dir.path()).size(), c.finishes ? 2u : 0u);
        EXPECT_EQ(folder.stopped(), !c.finishes);
        for (const char* name : {"a.ldb", "b.ldb"}) {
            if (c.placed) {
                error = folder.placePart(name, "the new level");
                EXPECT_FALSE(error) << error->message;
            } else {
                folder.discardPart(name);
            }
        }
        EXPECT_EQ(fs::exists(dir / "a.ldb"), c.placed);
        EXPECT_EQ(readFile(dir / "b.ldb"), c.placed ? "new b.ldb" : "old b");
        if (c.placed) {
            EXPECT_EQ(readFile(dir / "a.ldb"), "new a.ldb");
        }
        EXPECT_TRUE(hiddenIn(dir.path()).empty());
        // A name whose hidden file is gone cannot be placed.
        EXPECT_TRUE(folder.placePart("a.ldb", "the new level").has_value());
    }
}

// openBeside() opens and locks the folder of a file for a run that reads `source`, and refuses
// a name it could not put in place, before anything is written.
TEST(LockedFolder, OpensTheFolderBesideAFileLockedAndChecked)
{
    TempDir dir;
    writeFile(dir / "level.ldb", signature());
    fs::create_directories(dir / "folder.ldb");
    const FileIdentity source = identityOf(dir / "level.ldb");
    struct Case
    {
        const char* what;
        fs::path file;
        std::optional<ErrorKind> refused;
    };
    writeFile(dir / "old.ldb", "an older level");
#ifndef _WIN32
    ASSERT_EQ(::mkfifo((dir / "pipe.ldb").c_str(), 0600), 0);
    fs::create_symlink("/dev/null", dir / "null.ldb");
    fs::create_symlink(dir / "folder.ldb", dir / "tofolder.ldb");
    fs::create_symlink(dir / "old.ldb", dir / "toold.ldb");
    fs::create_symlink(dir / "ghost", dir / "dangling.ldb");
#endif
    const Case cases[] = {
        {"a new file", dir / "new.ldb", std::nullopt},
        {"an older file", dir / "old.ldb", std::nullopt},
        {"the source itself", dir / "level.ldb", ErrorKind::OutputIsSource},
        {"a folder at the name", dir / "folder.ldb", ErrorKind::ImageCreate},
        {"a missing folder", dir / "missing" / "new.ldb", ErrorKind::OutputFolder},
#ifndef _WIN32
        // Only a file is replaced: never a device or a pipe, nor what a link leads to.
        {"a pipe", dir / "pipe.ldb", ErrorKind::ImageCreate},
        {"a device", "/dev/null", ErrorKind::ImageCreate},
        {"a link to a device", dir / "null.ldb", ErrorKind::ImageCreate},
        {"a link to a folder", dir / "tofolder.ldb", ErrorKind::ImageCreate},
        {"a link to a file", dir / "toold.ldb", std::nullopt},
        {"a dangling link", dir / "dangling.ldb", std::nullopt},
#endif
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::optional<glintmark::ExtractError> error;
        LockedFolder folder =
            LockedFolder::openBeside(c.file, source, "the new level", "run", error);
        EXPECT_EQ(error ? std::optional<ErrorKind>(error->kind) : std::nullopt, c.refused)
            << (error ? error->message : "");
        if (error) {
            EXPECT_NE(error->message.find(c.file.parent_path().filename().string()),
                      std::string::npos)
                << error->message;
        }
    }
    EXPECT_EQ(readFile(dir / "level.ldb"), signature());
#ifndef _WIN32
    EXPECT_TRUE(fs::is_fifo(dir / "pipe.ldb"));
    EXPECT_TRUE(fs::is_symlink(dir / "null.ldb"));
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
#endif

    // While one holds the folder, nobody else gets it, put-back or extraction alike.
    std::optional<glintmark::ExtractError> error;
    LockedFolder held =
        LockedFolder::openBeside(dir / "new.ldb", source, "the new level", "run", error);
    ASSERT_FALSE(error);
    std::optional<glintmark::ExtractError> second;
    LockedFolder other =
        LockedFolder::openBeside(dir / "other.ldb", source, "the new level", "run", second);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->kind, ErrorKind::OutputBusy);
    EXPECT_FALSE(other.canWrite());
    OutputFolder extraction(source);
    const auto busy = extraction.prepare(makeJob(dir / "level.ldb", dir.path()));
    ASSERT_TRUE(busy);
    EXPECT_EQ(busy->kind, ErrorKind::OutputBusy);
}

} // namespace

namespace {

// Whether the file holds "texture", as the file linked to did when it was written.
bool holdsTexture(RawFile& file)
{
    char buffer[64] = {};
    std::error_code ec;
    const std::size_t got = file.readFully(buffer, sizeof buffer, ec);
    return !ec && std::string(buffer, got) == "texture";
}

// A further name of a file already written takes the place of another name only when the file
// is still the one expected; otherwise the name stays as it was, and no part file is left.
TEST(LockedFolder, PutsALinkToTheExpectedFileInPlaceOrLeavesTheName)
{
    enum class From
    {
        ThisFolder,
        OtherFolder
    };
    struct Case
    {
        const char* what;
        From from;
        const char* linked;   // the name linked to
        int swapped;          // since its identity was taken, that file was: 0 left alone,
                              // 1 replaced, 2 written to with its size and time kept,
                              // 3 replaced by another file with the same bytes and time
        int leftoverPart;     // at the hidden name: 0 nothing, 1 a part file of an earlier
                              // run, 2 a further name of the source (swept as the folder opens)
        bool refused;         // the system makes no link (the name stays)
        const char* expected; // what the name then holds
    };
    const Case cases[] = {
        {"in the same folder", From::ThisFolder, "first.jpg", 0, 0, false, "texture"},
        {"from another folder", From::OtherFolder, "first.jpg", 0, 0, false, "texture"},
        {"over a leftover part", From::ThisFolder, "first.jpg", 0, 1, false, "texture"},
        {"over a further name of the source", From::ThisFolder, "first.jpg", 0, 2, false,
         "texture"},
        {"to a file since replaced", From::OtherFolder, "first.jpg", 1, 0, true, "copy"},
        {"to a file since written to", From::OtherFolder, "first.jpg", 2, 0, true, "copy"},
        {"to a lookalike put there", From::OtherFolder, "first.jpg", 3, 0, true, "copy"},
        {"to a missing file", From::ThisFolder, "missing.jpg", 0, 0, true, "copy"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        writeFile(dir / "level.ldb", signature());
        fs::create_directories(dir / "other");
        const fs::path firstFolder = c.from == From::ThisFolder ? dir.path() : dir / "other";
        writeFile(firstFolder / "first.jpg", "texture");
        const FileIdentity first = identityOf(firstFolder / "first.jpg");
        if (c.swapped == 1) {
            fs::remove(firstFolder / "first.jpg");
            writeFile(firstFolder / "first.jpg", "texture, but another file");
        } else if (c.swapped == 2) {
            const auto written = fs::last_write_time(firstFolder / "first.jpg");
            writeFile(firstFolder / "first.jpg", "TEXTURE");
            fs::last_write_time(firstFolder / "first.jpg", written);
        } else if (c.swapped == 3) {
            const auto written = fs::last_write_time(firstFolder / "first.jpg");
            writeFile(firstFolder / "lookalike.jpg", "texture");
            fs::last_write_time(firstFolder / "lookalike.jpg", written);
            fs::rename(firstFolder / "lookalike.jpg", firstFolder / "first.jpg");
        }
        writeFile(dir / "second.jpg", "copy");
        if (c.leftoverPart == 1)
            writeFile(dir / ".second.jpg.part", "left by a killed run");
        if (c.leftoverPart == 2)
            fs::create_hard_link(dir / "level.ldb", dir / ".second.jpg.part");

        std::optional<glintmark::ExtractError> error;
        LockedFolder folder = LockedFolder::openBeside(
            dir / "second.jpg", identityOf(dir / "level.ldb"), "the image", "run", error);
        ASSERT_FALSE(error) << error->message;
        std::error_code ec;
        glintmark::RawDir other = glintmark::RawDir::open(dir / "other", ec);
        ASSERT_FALSE(ec);
        std::error_code refused;
        const auto placed =
            folder.placeLink(c.from == From::ThisFolder ? nullptr : &other, c.linked, first,
                             "second.jpg", "the image", holdsTexture, refused);
        EXPECT_FALSE(placed) << placed->message;
        EXPECT_EQ(static_cast<bool>(refused), c.refused) << refused.message();
        EXPECT_EQ(readFile(dir / "second.jpg"), c.expected);
        EXPECT_EQ(fs::equivalent(dir / "second.jpg", firstFolder / "first.jpg"),
                  !c.refused && c.swapped == 0);
        EXPECT_TRUE(hiddenIn(dir.path()).empty());
        EXPECT_EQ(readFile(dir / "level.ldb"), signature());
        EXPECT_EQ(folder.entry("second.jpg", ec).sameFileAs(identityOf(dir / "second.jpg")), true);
    }
}

// A folder at the name is never replaced by a link; a run that writes nothing makes none.
TEST(LockedFolder, ALinkNeverReplacesAFolderNorComesFromAListingRun)
{
    TempDir dir;
    writeFile(dir / "level.ldb", signature());
    writeFile(dir / "first.jpg", "texture");
    fs::create_directories(dir / "taken.jpg");
    std::optional<glintmark::ExtractError> error;
    LockedFolder folder = LockedFolder::openBeside(dir / "first.jpg", identityOf(dir / "level.ldb"),
                                                   "the image", "run", error);
    ASSERT_FALSE(error);
    std::error_code refused;
    const auto placed = folder.placeLink(nullptr, "first.jpg", identityOf(dir / "first.jpg"),
                                         "taken.jpg", "the image", holdsTexture, refused);
    ASSERT_TRUE(placed);
    EXPECT_EQ(placed->kind, ErrorKind::ImageCreate);
    EXPECT_TRUE(fs::is_directory(dir / "taken.jpg"));
    EXPECT_TRUE(hiddenIn(dir.path()).empty());

    glintmark::ExtractJob job;
    LockedFolder listing(job, nullptr);
    EXPECT_TRUE(listing.placeLink(nullptr, "first.jpg", identityOf(dir / "first.jpg"), "b.jpg",
                                  "the image", holdsTexture, refused));
    std::error_code ec;
    EXPECT_EQ(listing.entry("first.jpg", ec).type, glintmark::FileType::Missing);
}

} // namespace
