#include "EngineTestSupport.h"

#include "engine/run/ImageSink.h"
#include "engine/run/OutputFolder.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

using namespace enginetest;
using glintmark::ExtractJob;
using glintmark::ImageSink;
using glintmark::OutputFolder;
using glintmark::RawFile;
using glintmark::RunMode;

// A real image with an end marker, encoded by cjpeg when the tests were built.
std::string imageWithEnd()
{
    static const std::string image = readFile(fs::path(GLINTMARK_TEST_JPEGS) / "baseline.jpg");
    return image;
}

// A folder ready for a run, and a sink writing into it.
struct SinkAt
{
    TempDir dir;
    ExtractJob job;
    std::unique_ptr<OutputFolder> folder;
    Recorder heard;

    explicit SinkAt(bool trim, unsigned writers = 1)
    {
        writeFile(dir / "level.ldb", signature());
        fs::create_directories(dir / "out");
        job = makeJob(dir / "level.ldb", dir / "out");
        job.trim = trim;
        job.writers = writers;
        std::error_code ec;
        const RawFile source = RawFile::openForReading(dir / "level.ldb", ec);
        folder = std::make_unique<OutputFolder>(source.identity(ec));
        EXPECT_FALSE(folder->prepare(job));
    }
};

// Each image is written whole (or through its end, trimmed) under its number, reported once it
// is in place, and nothing of an image that is not finished stays; by the sink itself or by
// writers beside it.
TEST(ImageSink, WritesFinishedImagesAndDropsTheRest)
{
    const std::string whole = imageWithEnd() + "trailing";
    for (const unsigned writers : {1u, 2u})
        for (const bool trim : {false, true}) {
            SCOPED_TRACE(std::string(trim ? "trimmed" : "whole") + ", writers " +
                         std::to_string(writers));
            SinkAt at(trim, writers);
            {
                ImageSink sink(at.job, RunMode::Write, &at.heard, at.folder.get());
                ASSERT_FALSE(sink.begin(100));
                // In pieces, split inside the end marker.
                const std::size_t split = imageWithEnd().size() - 1;
                ASSERT_FALSE(sink.append(whole.data(), split));
                ASSERT_FALSE(sink.append(whole.data() + split, whole.size() - split));
                if (writers == 1) { // a writer beside the sink may not have begun yet
                    EXPECT_TRUE(filesIn(at.dir / "out").count(".Vorlesk_0001.jpg.part"));
                }
                EXPECT_TRUE(at.heard.images.empty()); // nothing is told before it is in place
                ASSERT_FALSE(sink.finish());
                // Written beside the sink, an image is told only once the sink takes it back
                // from the writers: at the next image, or here.
                EXPECT_EQ(sink.completed(), writers > 1 ? 0u : 1u);
                ASSERT_FALSE(sink.settle());
                EXPECT_EQ(sink.completed(), 1u);
                EXPECT_FALSE(sink.isOpen());

                ASSERT_FALSE(sink.begin(1000));
                ASSERT_FALSE(sink.append(whole.data(), 5));
                sink.abandon(); // the second goes, the first stays
                ASSERT_FALSE(sink.begin(2000));
                ASSERT_FALSE(sink.append(whole.data(), 7));
            } // and so does one still open when the sink goes
            const auto files = filesIn(at.dir / "out");
            ASSERT_EQ(files.size(), 1u);
            EXPECT_EQ(files.at("Vorlesk_0001.jpg"), trim ? imageWithEnd() : whole);
            ASSERT_EQ(at.heard.images.size(), 1u);
            const glintmark::ImageInfo& told = at.heard.images[0];
            EXPECT_EQ(told.number, 1u);
            EXPECT_EQ(told.offset, 100u);
            EXPECT_EQ(told.size, whole.size());
            EXPECT_EQ(told.written, trim ? imageWithEnd().size() : whole.size());
            EXPECT_EQ(told.file, reportedPath(at.dir / "out", "Vorlesk_0001.jpg"));
            ASSERT_TRUE(told.jpeg.end.has_value());
            EXPECT_EQ(*told.jpeg.end, imageWithEnd().size());
        }
}

// In list mode nothing is created, but every image is measured and numbered as if written.
TEST(ImageSink, ListModeMeasuresAndWritesNothing)
{
    SinkAt at(true);
    const std::string whole = imageWithEnd() + "trailing";
    {
        ImageSink sink(at.job, RunMode::ListOnly, &at.heard, nullptr);
        for (std::uint64_t offset : {0u, 500u}) {
            ASSERT_FALSE(sink.begin(offset));
            ASSERT_FALSE(sink.append(whole.data(), whole.size()));
            ASSERT_FALSE(sink.finish());
        }
    }
    EXPECT_TRUE(filesIn(at.dir / "out").empty());
    ASSERT_EQ(at.heard.images.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(at.heard.images[i].number, i + 1);
        EXPECT_EQ(at.heard.images[i].size, whole.size());
        EXPECT_EQ(at.heard.images[i].written, imageWithEnd().size());
        EXPECT_TRUE(at.heard.images[i].file.empty());
    }
    EXPECT_EQ(at.heard.images[1].offset, 500u);
}

} // namespace
