#include "EngineTestSupport.h"

#include "engine/io/RawDir.h"
#include "engine/run/WriterPool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace enginetest;
using glintmark::ErrorKind;
using glintmark::RunStatus;

// A real image with an end marker, encoded by cjpeg when the tests were built.
std::string realImage()
{
    static const std::string image = readFile(fs::path(GLINTMARK_TEST_JPEGS) / "baseline.jpg");
    return image;
}

// Filler that holds no signature.
std::string junk(std::size_t count, char seed = 'a')
{
    std::string bytes(count, seed);
    for (std::size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<char>(seed + static_cast<char>(i % 23));
    return bytes;
}

// A level that keeps several writers busy at once: many small images, adjacent signatures,
// real images with bytes behind their end, and one image larger than a writer waits for before
// it takes it (so it is written while it is read).
std::string busyLevel()
{
    std::string level = junk(37);
    for (int i = 0; i < 60; ++i) {
        level += signature() + junk(static_cast<std::size_t>(5 + 97 * (i % 7)));
        if (i % 10 == 3)
            level += signature() + signature(); // two images of nothing but their signature
        if (i % 10 == 6)
            level += realImage() + junk(40, 'k');
        if (i == 30)
            level += signature() + junk(glintmark::kStreamFrom + 300000, 'm');
    }
    return level;
}

// What `--trim` keeps of `image`: through the end marker of a real image, all of the others.
std::string trimmed(const std::string& image)
{
    if (image.compare(0, realImage().size(), realImage()) == 0)
        return realImage();
    return image;
}

// Records, beside what a Recorder does, how many threads the process has while the run goes.
struct ThreadCounter : Recorder
{
    std::size_t most = 0;
    bool onProgress(const glintmark::Progress& p) override
    {
#ifdef __linux__
        const auto threads = static_cast<std::size_t>(
            std::distance(fs::directory_iterator("/proc/self/task"), fs::directory_iterator()));
        most = std::max(most, threads);
#endif
        return Recorder::onProgress(p);
    }
};

// Every writer count and block size cuts exactly as the reference cut does, trimmed or not,
// reporting each image once it is in place and in the source's order, with the count and the
// progress agreeing; nothing hidden is left behind.
TEST(WriterPool, EveryWriterCountWritesTheSameImagesInOrder)
{
    const std::string level = busyLevel();
    const auto all = referenceCut(level);
    for (const unsigned writers : {1u, 2u, 3u, 8u})
        for (const std::size_t block :
             {std::size_t{61}, std::size_t{4096}, glintmark::kDefaultBlockSize})
            for (const bool trim : {false, true}) {
                SCOPED_TRACE("writers " + std::to_string(writers) + ", block " +
                             std::to_string(block) + (trim ? ", trimmed" : ""));
                TempDir dir;
                writeFile(dir / "level.ldb", level);
                fs::create_directory(dir / "out");
                auto job = makeJob(dir / "level.ldb", dir / "out", block);
                job.writers = writers;
                job.trim = trim;
                ThreadCounter recorder;
                const auto result = glintmark::runExtraction(job, &recorder);
#ifdef __linux__
                // The run's own thread, and as many writers beside it as asked for.
                EXPECT_EQ(recorder.most, writers > 1 ? writers + 1 : 1u);
#endif

                ASSERT_EQ(result.status, RunStatus::Completed)
                    << (result.error ? result.error->message : "");
                ASSERT_EQ(result.count, all.size());
                std::map<std::string, std::string> expected;
                for (std::size_t i = 0; i < all.size(); ++i)
                    expected[imageName(i + 1)] = trim ? trimmed(all[i].bytes) : all[i].bytes;
                EXPECT_EQ(filesIn(dir / "out"), expected);
                ASSERT_EQ(recorder.images.size(), all.size());
                for (std::size_t i = 0; i < all.size(); ++i) {
                    EXPECT_EQ(recorder.images[i].number, i + 1);
                    EXPECT_EQ(recorder.images[i].offset, all[i].offset);
                    EXPECT_EQ(recorder.images[i].size, all[i].bytes.size());
                    EXPECT_EQ(recorder.images[i].written, expected[imageName(i + 1)].size());
                }
            }
}

// A stop after any block, with images still on their way to the writers: the run ends with
// every image it read whole in place, the count its last progress gave, and nothing else.
TEST(WriterPool, AStopKeepsWhatWasReadWholeWhileLaterImagesAreWritten)
{
    const std::string level = busyLevel();
    const auto all = referenceCut(level);
    const std::size_t block = 2048;
    const std::size_t blocks = (level.size() + block - 1) / block;
    for (const unsigned writers : {2u, 3u}) {
        for (std::size_t stopAt = 1; stopAt <= blocks; stopAt += 97) {
            SCOPED_TRACE("writers " + std::to_string(writers) + ", stopped after block " +
                         std::to_string(stopAt));
            TempDir dir;
            writeFile(dir / "level.ldb", level);
            fs::create_directory(dir / "out");
            auto job = makeJob(dir / "level.ldb", dir / "out", block);
            job.writers = writers;
            Recorder recorder;
            recorder.stopAfter = stopAt;
            const auto result = glintmark::runExtraction(job, &recorder);

            EXPECT_EQ(result.status, RunStatus::Stopped);
            EXPECT_FALSE(result.error.has_value());
            EXPECT_EQ(result.count, recorder.progress.back().imagesCompleted);
            EXPECT_EQ(result.count, recorder.images.size());
            const decltype(all) kept(all.begin(), all.begin() + static_cast<long>(result.count));
            EXPECT_EQ(filesIn(dir / "out"), expectedFiles(kept));
        }
    }
}

// An image that cannot be created while the writers work on the images after it: the run fails
// naming it, keeps every image before it, and none after it, not even one already written; an
// earlier run's image after it is left as it was.
TEST(WriterPool, AFailedImageKeepsNoneAfterItWhateverTheOtherWritersDid)
{
    const std::string level = busyLevel();
    const auto all = referenceCut(level);
    for (const unsigned writers : {1u, 2u, 3u}) {
        for (const std::size_t failing : {std::size_t{1}, std::size_t{9}, std::size_t{40}}) {
            SCOPED_TRACE("writers " + std::to_string(writers) + ", image " +
                         std::to_string(failing) + " fails");
            TempDir dir;
            writeFile(dir / "level.ldb", level);
            fs::create_directories(dir / "out" / imageName(failing));
            writeFile(dir / "out" / imageName(failing + 1), "an earlier run's");
            auto job = makeJob(dir / "level.ldb", dir / "out", 4096);
            job.writers = writers;
            Recorder recorder;
            const auto result = glintmark::runExtraction(job, &recorder);

            EXPECT_EQ(result.status, RunStatus::Failed);
            ASSERT_TRUE(result.error.has_value());
            EXPECT_EQ(result.error->kind, ErrorKind::ImageCreate);
            EXPECT_EQ(result.error->file, dir / "out" / imageName(failing));
            EXPECT_EQ(result.count, failing - 1);
            EXPECT_EQ(recorder.images.size(), failing - 1);
            auto expected = expectedFiles(
                decltype(all)(all.begin(), all.begin() + static_cast<long>(failing - 1)));
            expected[imageName(failing + 1)] = "an earlier run's";
            EXPECT_EQ(filesIn(dir / "out"), expected);
            EXPECT_TRUE(fs::is_directory(dir / "out" / imageName(failing)));
        }
    }
}

#ifndef _WIN32
// A write that fails part way through a large image while the other writers finish the small
// ones after it: the error names that image and the system's reason, the count stops before
// it, and of the images after it, written or not, nothing stays. The run stops reading soon
// after the failure, not at the end of that image.
TEST(WriterPool, AWriteThatFailsKeepsNoneAfterIt)
{
    std::string level = signature() + "small";
    level += signature() + junk(12 << 20, 'q'); // beyond the cap, written while it is read
    for (int i = 0; i < 50; ++i)
        level += signature() + junk(static_cast<std::size_t>(10 + i), 'r');
    for (const unsigned writers : {1u, 2u, 3u}) {
        SCOPED_TRACE("writers " + std::to_string(writers));
        TempDir dir;
        writeFile(dir / "level.ldb", level);
        fs::create_directory(dir / "out");
        auto job = makeJob(dir / "level.ldb", dir / "out", 4096);
        job.writers = writers;
        const std::string said = runWithFileSizeLimit(job, 1 << 20);

        const std::string head = std::to_string(static_cast<int>(RunStatus::Failed)) + " " +
                                 std::to_string(static_cast<int>(ErrorKind::ImageWrite)) + " 1\n";
        EXPECT_EQ(said.substr(0, head.size()), head) << said;
        EXPECT_NE(said.find(imageName(2)), std::string::npos) << said;
        // Read at most the cap, what the writers may hold, and a block or two.
        const std::size_t second = said.find('\n') + 1;
        EXPECT_LT(std::stoull(said.substr(second)), std::uint64_t{6} << 20) << said;
        EXPECT_NE(said.find(std::strerror(EFBIG)), std::string::npos) << said;
        EXPECT_EQ(filesIn(dir / "out"),
                  (std::map<std::string, std::string>{{imageName(1), signature() + "small"}}));
    }
}
#endif

// Asks for links to the files of an earlier run as images are read whole, and can stop the run
// at the first progress after a given image was asked about.
struct Linker : Recorder
{
    std::map<std::uint64_t, glintmark::ImageLink> links; // by image number
    std::vector<std::uint64_t> asked;
    std::uint64_t stopAfterAsking = 0; // 0: never
    bool stopping = false;

    std::optional<glintmark::ImageLink> onImageRead(const glintmark::ImageInfo& image) override
    {
        asked.push_back(image.number);
        stopping = stopping || image.number == stopAfterAsking;
        const auto found = links.find(image.number);
        if (found == links.end())
            return std::nullopt;
        return found->second;
    }
    bool onProgress(const glintmark::Progress& p) override
    {
        return !stopping && Recorder::onProgress(p);
    }
};

// Five images, the fourth larger than a writer waits for before it takes it.
std::string linkLevel()
{
    return junk(37) + realImage() + junk(40, 'k') + signature() + junk(100, 'b') + signature() +
           junk(200, 'c') + signature() + junk(glintmark::kStreamFrom + 1000, 'm') + signature() +
           junk(50, 'd');
}

// An earlier run's images in `folder`, which the test then prepares, and links to them.
struct Earlier
{
    fs::path folder;
    std::shared_ptr<const glintmark::RawDir> dir;

    glintmark::FileIdentity identity(std::uint64_t number) const
    {
        std::error_code ec;
        return dir->entry(imageName(number), false, ec);
    }
    glintmark::ImageLink link(std::uint64_t number, const glintmark::FileIdentity& identity) const
    {
        return glintmark::ImageLink{dir, imageName(number), identity};
    }
};

Earlier extractEarlier(const TempDir& dir, const std::string& level)
{
    writeFile(dir / "level.ldb", level);
    fs::create_directory(dir / "earlier");
    auto job = makeJob(dir / "level.ldb", dir / "earlier");
    job.writers = 2;
    EXPECT_EQ(glintmark::runExtraction(job).status, RunStatus::Completed);
    std::error_code ec;
    Earlier earlier{dir / "earlier", std::make_shared<const glintmark::RawDir>(
                                         glintmark::RawDir::open(dir / "earlier", ec))};
    EXPECT_FALSE(ec);
    return earlier;
}

// An image read whole becomes a link to the earlier file it was given, only when that is still
// the file it was and holds exactly its bytes; otherwise its bytes are written, the refusal
// told. A large image a writer began writing before its end is written as it is.
TEST(WriterPool, AnImageBecomesALinkOnlyToAnEarlierFileThatHoldsItsBytes)
{
    TempDir dir;
    const std::string level = linkLevel();
    const auto all = referenceCut(level);
    const Earlier earlier = extractEarlier(dir, level);
    const fs::path old = earlier.folder;

    Linker linker;
    // 1: the same bytes, the same file.
    linker.links[1] = earlier.link(1, earlier.identity(1));
    // 2: the identity of another file.
    linker.links[2] = earlier.link(2, earlier.identity(3));
    // 3: the same file, written over with other bytes of its length since.
    std::string other = readFile(old / imageName(3));
    other.back() ^= 1;
    writeFile(old / imageName(3), other);
    linker.links[3] = earlier.link(3, earlier.identity(3));
    // 4: large: linked, unless its writer took it before its end (then written whole).
    linker.links[4] = earlier.link(4, earlier.identity(4));
    // 5: gone since.
    linker.links[5] = earlier.link(5, earlier.identity(5));
    fs::remove(old / imageName(5));

    fs::create_directory(dir / "out");
    auto job = makeJob(dir / "level.ldb", dir / "out");
    job.writers = 2;
    const auto result = glintmark::runExtraction(job, &linker);
    ASSERT_EQ(result.status, RunStatus::Completed);
    EXPECT_EQ(filesIn(dir / "out"), expectedFiles(all));
    EXPECT_EQ(linker.asked, (std::vector<std::uint64_t>{1, 2, 3, 4, 5}));

    const struct
    {
        std::uint64_t number;
        std::optional<bool> linked; // none: either, as the writers' timing has it
        bool refused;
    } rows[] = {
        {1, true, false}, {2, false, true}, {3, false, true}, {4, {}, false}, {5, false, true}};
    ASSERT_EQ(linker.images.size(), std::size(rows));
    for (const auto& row : rows) {
        SCOPED_TRACE("image " + std::to_string(row.number));
        const glintmark::ImageInfo& image = linker.images[row.number - 1];
        if (row.linked) {
            EXPECT_EQ(image.linked, *row.linked);
        }
        EXPECT_EQ(static_cast<bool>(image.linkRefused), row.refused);
        if (row.number != 5) {
            EXPECT_EQ(
                fs::equivalent(dir / "out" / imageName(row.number), old / imageName(row.number)),
                image.linked);
        }
    }
}

// One writer writes each image as it reads it: nothing is asked.
TEST(WriterPool, WithoutWritersNoLinkIsAskedFor)
{
    TempDir dir;
    const std::string level = linkLevel();
    const Earlier earlier = extractEarlier(dir, level);
    Linker linker;
    linker.links[1] = earlier.link(1, earlier.identity(1));
    fs::create_directory(dir / "out");
    auto job = makeJob(dir / "level.ldb", dir / "out");
    job.writers = 1;
    ASSERT_EQ(glintmark::runExtraction(job, &linker).status, RunStatus::Completed);
    EXPECT_TRUE(linker.asked.empty());
    EXPECT_FALSE(fs::equivalent(dir / "out" / imageName(1), earlier.folder / imageName(1)));
}

// A stop between an image's digest and its link: the images read whole stay, each linked one
// a link to its earlier file, and nothing hidden is left.
TEST(WriterPool, AStopBetweenADigestAndItsLinkLeavesWholeFilesOnly)
{
    const std::string level = linkLevel();
    const auto all = referenceCut(level);
    for (const std::size_t block : {std::size_t{512}, glintmark::kDefaultBlockSize}) {
        for (std::uint64_t stopAt = 1; stopAt <= 5; ++stopAt) {
            SCOPED_TRACE("block " + std::to_string(block) + ", stopped after asking about image " +
                         std::to_string(stopAt));
            TempDir dir;
            const Earlier earlier = extractEarlier(dir, level);
            Linker linker;
            for (std::uint64_t number = 1; number <= 5; ++number)
                linker.links[number] = earlier.link(number, earlier.identity(number));
            linker.stopAfterAsking = stopAt;
            fs::create_directory(dir / "out");
            auto job = makeJob(dir / "level.ldb", dir / "out", block);
            job.writers = 2;
            const auto result = glintmark::runExtraction(job, &linker);

            EXPECT_EQ(result.status, stopAt == 5 ? RunStatus::Completed : RunStatus::Stopped);
            EXPECT_EQ(result.count, linker.images.size());
            const decltype(all) kept(all.begin(), all.begin() + static_cast<long>(result.count));
            EXPECT_EQ(filesIn(dir / "out"), expectedFiles(kept));
            for (const glintmark::ImageInfo& image : linker.images) {
                if (image.number != 4) {
                    EXPECT_TRUE(image.linked) << image.number;
                }
                EXPECT_EQ(fs::equivalent(dir / "out" / imageName(image.number),
                                         earlier.folder / imageName(image.number)),
                          image.linked);
            }
        }
    }
}

} // namespace
