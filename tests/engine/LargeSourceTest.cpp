#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

using namespace enginetest;

// Where the big sparse file goes: memory-backed storage reads its holes without filling the page
// cache, which keeps this test at a second or two; elsewhere the test's own temp folder.
fs::path sparseBase()
{
    std::error_code ec;
    if (fs::is_directory("/dev/shm", ec))
        return "/dev/shm";
    return GLINTMARK_TEST_TMP;
}

// A sparse source just over 4 GiB: one signature straddles the 4 GiB mark and another starts a
// block past it, so the images stay small while every offset and count has to go past 32 bits.
TEST(LargeSource, CutsImagesAroundAndPastTheFourGibMark)
{
    constexpr std::uint64_t mark = std::uint64_t{1} << 32;
    constexpr std::uint64_t signatureAt = mark - 4;
    constexpr std::uint64_t secondAt = mark + glintmark::kDefaultBlockSize + 100;
    const std::string tail = "end of the level";
    const std::uint64_t size = secondAt + 10 + tail.size();

    TempDir sparse(sparseBase());
    TempDir dir;
    const fs::path source = sparse / "huge.ldb";
    const fs::path out = dir / "out";
    fs::create_directory(out);
    {
        std::ofstream file(source, std::ios::binary);
    }
    for (const std::uint64_t at : {signatureAt, secondAt}) {
        fs::resize_file(source, at);
        std::ofstream file(source, std::ios::binary | std::ios::app);
        file << signature() << tail;
    }
    ASSERT_EQ(fs::file_size(source), size);

    Recorder recorder;
    const auto result = glintmark::runExtraction(makeJob(source, out), &recorder);

    ASSERT_EQ(result.status, glintmark::RunStatus::Completed);
    EXPECT_EQ(result.count, 2U);
    ASSERT_EQ(recorder.images.size(), 2U);
    EXPECT_EQ(recorder.images[0].offset, signatureAt);
    EXPECT_EQ(recorder.images[0].size, secondAt - signatureAt);
    EXPECT_EQ(recorder.images[1].offset, secondAt);
    EXPECT_EQ(recorder.images[1].size, 10 + tail.size());
    const std::string gap(secondAt - signatureAt - 10 - tail.size(), '\0');
    EXPECT_EQ(readFile(out / "Vorlesk_0001.jpg"), signature() + tail + gap);
    EXPECT_EQ(readFile(out / "Vorlesk_0002.jpg"), signature() + tail);
    ASSERT_FALSE(recorder.progress.empty());
    EXPECT_EQ(recorder.progress.back().bytesRead, size);
    EXPECT_EQ(recorder.progress.back().sourceSize, size);
    EXPECT_EQ(recorder.progress.back().percent, 100);
    EXPECT_LT(recorder.progress[recorder.progress.size() / 2].percent, 100);
}

} // namespace
