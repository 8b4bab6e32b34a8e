#include "EngineTestSupport.h"

#include "engine/Extraction.h"
#include "engine/io/WaitInterrupt.h"
#include "engine/names/ImageNames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <random>
#include <thread>

#ifndef _WIN32
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

using namespace enginetest;
using glintmark::RunMode;
using glintmark::RunStatus;

// Runs `stream` through the engine with `blockSize` and checks the folder holds exactly the
// images of the reference cut, and that every image was reported as it was completed.
void expectCutLikeReference(const std::string& stream, std::size_t blockSize)
{
    SCOPED_TRACE("block size " + std::to_string(blockSize) + ", stream of " +
                 std::to_string(stream.size()) + " bytes");
    TempDir dir;
    const fs::path source = dir / "level.ldb";
    const fs::path out = dir / "out";
    writeFile(source, stream);
    fs::create_directory(out);

    Recorder recorder;
    const auto result = glintmark::runExtraction(makeJob(source, out, blockSize), &recorder);
    const auto expected = referenceCut(stream);

    ASSERT_EQ(result.status, RunStatus::Completed) << (result.error ? result.error->message : "");
    EXPECT_EQ(result.count, expected.size());
    EXPECT_EQ(filesIn(out), expectedFiles(expected));
    ASSERT_EQ(recorder.images.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(recorder.images[i].number, i + 1);
        EXPECT_EQ(recorder.images[i].offset, expected[i].offset);
        EXPECT_EQ(recorder.images[i].size, expected[i].bytes.size());
        EXPECT_EQ(recorder.images[i].file.native(), reportedPath(out, imageName(i + 1)).native());
    }
    EXPECT_EQ(readFile(source), stream) << "the source must never change";
}

std::string junk(std::size_t n, char fill = 'x')
{
    return std::string(n, fill);
}

struct StreamCase
{
    const char* name;
    std::string stream;
    std::size_t images; // how many the stream holds, as a check on the case itself
};

std::vector<StreamCase> streamCases()
{
    const std::string s = signature();
    const std::string partial = s.substr(0, 9);
    return {
        {"Empty", "", 0},
        {"NoSignature", junk(5000), 0},
        {"OnlyPartialSignatures", partial + junk(30) + partial, 0},
        {"SignatureOnly", s, 1},
        {"SignatureAtOffsetZero", s + junk(2500), 1},
        {"SignatureAtTheVeryEnd", junk(2500) + s, 1},
        {"ThreeAdjacentSignatures", s + s + s, 3},
        {"SeveralInOneBlock", junk(7) + s + "ab" + s + junk(100) + s + junk(3), 3},
        {"PartialThenWhole", junk(5) + partial + s + junk(20), 1},
        {"SignatureInsidePartial", s.substr(0, 2) + s + junk(4), 1},
        {"ExactMultipleOfBlock", junk(1000 - s.size()) + s + junk(1000), 1},
        {"EndsWithPartial", s + junk(30) + partial, 1},
        {"SignatureBytesAsJunk", std::string(40, '\xFF') + s + std::string(40, '\xD8'), 1},
    };
}

void PrintTo(const StreamCase& c, std::ostream* os)
{
    *os << c.name;
}

class StreamCases : public ::testing::TestWithParam<StreamCase>
{
};

TEST_P(StreamCases, CutsEveryBlockSizeLikeTheReference)
{
    const StreamCase& c = GetParam();
    ASSERT_EQ(referenceCut(c.stream).size(), c.images);
    for (const std::size_t blockSize : {1, 2, 3, 9, 10, 11, 16, 100, 1000, 4096})
        expectCutLikeReference(c.stream, blockSize);
    expectCutLikeReference(c.stream, glintmark::kDefaultBlockSize);
}

INSTANTIATE_TEST_SUITE_P(Synthetic, StreamCases, ::testing::ValuesIn(streamCases()),
                         [](const ::testing::TestParamInfo<StreamCase>& param) {
                             return std::string(param.param.name);
                         });

TEST(Extraction, SignatureStraddlingABlockBoundaryAtEverySplitPoint)
{
    constexpr std::size_t small = 32;
    for (std::size_t at = 0; at <= 2 * small; ++at)
        expectCutLikeReference(
            junk(at, 'a') + signature() + junk(small, 'b') + signature() + "tail", small);
    // Around the first boundary of larger blocks, from just before to just after the split.
    for (const std::size_t block : {std::size_t{4096}, glintmark::kDefaultBlockSize}) {
        for (std::size_t at = block - signature().size() - 1; at <= block + 1; ++at)
            expectCutLikeReference(junk(at, 'a') + signature() + "tail", block);
    }
}

// Random streams made mostly of signature bytes, with whole and partial signatures planted.
std::string randomStream(std::mt19937& rng)
{
    const std::string s = signature();
    std::uniform_int_distribution<int> length(0, 3000);
    std::uniform_int_distribution<int> pick(0, 99);
    std::string stream;
    const auto target = static_cast<std::size_t>(length(rng));
    while (stream.size() < target) {
        const int p = pick(rng);
        if (p < 3)
            stream += s;
        else if (p < 8)
            stream += s.substr(0, static_cast<std::size_t>(1 + pick(rng) % 9));
        else if (p < 60)
            stream += s[static_cast<std::size_t>(pick(rng)) % s.size()];
        else
            stream += static_cast<char>(pick(rng) * 2);
    }
    return stream;
}

TEST(Extraction, MatchesTheReferenceOnRandomStreams)
{
    for (std::uint32_t seed = 1; seed <= 60; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 rng(seed);
        const std::string stream = randomStream(rng);
        const std::size_t blockSizes[] = {1, 7, 10, 13, 64, 1000};
        expectCutLikeReference(stream, blockSizes[seed % std::size(blockSizes)]);
        if (HasFatalFailure())
            return;
    }
}

#ifndef _WIN32
// Writes `stream` into the pipe `fifo` in small pieces with a pause before each, once a reader
// has opened it; stops when the reader goes away. True when the reader came within ten seconds.
bool feedPipeSlowly(const fs::path& fifo, const std::string& stream)
{
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr); // a gone reader gives EPIPE instead
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int fd = -1;
    while ((fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC)) < 0) {
        if (errno != ENXIO || std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    constexpr std::size_t piece = 37;
    for (std::size_t at = 0; at < stream.size(); at += piece) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const std::size_t count = std::min(piece, stream.size() - at);
        if (::write(fd, stream.data() + at, count) != static_cast<ssize_t>(count))
            break;
    }
    ::close(fd);
    return true;
}

// A pipe hands over only what has been put into it so far; the run must read on to its end.
TEST(Extraction, ReadsAPipeFedInSmallDelayedPiecesToTheEnd)
{
    TempDir dir;
    const fs::path fifo = dir / "level.ldb";
    fs::create_directory(dir / "out");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0) << std::strerror(errno);
    const std::string stream = junk(5) + signature() + junk(700, 'a') + signature() + "two" +
                               junk(1500, 'b') + signature() + "end";

    bool readerCame = false;
    std::thread writer([&] { readerCame = feedPipeSlowly(fifo, stream); });
    const auto result = glintmark::runExtraction(makeJob(fifo, dir / "out"));
    writer.join();

    ASSERT_TRUE(readerCame);
    const auto expected = referenceCut(stream);
    EXPECT_EQ(result.status, RunStatus::Completed);
    EXPECT_EQ(result.count, expected.size());
    EXPECT_EQ(filesIn(dir / "out"), expectedFiles(expected));
}

// A stop that lands after the run looked for one, just before it waits on a silent pipe, must
// still end that wait.
TEST(Extraction, AStopJustBeforeAWaitOnASilentPipeEndsTheWait)
{
    struct LateStop : Recorder
    {
        bool onProgress(const glintmark::Progress& p) override
        {
            Recorder::onProgress(p);
            if (progress.size() > 1)
                return false;
            glintmark::interruptWaits(); // as a signal handler does, after the look
            return true;
        }
    };
    TempDir dir;
    const fs::path fifo = dir / "level.ldb";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0) << std::strerror(errno);
    glintmark::prepareWaitInterrupts();
    std::atomic<bool> runEnded{false};
    std::atomic<bool> gaveUp{false};
    std::thread writer([&] {
        const int fd = ::open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
        [[maybe_unused]] const ssize_t put = ::write(fd, signature().data(), 4);
        for (int i = 0; i < 300 && !runEnded; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        gaveUp = !runEnded;
        ::close(fd);
    });
    LateStop observer;
    const auto result = glintmark::runExtraction(makeJob(fifo, dir.path(), 4), &observer,
                                                 glintmark::RunMode::ListOnly);
    runEnded = true;
    writer.join();
    glintmark::clearWaitInterrupts();
    EXPECT_FALSE(gaveUp) << "the run waited on the silent pipe until its writer gave up";
    EXPECT_EQ(result.status, RunStatus::Stopped);
}

// While a pipe is silent the run asks its observer, about every tenth of a second, whether to
// go on waiting: a no stops the run with only its complete images kept, a yes waits on for the
// bytes. A pipe that no writer ever opens is as silent as one whose writer pauses.
TEST(Extraction, AWaitOnASilentPipeAsksTheObserverRegularly)
{
    struct Case
    {
        const char* name;
        bool writer;            // a writer opens the pipe; otherwise none ever comes
        std::string before;     // what it sends before it falls silent
        std::string after;      // what it sends, then closing the pipe, once asked `resumeAt` times
        std::size_t resumeAt;   // 0: it stays silent until the run has ended
        std::size_t answerNoAt; // the observer answers no at this call; 0: never
        RunStatus status;
        std::size_t images;
    };
    const std::string s = signature();
    const Case cases[] = {
        {"no writer ever", false, "", "", 0, 3, RunStatus::Stopped, 0},
        {"silent in the first image", true, s + junk(100), "", 0, 3, RunStatus::Stopped, 0},
        {"silent after a whole image", true, s + junk(50) + s + junk(40), "", 0, 2,
         RunStatus::Stopped, 1},
        {"goes on after the pause", true, s + junk(50), s + junk(20), 2, 0, RunStatus::Completed,
         2},
    };
    using Clock = std::chrono::steady_clock;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        struct Waiter : Recorder
        {
            std::size_t answerNoAt = 0;
            std::vector<Clock::time_point> asked;
            std::atomic<std::size_t> askedCount{0};
            bool onWaiting() override
            {
                asked.push_back(Clock::now());
                ++askedCount;
                return asked.size() != answerNoAt;
            }
        };
        TempDir dir;
        const fs::path fifo = dir / "level.ldb";
        const fs::path out = dir / "out";
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0) << std::strerror(errno);
        fs::create_directory(out);
        Waiter observer;
        observer.answerNoAt = c.answerNoAt;
        std::atomic<bool> runEnded{false};
        std::thread writer;
        if (c.writer) {
            writer = std::thread([&] {
                sigset_t pipeSignal;
                sigemptyset(&pipeSignal);
                sigaddset(&pipeSignal, SIGPIPE);
                pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
                const auto deadline = Clock::now() + std::chrono::seconds(10);
                int fd = -1;
                while ((fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC)) < 0 &&
                       errno == ENXIO && Clock::now() < deadline)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                if (fd < 0)
                    return;
                [[maybe_unused]] ssize_t put = ::write(fd, c.before.data(), c.before.size());
                while (!runEnded && Clock::now() < deadline &&
                       (c.resumeAt == 0 || observer.askedCount < c.resumeAt))
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                if (c.resumeAt != 0 && !runEnded)
                    put = ::write(fd, c.after.data(), c.after.size());
                ::close(fd);
            });
        }
        const auto started = Clock::now();
        const auto result = glintmark::runExtraction(makeJob(fifo, out, 64), &observer);
        const auto took = Clock::now() - started;
        runEnded = true;
        if (writer.joinable())
            writer.join();

        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.count, c.images);
        // What was kept is whole, and nothing half-written is left beside it.
        const auto expected = referenceCut(c.before + c.after);
        ASSERT_GE(expected.size(), c.images);
        const std::vector<ExpectedImage> kept(
            expected.begin(), expected.begin() + static_cast<std::ptrdiff_t>(c.images));
        EXPECT_EQ(filesIn(out), expectedFiles(kept));
        const std::size_t calls = c.answerNoAt != 0 ? c.answerNoAt : c.resumeAt;
        if (c.answerNoAt != 0)
            EXPECT_EQ(observer.asked.size(), calls);
        else
            EXPECT_GE(observer.asked.size(), calls);
        // The asks come at about the interval, neither in a busy loop nor after long silences.
        for (std::size_t i = 1; i < observer.asked.size(); ++i) {
            const auto gap = std::chrono::duration_cast<std::chrono::milliseconds>(
                observer.asked[i] - observer.asked[i - 1]);
            EXPECT_GE(gap.count(), 80) << "ask " << i;
            EXPECT_LE(gap.count(), 2000) << "ask " << i;
        }
        EXPECT_LT(took, std::chrono::seconds(5));
    }
}

// A file that reports size 0 yet holds bytes, as many under /proc do, is read to its end.
TEST(Extraction, AFileThatReportsNoSizeIsReadToItsEnd)
{
#ifndef __linux__
    GTEST_SKIP() << "needs /proc";
#else
    // The environment of a process is such a file; two entries of it make up a signature, the
    // first ending at the signature's zero byte.
    std::string entries = "A=" + signature() + "=x";
    char* environment[] = {entries.data(), entries.data() + entries.find('\0') + 1, nullptr};
    char program[] = "sleep";
    char seconds[] = "10";
    char* arguments[] = {program, seconds, nullptr};
    pid_t child = 0;
    ASSERT_EQ(::posix_spawn(&child, "/bin/sleep", nullptr, nullptr, arguments, environment), 0);
    const fs::path source = fs::path("/proc") / std::to_string(child) / "environ";
    ASSERT_EQ(fs::file_size(source), 0U);
    // The new program's environment shows only once its start is complete.
    for (int i = 0; i < 200 && readFile(source).empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const auto result =
        glintmark::runExtraction(makeJob(source, "."), nullptr, glintmark::RunMode::ListOnly);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_EQ(result.status, RunStatus::Completed);
    EXPECT_EQ(result.count, 1U);
#endif
}
#endif

TEST(Extraction, ListOnlyReportsTheImagesAndCreatesNothing)
{
    TempDir dir;
    const std::string stream = junk(3) + signature() + junk(50) + signature() + junk(7);
    writeFile(dir / "level.ldb", stream);
    Recorder recorder;
    const auto result = glintmark::runExtraction(makeJob(dir / "level.ldb", dir / "missing", 16),
                                                 &recorder, RunMode::ListOnly);
    EXPECT_EQ(result.status, RunStatus::Completed);
    EXPECT_EQ(result.count, 2U);
    ASSERT_EQ(recorder.images.size(), 2U);
    EXPECT_EQ(recorder.images[0].offset, 3U);
    EXPECT_EQ(recorder.images[0].size, 60U);
    EXPECT_EQ(recorder.images[1].offset, 63U);
    EXPECT_EQ(recorder.images[1].size, 17U);
    EXPECT_TRUE(recorder.images[1].file.empty());
    EXPECT_EQ(filesIn(dir.path()).size(), 1U);
    EXPECT_FALSE(fs::exists(dir / "missing"));
}

TEST(Extraction, ReplacesALongerExistingImageFile)
{
    TempDir dir;
    writeFile(dir / "level.ldb", signature() + "new");
    writeFile(dir / "Vorlesk_0001.jpg", std::string(5000, 'o'));
    writeFile(dir / "Vorlesk_0002.jpg", "older, kept");
    writeFile(dir / "Vorlesk_10000.jpg", "older, kept");
    const auto result = glintmark::runExtraction(makeJob(dir / "level.ldb", dir.path(), 4));
    EXPECT_EQ(result.count, 1U);
    EXPECT_EQ(readFile(dir / "Vorlesk_0001.jpg"), signature() + "new");
    EXPECT_EQ(readFile(dir / "Vorlesk_0002.jpg"), "older, kept");
    EXPECT_EQ(result.staleImages, 2U);
}

TEST(Extraction, WithoutSignatureCreatesAndDeletesNothing)
{
    TempDir dir;
    writeFile(dir / "level.ldb", junk(3000));
    writeFile(dir / "Vorlesk_0001.jpg", "earlier run");
    const auto result = glintmark::runExtraction(makeJob(dir / "level.ldb", dir.path(), 1000));
    EXPECT_EQ(result.status, RunStatus::Completed);
    EXPECT_EQ(result.count, 0U);
    EXPECT_EQ(filesIn(dir.path()).size(), 2U);
    EXPECT_EQ(readFile(dir / "Vorlesk_0001.jpg"), "earlier run");
    EXPECT_EQ(result.staleImages, 1U);
}

TEST(Extraction, WorksWithSpacesAndNonAsciiInPaths)
{
    TempDir dir;
    const fs::path folder = dir / fs::path(u8"Ausgabe Ördner ü 纹理");
    const fs::path source = dir / fs::path(u8"level ä 1.ldb");
    fs::create_directory(folder);
    writeFile(source, junk(10) + signature() + "one" + signature() + "two");
    const auto result = glintmark::runExtraction(makeJob(source, folder, 7));
    EXPECT_EQ(result.status, RunStatus::Completed);
    EXPECT_EQ(result.count, 2U);
    EXPECT_EQ(readFile(folder / "Vorlesk_0002.jpg"), signature() + "two");
}

TEST(Extraction, RejectsAnUnfitJob)
{
    TempDir dir;
    writeFile(dir / "level.ldb", signature());
    fs::create_directory(dir / "out");
    auto noSignature = makeJob(dir / "level.ldb", dir.path());
    noSignature.signature.clear();
    auto noBlock = makeJob(dir / "level.ldb", dir.path(), 0);
    // Image names that would reach out of the output folder.
    auto stemWithFolder = makeJob(dir / "level.ldb", dir.path());
    stemWithFolder.stem = fs::path("sub") / "Vorlesk_";
    auto stemUp = makeJob(dir / "level.ldb", dir / "out");
    stemUp.stem = fs::path("..") / "Vorlesk_";
    auto stemHere = makeJob(dir / "level.ldb", dir / "out"); // hidden: "../Vorlesk_0001.jpg.part"
    stemHere.stem = fs::path(".") / "Vorlesk_";
    auto extensionWithFolder = makeJob(dir / "level.ldb", dir.path());
    extensionWithFolder.outExt = "/x.jpg";
    for (const auto& job :
         {noSignature, noBlock, stemWithFolder, stemUp, stemHere, extensionWithFolder}) {
        for (const auto mode : {RunMode::Write, RunMode::ListOnly}) {
            const auto result = glintmark::runExtraction(job, nullptr, mode);
            EXPECT_EQ(result.status, RunStatus::Failed) << job.stem;
            EXPECT_TRUE(result.error && result.error->kind == glintmark::ErrorKind::InvalidJob)
                << job.stem << ": " << (result.error ? result.error->message : "no error");
        }
    }
    EXPECT_EQ(filesIn(dir.path()).size(), 1U);
    EXPECT_FALSE(fs::exists(dir / "sub"));
    EXPECT_FALSE(fs::exists(dir / "Vorlesk_0001.jpg"));
    EXPECT_FALSE(fs::exists(dir / "Vorlesk_0001.jpg.part"));
    EXPECT_TRUE(fs::is_empty(dir / "out"));
}

TEST(ExtractJob, DefaultsToTheJfifSignatureAndTheVorleskNames)
{
    const glintmark::ExtractJob job;
    EXPECT_EQ(glintmark::kJfifSignature, glintmark::testsupport::kSignature);
    EXPECT_EQ(job.signature, signature());
    EXPECT_EQ(job.signature.size(), 10U);
    EXPECT_EQ(job.stem.native(), fs::path("Vorlesk_").native());
    EXPECT_EQ(job.outExt, ".jpg");
    EXPECT_TRUE(job.outputFolder.empty());
}

struct NamingCase
{
    const char* name;
    const char* stem; // null: the job's default
    const char* ext;  // null: the job's default
    int separators;   // how many separators follow the folder's name
};

// Another run's names, in the same folder: a stem and extension that are not the job's.
std::pair<std::string, std::string> otherNaming(const NamingCase& c)
{
    return c.stem == nullptr ? std::pair<std::string, std::string>{"tex-", ".png"}
                             : std::pair<std::string, std::string>{"Vorlesk_", ".jpg"};
}

// The job's stem and extension land in every name the run writes, sweeps, counts and checks
// against the source; a folder given with or without separators at its end gives the same files,
// and the paths reported keep the folder's text as given.
TEST(Extraction, TheJobsStemExtensionAndFolderNameEverything)
{
    const NamingCase cases[] = {
        {"defaults", nullptr, nullptr, 0},
        {"defaults, folder with a separator", nullptr, nullptr, 1},
        {"another stem and extension", "tex-", ".png", 0},
        {"another stem and extension, folder with a separator", "tex-", ".png", 1},
        {"another stem, folder with two separators", "tex-", ".jpg", 2},
        {"an empty stem", "", ".jpg", 0},
    };
    glintmark::testsupport::LevelBuilder level(7);
    level.filler(40).plainImage(300).filler(5).plainImage(120).filler(9);
    for (const NamingCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string stem = c.stem ? c.stem : "Vorlesk_";
        const std::string ext = c.ext ? c.ext : ".jpg";
        const auto [otherStem, otherExt] = otherNaming(c);
        const auto named = [&](const char* digits) { return stem + digits + ext; };
        TempDir dir;
        const fs::path out = dir / "out";
        fs::create_directory(out);
        writeFile(dir / "level.ldb", level.bytes());
        // What a killed run of this job left, and what others left or keep there.
        writeFile(out / ("." + named("0007") + ".part"), "killed run's");
        writeFile(out / ("." + otherStem + "0007" + otherExt + ".part"), "another's");
        writeFile(out / named("0009"), "older");
        writeFile(out / (otherStem + "0009" + otherExt), "another's");

        glintmark::ExtractJob job; // the defaults, unless the case says otherwise
        job.sourceFile = dir / "level.ldb";
        job.outputFolder =
            out.native() + fs::path::string_type(c.separators, fs::path::preferred_separator);
        if (c.stem)
            job.stem = c.stem;
        if (c.ext)
            job.outExt = c.ext;
        Recorder recorder;
        const auto result = glintmark::runExtraction(job, &recorder);

        ASSERT_EQ(result.status, RunStatus::Completed)
            << (result.error ? result.error->message : "");
        EXPECT_EQ(result.count, 2U);
        EXPECT_EQ(result.staleImages, 1U) << "only this job's older image counts";
        const std::map<std::string, std::string> expected = {
            {named("0001"), level.expectedFile(0)},
            {named("0002"), level.expectedFile(1)},
            {named("0009"), "older"},
            {"." + otherStem + "0007" + otherExt + ".part", "another's"},
            {otherStem + "0009" + otherExt, "another's"},
        };
        EXPECT_EQ(filesIn(out), expected);
        ASSERT_EQ(recorder.images.size(), 2U);
        const fs::path::string_type folderText =
            out.native() +
            fs::path::string_type(std::max(c.separators, 1), fs::path::preferred_separator);
        EXPECT_EQ(recorder.images[0].file.native(), folderText + fs::path(named("0001")).native());
        EXPECT_EQ(recorder.images[1].file.native(), folderText + fs::path(named("0002")).native());
    }
}

// A source in the output folder is refused when its name is one the job may write, and only then.
TEST(Extraction, ASourceNamedLikeOneOfTheJobsFilesIsRefused)
{
    struct Case
    {
        const char* source;
        const char* stem;
        const char* ext;
        int separators;
        bool refused;
    };
    const Case cases[] = {
        {"tex-0002.png", "tex-", ".png", 0, true},
        {"tex-0002.png", "tex-", ".png", 1, true},
        {"tex-10000.png", "tex-", ".png", 1, true},
        {".tex-0001.png.part", "tex-", ".png", 0, true},
        {".tex-0001.png.part", "tex-", ".png", 1, true},
        {"Vorlesk_0002.jpg", "tex-", ".png", 0, false},
        {"tex-0002.jpg", "tex-", ".png", 0, false},
        {".Vorlesk_0001.jpg.part", "tex-", ".png", 1, false},
        {"Vorlesk_0002.jpg", "Vorlesk_", ".jpg", 1, true},
    };
    const std::string stream = signature() + "first" + signature() + "second";
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.source) + " for " + c.stem + "NNNN" + c.ext + " with " +
                     std::to_string(c.separators) + " separators");
        TempDir dir;
        writeFile(dir / c.source, stream);
        glintmark::ExtractJob job;
        job.sourceFile = dir / c.source;
        job.outputFolder = dir.path().native() +
                           fs::path::string_type(c.separators, fs::path::preferred_separator);
        job.stem = c.stem;
        job.outExt = c.ext;
        const auto result = glintmark::runExtraction(job);

        EXPECT_EQ(readFile(dir / c.source), stream);
        if (!c.refused) {
            EXPECT_EQ(result.status, RunStatus::Completed);
            EXPECT_EQ(result.count, 2U);
            continue;
        }
        EXPECT_EQ(result.status, RunStatus::Failed);
        ASSERT_TRUE(result.error.has_value());
        EXPECT_EQ(result.error->kind, glintmark::ErrorKind::OutputIsSource);
        EXPECT_EQ(filesIn(dir.path()).size(), 1U) << "nothing may be written";
    }
}

} // namespace

namespace {

// Hears where each image starts and every byte of it, in order.
struct StartRecorder : glintmark::ExtractObserver
{
    std::vector<std::pair<std::uint64_t, std::uint64_t>> starts; // number, offset
    std::vector<std::string> bytes;                              // each image's, as handed over
    std::uint64_t nextOffset = 0;
    bool inOrder = true;

    void onImageStart(std::uint64_t number, std::uint64_t offset) override
    {
        starts.emplace_back(number, offset);
        bytes.emplace_back();
        nextOffset = offset;
    }
    void onImageBytes(std::uint64_t offset, const char* data, std::size_t count) override
    {
        inOrder = inOrder && !bytes.empty() && offset == nextOffset;
        if (!bytes.empty())
            bytes.back().append(data, count);
        nextOffset = offset + count;
    }
};

// Each image's start comes before any of its bytes, numbered and placed as the reference cut
// places it, however the blocks fall and however many threads write; adjacent images too.
TEST(Extraction, TellsWhereEachImageStartsBeforeItsBytes)
{
    glintmark::testsupport::LevelBuilder level(77);
    level.filler(10).plainImage(300).plainImage(40).filler(5).plainImage(5000).plainImage(12);
    const std::vector<ExpectedImage> expected = referenceCut(level.bytes());
    for (const std::size_t block : {std::size_t{7}, std::size_t{64}, std::size_t{4096}}) {
        for (const unsigned writers : {1U, 2U}) {
            for (const auto mode : {glintmark::RunMode::Write, glintmark::RunMode::ListOnly}) {
                SCOPED_TRACE(testing::Message()
                             << "blocks of " << block << ", " << writers << " writers"
                             << (mode == glintmark::RunMode::Write ? "" : ", listing"));
                TempDir dir;
                writeFile(dir / "level.ldb", level.bytes());
                glintmark::ExtractJob job = makeJob(dir / "level.ldb", dir / "out", block);
                job.createFolder = true;
                job.writers = writers;
                StartRecorder heard;
                const auto result = glintmark::runExtraction(job, &heard, mode);
                EXPECT_EQ(result.count, expected.size());
                ASSERT_EQ(heard.starts.size(), expected.size());
                EXPECT_TRUE(heard.inOrder);
                for (std::size_t i = 0; i < expected.size(); ++i) {
                    EXPECT_EQ(heard.starts[i].first, i + 1);
                    EXPECT_EQ(heard.starts[i].second, expected[i].offset);
                    EXPECT_EQ(heard.bytes[i], expected[i].bytes) << "image " << i + 1;
                }
            }
        }
    }
}

} // namespace
