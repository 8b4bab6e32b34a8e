// One level's run with the check and the gallery: the job it makes, the order in which the
// events come, every image with its verdict, and what a stop or a failure leaves.
#include "FeaturesTestSupport.h"

#include "features/LevelExtraction.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>

#include <functional>
#include <thread>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace glintmark::featurestest {
namespace {

namespace fs = std::filesystem;
using features::LevelOutcome;
using features::LevelRunSettings;
using features::Phase;

// Writes down what it hears, one line per event, a run of progress of one phase as one line,
// and stops when `stop` says so.
struct Recorder : features::RunEvents
{
    std::vector<std::string> heard;
    std::vector<features::CheckedImage> images;
    std::function<bool(const Recorder&)> stop;

    void onProgress(Phase phase, const Progress&) override
    {
        add(std::string(features::phaseName(phase)) + " progress");
    }
    void onPhaseEnd(Phase phase) override { add(std::string(features::phaseName(phase)) + " end"); }
    void onImage(const features::CheckedImage& image) override
    {
        images.push_back(image);
        add("image " + std::to_string(image.number) + " " + features::decodeText(image));
    }
    bool keepGoing() override { return !stop || !stop(*this); }

    bool heardLine(const std::string& line) const
    {
        return std::find(heard.begin(), heard.end(), line) != heard.end();
    }

private:
    void add(const std::string& line)
    {
        // A phase may be said to end more than once; only the first end counts.
        if (line.ends_with(" end") && heardLine(line))
            return;
        if (heard.empty() || heard.back() != line)
            heard.push_back(line);
    }
};

// A level with an image that decodes, one that does not (the whole of it as a file would be fed
// to a decoder), a greyscale one and one cut between its progressive scans.
LevelBuilder mixedLevel()
{
    const std::string large = testJpeg("large_progressive");
    LevelBuilder level(9);
    level.filler(400).image(testJpeg("colour")).filler(100);
    level.image(flippedBitsImage());
    level.image(testJpeg("grey")).filler(20);
    level.image(large.substr(0, large.find("\xFF\xDA", large.find("\xFF\xDA") + 2)));
    return level;
}

// Each image's line with the referee's verdict, in number order.
std::vector<std::string> refereeLines(const LevelBuilder& level)
{
    std::vector<std::string> lines;
    for (const features::CheckedImage& image : imagesOf(level)) {
        const std::string bytes =
            level.bytes().substr(image.offset, image.jpeg.end.value_or(image.size));
        lines.push_back("image " + std::to_string(image.number) +
                        (referee(bytes).clean() ? " yes" : " no"));
    }
    return lines;
}

class LevelFolder : public ::testing::Test
{
protected:
    void SetUp() override
    {
        dir = freshTestFolder();
        level = mixedLevel();
        writeBytes(dir / "level.ldb", level.bytes());
    }

    LevelOutcome run(const LevelRunSettings& settings, Recorder& events)
    {
        return features::extractLevel(dir / "level.ldb", dir / "out", settings, events);
    }

    fs::path dir;
    LevelBuilder level{0};
};

TEST_F(LevelFolder, WithCheckAndGalleryTheEventsComeInOrder)
{
    Recorder events;
    const LevelOutcome outcome = run({RunMode::Write, false, true, true}, events);
    ASSERT_EQ(outcome.result.status, RunStatus::Completed)
        << (outcome.result.error ? outcome.result.error->message : "");
    EXPECT_EQ(outcome.result.count, 4u);
    EXPECT_EQ(outcome.source, dir / "level.ldb");
    EXPECT_EQ(outcome.folder, dir / "out");

    std::vector<std::string> expected = {"reading progress", "reading end", "decoding progress",
                                         "decoding end"};
    const std::vector<std::string> verdicts = refereeLines(level);
    EXPECT_EQ(verdicts,
              (std::vector<std::string>{"image 1 yes", "image 2 no", "image 3 yes", "image 4 no"}));
    expected.insert(expected.end(), verdicts.begin(), verdicts.end());
    EXPECT_EQ(events.heard, expected);

    // What the images' events carried is what the outcome holds, and the page shows it.
    ASSERT_EQ(outcome.images.size(), 4u);
    const std::string page = readBytes(dir / "out" / "index.html");
    for (std::size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i + 1);
        EXPECT_EQ(outcome.images[i].decodes, events.images[i].decodes);
        EXPECT_EQ(outcome.images[i].decodeError, events.images[i].decodeError);
        EXPECT_EQ(outcome.images[i].offset, level.offset(i));
        EXPECT_TRUE(readBytes(dir / "out" / imageName(i + 1)) == level.expectedFile(i));
        const std::string caption = *outcome.images[i].decodes
                                        ? "; decodes</i>"
                                        : "; does not decode: " + outcome.images[i].decodeError;
        EXPECT_NE(page.find(caption), std::string::npos) << caption;
    }
    EXPECT_EQ(outcome.images[1].decodeError, referee(flippedBitsImage()).message);
    EXPECT_EQ(entriesIn(dir / "out"),
              (std::vector<std::string>{"Vorlesk_0001.jpg", "Vorlesk_0002.jpg", "Vorlesk_0003.jpg",
                                        "Vorlesk_0004.jpg", "index.html"}));
}

TEST_F(LevelFolder, EachSettingShapesTheEvents)
{
    struct Case
    {
        const char* what;
        LevelRunSettings settings;
        std::vector<std::string> expected;
        std::vector<std::string> files; // in the output folder; none when it is not made
    };
    const std::vector<std::string> images = {"Vorlesk_0001.jpg", "Vorlesk_0002.jpg",
                                             "Vorlesk_0003.jpg", "Vorlesk_0004.jpg"};
    std::vector<std::string> withPage = images;
    withPage.push_back("index.html");
    const std::vector<Case> cases = {
        {"neither: each image as soon as it is complete",
         {RunMode::Write, false, false, false, 1},
         {"image 1 -", "image 2 -", "image 3 -", "reading progress", "image 4 -", "reading end"},
         images},
        {"neither, two writers: each image once they have written it and those before, in order",
         {RunMode::Write, false, false, false, 2},
         {"image 1 -", "image 2 -", "image 3 -", "image 4 -", "reading end"},
         images},
        {"the gallery alone: the images after the run, undecoded",
         {RunMode::Write, false, false, true},
         {"reading progress", "reading end", "image 1 -", "image 2 -", "image 3 -", "image 4 -"},
         withPage},
        {"the check when listing: nothing is written",
         {RunMode::ListOnly, false, true, false},
         {"reading progress", "reading end", "decoding progress", "decoding end", "image 1 yes",
          "image 2 no", "image 3 yes", "image 4 no"},
         {}},
        {"the gallery when listing: no page",
         {RunMode::ListOnly, false, false, true},
         {"image 1 -", "image 2 -", "image 3 -", "reading progress", "image 4 -", "reading end"},
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(dir / "out");
        Recorder events;
        const LevelOutcome outcome = run(c.settings, events);
        EXPECT_EQ(outcome.result.status, RunStatus::Completed);
        EXPECT_EQ(outcome.result.count, 4u);
        std::vector<std::string> heard = events.heard;
        // When the writers are done is theirs to say, not when the block's progress comes.
        if (c.settings.writers > 1)
            std::erase(heard, "reading progress");
        EXPECT_EQ(heard, c.expected);
        // Kept for the decoding, or for a page that is written.
        const bool kept =
            c.settings.check || (c.settings.gallery && c.settings.mode == RunMode::Write);
        EXPECT_EQ(outcome.images.size(), kept ? 4u : 0u);
        EXPECT_EQ(entriesIn(dir / "out"), c.files);
    }
}

TEST_F(LevelFolder, TrimWritesEachImageThroughItsEndMarker)
{
    Recorder events;
    const LevelOutcome outcome = run({RunMode::Write, true, false, false}, events);
    ASSERT_EQ(outcome.result.status, RunStatus::Completed);
    for (std::size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i + 1);
        const ImageInfo info = imageInfo(level.expectedFile(i));
        const std::string kept = level.expectedFile(i).substr(0, info.jpeg.end.value_or(info.size));
        EXPECT_TRUE(readBytes(dir / "out" / imageName(i + 1)) == kept);
    }
}

TEST_F(LevelFolder, TheFolderIsMadeWithItsParents)
{
    Recorder events;
    const LevelOutcome outcome = features::extractLevel(
        dir / "level.ldb", dir / "a" / "b" / "out", {RunMode::Write, false, false, false}, events);
    EXPECT_EQ(outcome.result.status, RunStatus::Completed);
    EXPECT_EQ(entriesIn(dir / "a" / "b" / "out").size(), 4u);
    // A source that cannot be opened makes nothing.
    const LevelOutcome missing = features::extractLevel(
        dir / "missing.ldb", dir / "c" / "out", {RunMode::Write, false, true, true}, events);
    EXPECT_EQ(missing.result.status, RunStatus::Failed);
    EXPECT_FALSE(fs::exists(dir / "c"));
}

// A stop while the images are decoded ends the run as stopped: the images stay, the page is not
// written, and the images not decoded by then have no verdict.
TEST_F(LevelFolder, AStopDuringDecodingEndsTheRunAsStopped)
{
    LevelBuilder large(4);
    large.image(testJpeg("colour")).image(claimingImage(5, 40000, 40000)).image(testJpeg("grey"));
    writeBytes(dir / "level.ldb", large.bytes());
    const ScopedEnvironment limit("GLINTMARK_CHECK_IMAGE_MIB", "4096");
    const ScopedEnvironment threads("GLINTMARK_CHECK_THREADS", "1");
    fs::create_directories(dir / "out");
    writeBytes(dir / "out" / "index.html", "the old page");
    Recorder events;
    events.stop = [](const Recorder& r) { return r.heardLine("decoding progress"); };
    const LevelOutcome outcome = run({RunMode::Write, false, true, true}, events);
    EXPECT_EQ(outcome.result.status, RunStatus::Stopped);
    EXPECT_EQ(outcome.result.count, 3u);
    EXPECT_EQ(readBytes(dir / "out" / "index.html"), "the old page");
    EXPECT_EQ(entriesIn(dir / "out").size(), 4u) << "the images stay, nothing hidden is left";
    ASSERT_EQ(outcome.images.size(), 3u);
    EXPECT_FALSE(outcome.images[1].decodes.has_value());
    EXPECT_FALSE(outcome.images[2].decodes.has_value());
    EXPECT_EQ(events.heard.back(), "image 3 -");
    EXPECT_TRUE(events.heardLine("decoding end"));
}

// A source written to after the run opened it may give the decoder other bytes than the run
// read and wrote: no verdict is given for any image, and each says why.
TEST_F(LevelFolder, ASourceChangedBeforeDecodingGetsNoVerdict)
{
    const std::uint64_t first = imagesOf(level).front().offset;
    for (const bool change : {false, true}) {
        SCOPED_TRACE(change ? "changed in place" : "left alone");
        writeBytes(dir / "level.ldb", level.bytes());
        fs::remove_all(dir / "out");
        Recorder events;
        bool changed = false;
        events.stop = [&](const Recorder& r) {
            if (change && !changed && r.heardLine("reading end")) {
                std::fstream file(dir / "level.ldb",
                                  std::ios::in | std::ios::out | std::ios::binary);
                file.seekp(static_cast<std::streamoff>(first + 200));
                file.write("\xFF\xD9garbage", 9);
                file.close();
                // File times tick coarsely: a write moments after the one that made the file
                // may carry its time; a change made later does not.
                fs::last_write_time(dir / "level.ldb", fs::last_write_time(dir / "level.ldb") +
                                                           std::chrono::seconds(1));
                changed = true;
            }
            return false;
        };
        const LevelOutcome outcome = run({RunMode::Write, false, true, false}, events);
        EXPECT_EQ(outcome.result.status, RunStatus::Completed);
        EXPECT_EQ(changed, change);
        ASSERT_EQ(outcome.images.size(), 4u);
        for (const features::CheckedImage& image : outcome.images) {
            SCOPED_TRACE(image.number);
            EXPECT_EQ(image.decodes.has_value(), !change);
            EXPECT_EQ(image.decodeError.find("the source changed") != std::string::npos, change)
                << image.decodeError;
        }
        // What was written is what the run read, changed source or not.
        EXPECT_TRUE(readBytes(dir / "out" / imageName(1)) ==
                    level.bytes().substr(first, outcome.images[0].size));
    }
}

TEST_F(LevelFolder, AStopWhileReadingDecodesNothing)
{
    Recorder events;
    events.stop = [](const Recorder& r) { return r.heardLine("reading progress"); };
    const LevelOutcome outcome = run({RunMode::Write, false, true, true}, events);
    EXPECT_EQ(outcome.result.status, RunStatus::Stopped);
    EXPECT_FALSE(events.heardLine("decoding progress"));
    EXPECT_FALSE(fs::exists(dir / "out" / "index.html"));
    for (const features::CheckedImage& image : outcome.images)
        EXPECT_FALSE(image.decodes.has_value());
}

// A run that fails after keeping some images still has those images decoded; its failure stays
// the one reported.
TEST_F(LevelFolder, TheImagesAFailedRunKeptAreStillDecoded)
{
    fs::create_directories(dir / "out" / imageName(3));
    for (const unsigned writers : {1u, 2u}) {
        SCOPED_TRACE("writers " + std::to_string(writers));
        fs::remove(dir / "out" / imageName(1));
        fs::remove(dir / "out" / imageName(2));
        Recorder events;
        const LevelOutcome outcome = run({RunMode::Write, false, true, false, writers}, events);
        ASSERT_EQ(outcome.result.status, RunStatus::Failed);
        ASSERT_TRUE(outcome.result.error.has_value());
        EXPECT_EQ(outcome.result.error->file, dir / "out" / imageName(3));
        EXPECT_EQ(outcome.result.count, 2u);
        // It failed inside its first block: written there, before any progress; written
        // beside the run, the block's progress may come first.
        std::vector<std::string> heard = events.heard;
        if (writers > 1 && !heard.empty() && heard.front() == "reading progress")
            heard.erase(heard.begin());
        EXPECT_EQ(heard, (std::vector<std::string>{"reading end", "decoding progress",
                                                   "decoding end", "image 1 yes", "image 2 no"}));
    }
}

#ifndef _WIN32
// A stop asked for while the run waits for a silent pipe ends the run there, as stopped, with
// the images already complete; it does not wait for the pipe's next bytes.
TEST_F(LevelFolder, AStopWhileASourceIsSilentEndsTheRun)
{
    const fs::path fifo = dir / "silent.ldb";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int writer = ::open(fifo.c_str(), O_RDWR);
    ASSERT_GE(writer, 0);
    // More than the run's first block: two images complete in it, the third runs on.
    LevelBuilder silent(5);
    silent.filler(100).image(testJpeg("colour")).filler(100).image(testJpeg("grey"));
    silent.image(testJpeg("taller")).fillerUpTo(70000);
    const std::string& bytes = silent.bytes();
    // The bytes go in as the run takes them (more than the pipe holds); should the stop go
    // unheard, the pipe ends after a while, so the test fails, not hangs.
    std::atomic<bool> ended{false};
    std::atomic<ssize_t> wrote{0};
    std::thread closer([writer, &ended, &bytes, &wrote] {
        wrote = ::write(writer, bytes.data(), bytes.size());
        for (int i = 0; i < 200 && !ended; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ::close(writer);
    });

    // The stop comes once the run has read what there is and waits for more.
    std::atomic<bool> stopped{false};
    std::thread stopper([&stopped] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        stopped = true;
    });

    Recorder events;
    events.stop = [&stopped](const Recorder&) { return stopped.load(); };
    const auto started = std::chrono::steady_clock::now();
    const LevelOutcome outcome =
        features::extractLevel(fifo, dir / "out", {RunMode::ListOnly}, events);
    const auto took = std::chrono::steady_clock::now() - started;
    ended = true;
    stopper.join();
    closer.join();
    EXPECT_EQ(wrote, static_cast<ssize_t>(bytes.size()));
    EXPECT_EQ(outcome.result.status, RunStatus::Stopped);
    EXPECT_EQ(outcome.result.count, 2u);
    EXPECT_LT(took, std::chrono::seconds(5));
}
#endif

} // namespace
} // namespace glintmark::featurestest
