// The extractor in a child process of its own, set up as its main() sets it up, while it is
// stopped by a signal, held up by a file size limit or holding its folder against a second run.
#include "CliTestSupport.h"

#include "cli/terminal/Signals.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace glintmark::clitest {
namespace {

namespace fs = std::filesystem;

struct ChildRun
{
    int code = -1;
    std::string out;
    std::string err;
};

// Runs the extractor with `args` in a child process with the program's signal handling and, if
// given, a file size limit; `meanwhile` runs in this process while the child works.
ChildRun runInChild(const std::vector<std::string>& args, const fs::path& dir, rlim_t sizeLimit,
                    const std::function<void(pid_t)>& meanwhile)
{
    const pid_t child = ::fork();
    if (child == 0) {
        glintmark::cli::installSignalHandlers();
        if (sizeLimit != 0) {
            const rlimit cap{sizeLimit, sizeLimit};
            ::setrlimit(RLIMIT_FSIZE, &cap);
        }
        const CliRun run = runWith(args);
        writeBytes(dir / "child.out", run.out);
        writeBytes(dir / "child.err", run.err);
        ::_exit(run.code);
    }
    meanwhile(child);
    int status = 0;
    ::waitpid(child, &status, 0);
    ChildRun run;
    run.code = WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
    run.out = readBytes(dir / "child.out");
    run.err = readBytes(dir / "child.err");
    return run;
}

// Opens the pipe the child reads its source from and writes `bytes` into it, leaving it open;
// returns once the child has taken them all and waits for more.
int feedPipe(const fs::path& fifo, const std::string& bytes)
{
    const int fd = ::open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t put = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (put <= 0)
            break;
        done += static_cast<std::size_t>(put);
    }
    int waiting = 1;
    for (int i = 0; i < 500 && ::ioctl(fd, FIONREAD, &waiting) == 0 && waiting > 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return fd;
}

// Whether `child` ends within `limit`; it is left to be reaped.
bool endsWithin(pid_t child, std::chrono::milliseconds limit)
{
    for (auto waited = std::chrono::milliseconds(0); waited < limit;
         waited += std::chrono::milliseconds(10)) {
        siginfo_t info{};
        if (::waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
            info.si_pid == child)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

TEST(CliSignals, ASignalStopsTheRunKeepsTheCompleteImagesAndEndsTheReport)
{
    const std::pair<int, int> cases[] = {{SIGINT, 130}, {SIGTERM, 143}, {SIGHUP, 129}};
    const std::string demo = readBytes(demoLdb());
    for (const auto& [signal, code] : cases) {
        SCOPED_TRACE(glintmark::cli::signalName(signal));
        const fs::path dir = freshTestFolder();
        const fs::path fifo = dir / "level.ldb";
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        const fs::path out = dir / "out";
        CliRun second;
        bool endedWhileWaiting = false;
        const ChildRun run =
            runInChild({"--json", "-o", out.string(), fifo.string()}, dir, 0, [&](pid_t child) {
                // The whole sample, but no end: the child waits for more, its last image open.
                const int fd = feedPipe(fifo, demo);
                second = runWith({"-o", out.string(), demoLdb().string()});
                ::kill(child, signal);
                endedWhileWaiting = endsWithin(child, std::chrono::seconds(5));
                ::close(fd);
            });

        EXPECT_TRUE(endedWhileWaiting) << "a wait for the pipe must end at the signal";
        EXPECT_EQ(run.code, code) << run.err;
        EXPECT_EQ(run.err, std::string("glintmark-cli: interrupted by ") +
                               glintmark::cli::signalName(signal) +
                               "; kept 10 textures extracted from " + fifo.string() + " into " +
                               out.string() + "\n");
        const nlohmann::json report = nlohmann::json::parse(run.out);
        EXPECT_EQ(report["sources"][0]["status"], "stopped");
        EXPECT_EQ(report["sources"][0]["count"], 10);
        EXPECT_EQ(fileNames(out).size(), 10u);
        EXPECT_EQ(hiddenIn(out), std::vector<std::string>{});

        // The run into the same folder meanwhile was refused and touched nothing.
        EXPECT_EQ(second.code, 1);
        EXPECT_NE(second.err.find("Another extraction is writing into the output folder \"" +
                                  out.string() + "\""),
                  std::string::npos)
            << second.err;
    }

    // A listing still waiting for a writer ends at the signal, and says it only read.
    const fs::path dir = freshTestFolder();
    const fs::path fifo = dir / "level.ldb";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    bool endedWhileWaiting = false;
    const ChildRun listed = runInChild({"--list", fifo.string()}, dir, 0, [&](pid_t child) {
        const fs::path wchan = "/proc/" + std::to_string(child) + "/wchan";
        for (int i = 0; i < 500 && readBytes(wchan) != "wait_for_partner"; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ::kill(child, SIGINT);
        endedWhileWaiting = endsWithin(child, std::chrono::seconds(5));
        if (!endedWhileWaiting)
            ::kill(child, SIGKILL);
    });
    EXPECT_TRUE(endedWhileWaiting) << "opening the pipe must end at the signal";
    EXPECT_EQ(listed.code, 130);
    EXPECT_EQ(listed.err,
              "glintmark-cli: interrupted by SIGINT while reading " + fifo.string() + "\n");
}

TEST(CliSignals, ASignalDuringDecodingStopsItWithinMomentsAndEndsTheReport)
{
    // Images that claim far more pixels than their data holds take seconds each to decode.
    const fs::path dir = freshTestFolder();
    const fs::path source = dir / "level.ldb";
    std::string bytes;
    for (int i = 0; i < 6; ++i)
        bytes += claimingImage(5, 65500, 65500);
    writeBytes(source, bytes);
    const fs::path out = dir / "out";
    ::setenv("GLINTMARK_CHECK_IMAGE_MIB", "8192", 1);
    bool endedSoon = false;
    const ChildRun run = runInChild({"--json", "--check", "-o", out.string(), source.string()}, dir,
                                    0, [&](pid_t child) {
                                        std::this_thread::sleep_for(std::chrono::milliseconds(500));
                                        ::kill(child, SIGINT);
                                        endedSoon = endsWithin(child, std::chrono::seconds(2));
                                    });
    ::unsetenv("GLINTMARK_CHECK_IMAGE_MIB");

    EXPECT_TRUE(endedSoon) << "the decoding must see the stop";
    EXPECT_EQ(run.code, 130) << run.err;
    EXPECT_EQ(run.err, "glintmark-cli: interrupted by SIGINT; kept 6 textures extracted from " +
                           source.string() + " into " + out.string() + "\n");
    const nlohmann::json report = nlohmann::json::parse(run.out);
    EXPECT_EQ(report["sources"][0]["status"], "stopped");
    EXPECT_EQ(report["sources"][0]["images"].size(), 6u);
    EXPECT_EQ(fileNames(out).size(), 6u);
}

TEST(CliSignals, AFileSizeLimitIsAnErrorThatKeepsWhatWasThereWhole)
{
    // Three hundred tiny images: each fits under the limit, their gallery page does not.
    std::string tiny;
    for (int i = 0; i < 300; ++i)
        tiny += signature() + std::to_string(i);
    struct Case
    {
        const char* name;
        bool gallery;
        const char* failsAt;
        std::size_t imagesKept;
    };
    const Case cases[] = {
        {"an image over the limit", false, "Vorlesk_0001.jpg", 0},
        {"the gallery page over the limit", true, "index.html", 300},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path dir = freshTestFolder();
        const fs::path out = dir / "out";
        fs::create_directory(out);
        writeBytes(out / "index.html", "old page");
        writeBytes(dir / "tiny.ldb", tiny);
        std::vector<std::string> args{"-o", out.string()};
        if (c.gallery)
            args.push_back("--gallery");
        args.push_back(c.gallery ? (dir / "tiny.ldb").string() : demoLdb().string());
        const ChildRun run = runInChild(args, dir, 8192, [](pid_t) {});
        EXPECT_EQ(run.code, 1) << "a page that cannot be written fails the run";
        EXPECT_NE(run.err.find((out / c.failsAt).string()), std::string::npos) << run.err;
        EXPECT_NE(run.err.find(std::strerror(EFBIG)), std::string::npos) << run.err;
        EXPECT_EQ(fileNames(out).size(), c.imagesKept + 1);
        EXPECT_EQ(readBytes(out / "index.html"), "old page");
        EXPECT_EQ(hiddenIn(out), std::vector<std::string>{});
    }

    // A new level put back under the limit goes the same way: no half file is left.
    const fs::path dir = freshTestFolder();
    const fs::path out = dir / "out";
    fs::create_directory(out);
    fs::create_directory(dir / "edited");
    const ChildRun putBack = runInChild({"--put-back", (dir / "edited").string(), "--into",
                                         (out / "new.ldb").string(), demoLdb().string()},
                                        dir, 8192, [](pid_t) {});
    EXPECT_EQ(putBack.code, 1);
    EXPECT_NE(putBack.err.find("new.ldb\": " + std::string(std::strerror(EFBIG))),
              std::string::npos)
        << putBack.err;
    EXPECT_EQ(hiddenIn(out), std::vector<std::string>{});
    EXPECT_EQ(fileNames(out), std::vector<std::string>{});
}

// A stop while a slow reader holds up standard output: the report is still finished, one whole
// document, and the exit is the signal's.
TEST(CliSignals, AStopWhileStandardOutputIsHeldUpFinishesTheReport)
{
    const fs::path dir = freshTestFolder();
    std::string tiny;
    for (int i = 0; i < 3000; ++i)
        tiny += signature() + std::to_string(i);
    writeBytes(dir / "tiny.ldb", tiny);
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const std::string source = (dir / "tiny.ldb").string();
    const char* argv[] = {"glintmark-cli", "--json", "--list", source.c_str(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    pid_t child = 0;
    ASSERT_EQ(::posix_spawn(&child, GLINTMARK_CLI_BINARY, &actions, nullptr,
                            const_cast<char* const*>(argv), environ),
              0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    // Nobody reads until the pipe is full and the child waits to write.
    for (int i = 0, waiting = 0; i < 500 && waiting < 60000; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ::ioctl(fds[0], FIONREAD, &waiting);
    }
    ::kill(child, SIGINT);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    std::string out;
    char chunk[65536];
    for (ssize_t got = 0; (got = ::read(fds[0], chunk, sizeof chunk)) > 0;)
        out.append(chunk, static_cast<std::size_t>(got));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 130);
    nlohmann::json report;
    ASSERT_NO_THROW(report = nlohmann::json::parse(out)) << out.size() << " bytes";
    EXPECT_EQ(report["sources"][0]["images"].size(), report["sources"][0]["count"]);
    // These images have no frame header: what it would tell is unknown, not false.
    for (const char* key : {"width", "progressive", "arithmetic"})
        EXPECT_TRUE(report["sources"][0]["images"][0][key].is_null()) << key;
}

} // namespace
} // namespace glintmark::clitest
#endif
