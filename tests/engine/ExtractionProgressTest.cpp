#include "EngineTestSupport.h"

#include "engine/Percent.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

using namespace enginetest;
using glintmark::RunStatus;

struct RunShape
{
    std::size_t size;
    std::size_t block;
};

TEST(ExtractionProgress, ReportsEveryBlockInOrderAndEndsAtHundred)
{
    const RunShape shapes[] = {{0, 16}, {5, 16}, {16, 16}, {17, 16}, {1000, 7}, {3000, 1000}};
    for (const RunShape& shape : shapes) {
        SCOPED_TRACE(std::to_string(shape.size) + " bytes in blocks of " +
                     std::to_string(shape.block));
        TempDir dir;
        std::string stream(shape.size, 'x');
        for (std::size_t at = 0; at + 10 <= shape.size; at += 300)
            stream.replace(at, 10, signature());
        writeFile(dir / "level.ldb", stream);
        Recorder recorder;
        const auto result = glintmark::runExtraction(
            makeJob(dir / "level.ldb", dir.path(), shape.block), &recorder);
        ASSERT_EQ(result.status, RunStatus::Completed);

        const std::size_t blocks =
            shape.size == 0 ? 1 : (shape.size + shape.block - 1) / shape.block;
        ASSERT_EQ(recorder.progress.size(), blocks);
        for (std::size_t i = 0; i < recorder.progress.size(); ++i) {
            const auto& p = recorder.progress[i];
            EXPECT_EQ(p.sourceSize, shape.size);
            EXPECT_EQ(p.bytesRead, std::min<std::uint64_t>((i + 1) * shape.block, shape.size));
            EXPECT_EQ(p.percent, glintmark::percentOf(p.bytesRead, shape.size));
            if (i > 0) {
                EXPECT_GE(p.percent, recorder.progress[i - 1].percent);
                EXPECT_GE(p.imagesCompleted, recorder.progress[i - 1].imagesCompleted);
            }
        }
        EXPECT_EQ(recorder.progress.back().percent, 100);
    }
}

TEST(ExtractionProgress, StoppingKeepsOnlyTheCompleteImages)
{
    std::string stream;
    for (int i = 0; i < 6; ++i)
        stream += signature() + std::string(static_cast<std::size_t>(15 + 11 * i), 'a');
    const auto all = referenceCut(stream);
    const std::size_t block = 16;
    const std::size_t blocks = (stream.size() + block - 1) / block;
    for (std::size_t stopAt = 1; stopAt <= blocks; ++stopAt) {
        SCOPED_TRACE("stopped after block " + std::to_string(stopAt));
        TempDir dir;
        const fs::path out = dir / "out";
        fs::create_directory(out);
        writeFile(dir / "level.ldb", stream);
        Recorder recorder;
        recorder.stopAfter = stopAt;
        const auto result =
            glintmark::runExtraction(makeJob(dir / "level.ldb", out, block), &recorder);

        EXPECT_EQ(result.status, RunStatus::Stopped);
        EXPECT_FALSE(result.error.has_value());
        EXPECT_EQ(recorder.progress.size(), stopAt);
        EXPECT_EQ(result.count, recorder.images.size());
        EXPECT_EQ(result.count, recorder.progress.back().imagesCompleted);
        const decltype(all) kept(all.begin(), all.begin() + static_cast<long>(result.count));
        EXPECT_EQ(filesIn(out), expectedFiles(kept));
    }
}

} // namespace
