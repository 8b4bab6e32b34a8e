#include "EngineTestSupport.h"

#include "engine/run/OutputFolder.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

using namespace enginetest;
using glintmark::ErrorKind;
using glintmark::ExtractJob;
using glintmark::FileIdentity;
using glintmark::OutputFolder;
using glintmark::RawFile;

// The identity of `file`, as a run that reads it has it.
FileIdentity identityOf(const fs::path& file)
{
    std::error_code ec;
    const RawFile opened = RawFile::openForReading(file, ec);
    EXPECT_FALSE(ec) << ec.message();
    const FileIdentity identity = opened.identity(ec);
    EXPECT_FALSE(ec) << ec.message();
    return identity;
}

// Writes `bytes` through a part file created by `folder` and puts it in place of `name`.
std::optional<glintmark::ExtractError> writeThrough(const OutputFolder& folder,
                                                    const fs::path& shown, const fs::path& name,
                                                    const std::string& bytes)
{
    const fs::path part = glintmark::temporaryName(name);
    std::error_code ec;
    RawFile file = folder.createPart(part, ec);
    EXPECT_FALSE(ec) << ec.message();
    file.writeAll(bytes.data(), bytes.size(), ec);
    EXPECT_FALSE(ec) << ec.message();
    file.close(ec);
    return folder.putInPlace(part, name, shown / name, "the image file");
}

// prepare() refuses, before anything is written, a folder that cannot be used or in which a name
// the run may replace or remove is the source itself; it creates the folder only when asked.
TEST(OutputFolder, PrepareRefusesWhatItCannotUseBeforeWritingAnything)
{
    struct Case
    {
        const char* what;
        bool create;          // the job asks for the folder to be created
        bool blocked;         // a plain file stands where the folder goes
        const char* sourceAt; // where the source is, inside the folder (else beside it)
        bool viaLink;         // the job names the source through a link beside the folder
        std::optional<ErrorKind> refused;
    };
    const Case cases[] = {
        {"missing, not created", false, false, nullptr, false, ErrorKind::OutputFolder},
        {"missing, created with its parents", true, false, nullptr, false, std::nullopt},
        {"a file where the folder goes", true, true, nullptr, false, ErrorKind::OutputFolder},
        {"the source under an image name", true, false, "Vorlesk_0002.jpg", false,
         ErrorKind::OutputIsSource},
        {"the source under a part name", true, false, ".Vorlesk_0002.jpg.part", false,
         ErrorKind::OutputIsSource},
        {"the source under a final file's name", true, false, "index.html", false,
         ErrorKind::OutputIsSource},
        {"the source under another name", true, false, "level.ldb", false, std::nullopt},
#ifndef _WIN32
        {"a link to the source under an image name", true, false, "Vorlesk_0003.jpg", true,
         ErrorKind::OutputIsSource},
#endif
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const fs::path out = dir / "a" / "b" / "out";
        if (c.blocked) {
            fs::create_directories(out.parent_path());
            writeFile(out, "not a folder");
        }
        fs::path source = dir / "level.ldb";
        if (c.sourceAt) {
            fs::create_directories(out);
            source = out / c.sourceAt;
        }
        writeFile(source, signature() + "data");
        fs::path named = source;
        if (c.viaLink) {
            named = dir / "link.ldb";
            fs::create_symlink(source, named);
        }
        ExtractJob job = makeJob(named, out);
        job.createFolder = c.create;
        job.finalFiles = {"index.html"};
        OutputFolder folder(identityOf(named));
        const auto error = folder.prepare(job);
        EXPECT_EQ(error ? std::optional<ErrorKind>(error->kind) : std::nullopt, c.refused)
            << (error ? error->message : "");
        EXPECT_EQ(fs::is_directory(out), !c.blocked && (c.create || c.sourceAt));
        // The source is never touched, and nothing is written beside it.
        EXPECT_EQ(readFile(source), signature() + "data");
#ifndef _WIN32 // where the lock is a hidden file of its own, it stands there too
        if (fs::is_directory(out)) {
            EXPECT_EQ(filesIn(out).size(), c.sourceAt ? 1u : 0u);
        }
#endif
    }
}

// One folder, one run: a second OutputFolder on it is refused while the first is alive, and
// welcome once it is gone.
TEST(OutputFolder, HoldsTheFolderLockedForAsLongAsItLives)
{
    TempDir dir;
    writeFile(dir / "level.ldb", signature());
    const ExtractJob job = makeJob(dir / "level.ldb", dir / "out");
    fs::create_directories(dir / "out");
    const FileIdentity source = identityOf(dir / "level.ldb");
    {
        OutputFolder first(source);
        ASSERT_FALSE(first.prepare(job));
        OutputFolder second(source);
        const auto busy = second.prepare(job);
        ASSERT_TRUE(busy);
        EXPECT_EQ(busy->kind, ErrorKind::OutputBusy);
        OutputFolder other(source);
        const auto busyToo = other.openLocked(dir / "out", "the folder", "run");
        ASSERT_TRUE(busyToo);
        EXPECT_EQ(busyToo->kind, ErrorKind::OutputBusy);
        EXPECT_NE(busyToo->message.find("Another run"), std::string::npos) << busyToo->message;
    }
    OutputFolder after(source);
    EXPECT_FALSE(after.prepare(job));
}

// prepare() sweeps what a run killed outright left behind: its own stem's and extension's part
// files and its final files' part names; nothing else, and never the source.
TEST(OutputFolder, PrepareSweepsOnlyThisRunsLeftovers)
{
    TempDir dir;
    writeFile(dir / "level.ldb", signature());
    const fs::path out = dir / "out";
    fs::create_directories(out);
    struct Entry
    {
        const char* name;
        bool swept;
    };
    const Entry entries[] = {
        {".Vorlesk_0001.jpg.part", true},
        {".Vorlesk_12345.jpg.part", true},
        {".index.html.part", true},
        {".Other_0001.jpg.part", false},
        {".Vorlesk_0001.png.part", false},
        {"Vorlesk_0001.jpg", false},
        {".Vorlesk_0001.jpg", false},
        {".Vorlesk_x.jpg.part", false},
        {"index.html", false},
    };
    for (const Entry& e : entries)
        writeFile(out / e.name, "old");
    ExtractJob job = makeJob(dir / "level.ldb", out);
    job.finalFiles = {"index.html"};
    OutputFolder folder(identityOf(dir / "level.ldb"));
    ASSERT_FALSE(folder.prepare(job));
    for (const Entry& e : entries)
        EXPECT_EQ(fs::exists(out / e.name), !e.swept) << e.name;
}

// A part file is created anew, and put in place of its name as an entry: whatever stood there
// is replaced, a link is never written through, a folder is refused, and so is the source.
TEST(OutputFolder, PutsPartsInPlaceAsEntriesNeverThroughThem)
{
    enum class There
    {
        Nothing,
        File,
        StalePart,
        LinkToOther,
        LinkToSource,
        Folder,
        Fifo
    };
    struct Case
    {
        const char* what;
        There there;
        bool refused;
    };
    const Case cases[] = {
        {"nothing there", There::Nothing, false},
        {"an older file", There::File, false},
        {"a part left behind", There::StalePart, false},
        {"a folder", There::Folder, true},
#ifndef _WIN32
        {"a link to another file", There::LinkToOther, false},
        {"a link to the source", There::LinkToSource, true},
        {"a pipe", There::Fifo, false},
#endif
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        writeFile(dir / "level.ldb", signature());
        writeFile(dir / "other.txt", "keep me");
        const fs::path out = dir / "out";
        fs::create_directories(out);
        const fs::path name = "Vorlesk_0001.jpg";
        switch (c.there) {
        case There::Nothing:
            break;
        case There::File:
            writeFile(out / name, "old image");
            break;
        case There::StalePart:
            writeFile(out / glintmark::temporaryName(name), "half an image");
            break;
        case There::Folder:
            fs::create_directories(out / name);
            break;
        case There::LinkToOther:
            fs::create_symlink(dir / "other.txt", out / name);
            break;
        case There::LinkToSource:
            fs::create_symlink(dir / "level.ldb", out / name);
            break;
        case There::Fifo:
#ifndef _WIN32
            ASSERT_EQ(::mkfifo((out / name).c_str(), 0600), 0);
#endif
            break;
        }
        OutputFolder folder(identityOf(dir / "level.ldb"));
        ASSERT_FALSE(folder.openLocked(out, "the output folder", "extraction"));
        EXPECT_EQ(folder.checkOccupant(name, out / name, "the image file").has_value(), c.refused);
        const auto error = writeThrough(folder, out, name, "new image");
        EXPECT_EQ(error.has_value(), c.refused) << (error ? error->message : "");
        if (error) {
            EXPECT_NE(error->message.find((out / name).string()), std::string::npos);
        }
        if (!c.refused) {
            EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(out / name)));
            EXPECT_EQ(readFile(out / name), "new image");
        }
        folder.discard(glintmark::temporaryName(name));
        EXPECT_FALSE(fs::exists(fs::symlink_status(out / glintmark::temporaryName(name))));
        EXPECT_EQ(readFile(dir / "other.txt"), "keep me");
        EXPECT_EQ(readFile(dir / "level.ldb"), signature());
    }
}

// Images of this stem and extension numbered beyond the count are the stale ones.
TEST(OutputFolder, CountsOnlyItsOwnImagesNumberedBeyondTheCount)
{
    TempDir dir;
    writeFile(dir / "level.ldb", signature());
    const fs::path out = dir / "out";
    fs::create_directories(out);
    for (const char* name : {"Vorlesk_0001.jpg", "Vorlesk_0002.jpg", "Vorlesk_0003.jpg",
                             "Vorlesk_0004.jpg", "Vorlesk_10000.jpg", "Other_0009.jpg",
                             "Vorlesk_0009.png", ".Vorlesk_0009.jpg.part", "Vorlesk_abcd.jpg"})
        writeFile(out / name, "x");
    const ExtractJob job = makeJob(dir / "level.ldb", out);
    OutputFolder folder(identityOf(dir / "level.ldb"));
    ASSERT_FALSE(folder.openLocked(out, "the output folder", "extraction"));
    const std::pair<std::uint64_t, std::uint64_t> counts[] = {{0, 5}, {2, 3},    {3, 2},
                                                              {4, 1}, {9999, 1}, {10000, 0}};
    for (const auto& [count, stale] : counts)
        EXPECT_EQ(folder.countStaleImages(job, count), stale) << "count " << count;
}

} // namespace
