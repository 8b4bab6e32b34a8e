// The bytes a run read, kept to be decoded after it: a regular source read again through its
// own handle, a pipe's images copied to an unnamed temporary file, each read back exactly.
#include "FeaturesTestSupport.h"

#include "features/check/ImageBytesStore.h"

#include "engine/io/PathText.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <thread>

#ifdef __linux__
#include <unistd.h>
#endif

namespace glintmark::featurestest {
namespace {

namespace fs = std::filesystem;
using features::ImageBytesStore;

std::string readBack(const ImageBytesStore& kept, std::uint64_t offset, std::size_t count,
                     std::error_code& ec)
{
    std::string bytes(count, '\0');
    bytes.resize(kept.readAt(offset, reinterpret_cast<unsigned char*>(bytes.data()), count, ec));
    return bytes;
}

// The temporary folder, TMPDIR on POSIX systems and TMP (then TEMP) on Windows, set to `folder`
// while it lives.
class TemporaryFolder
{
public:
    explicit TemporaryFolder(const std::string& folder)
    {
        for (const char* variable : {"TMPDIR", "TMP", "TEMP"})
            m_changed.push_back(std::make_unique<ScopedEnvironment>(variable, folder.c_str()));
    }

private:
    std::vector<std::unique_ptr<ScopedEnvironment>> m_changed;
};

// Whether `message` is the failure to keep a pipe's images in `folder`, ending in `reason`. The
// folder is named as the system names it (under Wine a drive path such as Z:\work\...), so
// only its last two names are compared.
bool namesTheFolder(const std::string& message, const fs::path& folder, const std::string& reason)
{
    const std::string start = "Cannot keep the images of \"level.ldb\" in a temporary file in \"";
    const std::string end = displayPath(folder.parent_path().filename() / folder.filename()) +
                            "\" to decode them: " + reason;
    return message.rfind(start, 0) == 0 && message.find(end) != std::string::npos;
}

FileIdentity pipeIdentity()
{
    FileIdentity pipe;
    pipe.type = FileType::Other;
    return pipe;
}

TEST(ImageBytesStore, ARegularSourceIsReadAgainThroughItsOwnHandle)
{
    const fs::path dir = freshTestFolder();
    const std::string bytes = readBytes(demoLdb());
    writeBytes(dir / "level.ldb", bytes);
    ImageBytesStore kept;
    {
        std::error_code ec;
        const RawFile source = RawFile::openForReading(dir / "level.ldb", ec);
        ASSERT_FALSE(ec);
        kept.sourceOpened(source, source.identity(ec));
        // Bytes that were never seen are not a problem for a source that is read again.
        kept.imageBytes(900, bytes.data(), 10);
    } // the run's handle is closed
#ifndef _WIN32
    // The name is gone too: the bytes come from the open file, never from its name.
    fs::rename(dir / "level.ldb", dir / "moved.ldb");
    writeBytes(dir / "level.ldb", std::string(bytes.size(), 'x'));
#endif
    EXPECT_FALSE(kept.problem(dir / "level.ldb").has_value());
    EXPECT_FALSE(kept.sourceChanged()) << "moved, not written to";
    struct Case
    {
        std::uint64_t offset;
        std::size_t count;
        std::size_t expected;
    };
    const Case cases[] = {
        {0, 100, 100},
        {demoOffset(1), demoEnd(1), demoEnd(1)},
        {bytes.size() - 1, 1, 1},
        {bytes.size() - 10, 100, 10},
        {bytes.size(), 5, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.offset);
        std::error_code ec;
        const std::string got = readBack(kept, c.offset, c.count, ec);
        EXPECT_FALSE(ec) << ec.message();
        EXPECT_TRUE(got == bytes.substr(c.offset, c.expected));
    }
}

// Written to after it was opened, a source read again may not hold the bytes the run read.
TEST(ImageBytesStore, ASourceWrittenToSinceItWasOpenedHasChanged)
{
    const fs::path dir = freshTestFolder();
    writeBytes(dir / "level.ldb", readBytes(demoLdb()));
    std::error_code ec;
    RawFile source = RawFile::openForReading(dir / "level.ldb", ec);
    ASSERT_FALSE(ec);
    ImageBytesStore kept;
    kept.sourceOpened(source, source.identity(ec));
    EXPECT_FALSE(kept.sourceChanged());
    // The same length, a byte different: only the time of the write tells. File times tick
    // coarsely, so the write is dated a second on, as a change made later would be.
    std::fstream file(dir / "level.ldb", std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(4000);
    file.put('x');
    file.close();
    fs::last_write_time(dir / "level.ldb",
                        fs::last_write_time(dir / "level.ldb") + std::chrono::seconds(1));
    EXPECT_TRUE(kept.sourceChanged());

    // A copy of a pipe's images is the run's own: it never changes.
    ImageBytesStore copied;
    copied.sourceOpened(RawFile(), pipeIdentity());
    copied.imageBytes(0, "abc", 3);
    EXPECT_FALSE(copied.sourceChanged());
}

TEST(ImageBytesStore, SeveralThreadsReadAtOnce)
{
    const fs::path dir = freshTestFolder();
    const std::string bytes = readBytes(demoLdb());
    writeBytes(dir / "level.ldb", bytes);
    std::error_code ec;
    const RawFile source = RawFile::openForReading(dir / "level.ldb", ec);
    ImageBytesStore kept;
    kept.sourceOpened(source, source.identity(ec));
    std::vector<std::thread> readers;
    std::vector<int> wrong(11, 0);
    for (int number = 1; number <= 11; ++number) {
        readers.emplace_back([&, number] {
            for (int round = 0; round < 50; ++round) {
                std::error_code readError;
                if (readBack(kept, demoOffset(number), demoEnd(number), readError) !=
                    bytes.substr(demoOffset(number), demoEnd(number)))
                    ++wrong[static_cast<std::size_t>(number - 1)];
            }
        });
    }
    for (std::thread& reader : readers)
        reader.join();
    EXPECT_EQ(wrong, std::vector<int>(11, 0));
}

TEST(ImageBytesStore, APipesImagesAreCopiedAndReadBackAtTheirOffsets)
{
    const std::string bytes = readBytes(demoLdb());
    const std::uint64_t first = demoOffset(1);
    // The run hands the images on in pieces of any length, from the first signature on.
    for (const std::size_t piece :
         {std::size_t{1}, std::size_t{7}, std::size_t{4096}, std::size_t{1} << 20}) {
        SCOPED_TRACE(piece);
        ImageBytesStore kept;
        kept.sourceOpened(RawFile(), pipeIdentity());
        for (std::uint64_t at = first; at < bytes.size(); at += piece)
            kept.imageBytes(at, bytes.data() + at, std::min<std::size_t>(piece, bytes.size() - at));
        EXPECT_FALSE(kept.problem("-").has_value());
        for (int number = 1; number <= 11; ++number) {
            std::error_code ec;
            EXPECT_TRUE(readBack(kept, demoOffset(number), demoEnd(number), ec) ==
                        bytes.substr(demoOffset(number), demoEnd(number)))
                << "image " << number;
            EXPECT_FALSE(ec);
        }
        std::error_code ec;
        EXPECT_TRUE(readBack(kept, first, 1, ec) == bytes.substr(first, 1));
        EXPECT_TRUE(readBack(kept, bytes.size() - 3, 10, ec) == bytes.substr(bytes.size() - 3));
        EXPECT_EQ(readBack(kept, bytes.size(), 10, ec), "");
        EXPECT_FALSE(ec);
        // Nothing before the first image was kept: reading there fails rather than give
        // other bytes.
        EXPECT_EQ(readBack(kept, first - 1, 10, ec), "");
        EXPECT_EQ(ec, std::make_error_code(std::errc::invalid_seek));
        EXPECT_EQ(readBack(kept, 0, 10, ec), "");
        EXPECT_EQ(ec, std::make_error_code(std::errc::invalid_seek));
    }
}

TEST(ImageBytesStore, ASourceThatReportsNoSizeIsCopiedLikeAPipe)
{
    const fs::path dir = freshTestFolder();
    writeBytes(dir / "level.ldb", std::string(5000, 'r'));
    std::error_code ec;
    const RawFile source = RawFile::openForReading(dir / "level.ldb", ec);
    FileIdentity identity = source.identity(ec);
    identity.size = 0;
    ImageBytesStore kept;
    kept.sourceOpened(source, identity);
    kept.imageBytes(300, "copied", 6);
    EXPECT_EQ(readBack(kept, 300, 6, ec), "copied");
    EXPECT_EQ(readBack(kept, 299, 6, ec), "");
    EXPECT_EQ(ec, std::make_error_code(std::errc::invalid_seek));
}

TEST(ImageBytesStore, AGapInTheCopiedBytesIsAProblemNotWrongBytes)
{
    const fs::path dir = freshTestFolder();
    const TemporaryFolder chosen(dir.string());
    ImageBytesStore kept;
    kept.sourceOpened(RawFile(), pipeIdentity());
    kept.imageBytes(100, "abcdef", 6);
    kept.imageBytes(107, "ghijkl", 6); // byte 106 never came
    kept.imageBytes(106, "g", 1);      // nor does anything count after the gap
    const std::optional<ExtractError> problem = kept.problem("level.ldb");
    ASSERT_TRUE(problem.has_value());
    EXPECT_EQ(problem->kind, ErrorKind::SourceRead);
    EXPECT_TRUE(namesTheFolder(problem->message, dir,
                               std::make_error_code(std::errc::invalid_seek).message()))
        << problem->message;
    std::error_code ec;
    EXPECT_EQ(readBack(kept, 100, 6, ec), "");
    EXPECT_EQ(ec, std::make_error_code(std::errc::invalid_seek));
}

TEST(ImageBytesStore, TheCopyGoesToTheTemporaryFolderTheEnvironmentNames)
{
    const fs::path dir = freshTestFolder();
    {
        const TemporaryFolder missing((dir / "missing").string());
        ImageBytesStore kept;
        kept.sourceOpened(RawFile(), pipeIdentity());
        kept.imageBytes(0, "abc", 3);
        const std::optional<ExtractError> problem = kept.problem("level.ldb");
        ASSERT_TRUE(problem.has_value());
        // The folder is named: it is the environment's, not one the program picked.
        EXPECT_TRUE(namesTheFolder(problem->message, dir / "missing", "")) << problem->message;
        std::error_code ec;
        EXPECT_EQ(readBack(kept, 0, 3, ec), "");
        EXPECT_TRUE(ec);
    }
    fs::create_directories(dir / "temporary");
    const TemporaryFolder chosen((dir / "temporary").string());
    ImageBytesStore kept;
    kept.sourceOpened(RawFile(), pipeIdentity());
    kept.imageBytes(0, "abc", 3);
    EXPECT_FALSE(kept.problem("level.ldb").has_value());
    std::error_code ec;
    EXPECT_EQ(readBack(kept, 0, 3, ec), "abc");
#ifdef _WIN32
    // Windows has no file without a name: it is there until its last handle closes.
    const std::vector<std::string> names = entriesIn(dir / "temporary");
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0].rfind("glintmark-", 0), 0u) << names[0];
#else
    EXPECT_EQ(entriesIn(dir / "temporary"), std::vector<std::string>{}) << "no name leads to it";
#endif
#ifdef __linux__
    // The open file without a name lives in the chosen folder.
    bool inChosen = false;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        std::error_code linkError;
        const std::string target = fs::read_symlink(entry.path(), linkError).string();
        inChosen = inChosen || target.rfind((dir / "temporary").string() + "/", 0) == 0;
    }
    EXPECT_TRUE(inChosen);
#endif
}

TEST(ImageBytesStore, ARegularSourceThatCannotBeOpenedAgainIsAProblem)
{
    ImageBytesStore kept;
    FileIdentity regular;
    regular.type = FileType::Regular;
    regular.size = 1000;
    kept.sourceOpened(RawFile(), regular); // no open handle to take a second of
    const std::optional<ExtractError> problem = kept.problem("level.ldb");
    ASSERT_TRUE(problem.has_value());
    EXPECT_EQ(problem->message.rfind("Cannot read the images back from \"level.ldb\" to decode "
                                     "them: ",
                                     0),
              0u)
        << problem->message;
}

} // namespace
} // namespace glintmark::featurestest
