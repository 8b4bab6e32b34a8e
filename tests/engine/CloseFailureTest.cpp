// A failure that only the close of an image's file reports (a full disk or a quota on a network
// file system, an I/O error): the image may lack its last bytes, so it must not take its name.
// The close of this program is our own: it fails, once the file is closed, for files being
// written that have the size the test chooses.
#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

std::atomic<long long> failingSize{-1}; // -1: every close is the system's

} // namespace

extern "C" int close(int fd)
{
    const long long size = failingSize.load();
    struct stat status = {};
    const bool failing = size >= 0 && ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
                         status.st_size == size && (::fcntl(fd, F_GETFL) & O_ACCMODE) != O_RDONLY;
    const auto closed = static_cast<int>(::syscall(SYS_close, fd));
    if (failing && closed == 0) {
        errno = EIO;
        return -1;
    }
    return closed;
}

namespace {

using namespace enginetest;
using glintmark::ErrorKind;
using glintmark::RunStatus;

// Arms the failing close for as long as it lives.
struct FailingClose
{
    explicit FailingClose(std::size_t size) { failingSize = static_cast<long long>(size); }
    ~FailingClose() { failingSize = -1; }
    FailingClose(const FailingClose&) = delete;
    FailingClose& operator=(const FailingClose&) = delete;
};

TEST(CloseFailure, AnImageWhoseCloseFailsIsNotKeptNorAnyAfterIt)
{
    const std::string third = signature() + std::string(777, 't');
    std::string level;
    for (int i = 0; i < 6; ++i)
        level += i == 2 ? third : signature() + std::string(static_cast<std::size_t>(30 + i), 'a');
    const auto all = referenceCut(level);
    ASSERT_EQ(all.size(), 6u);
    for (const unsigned writers : {1u, 2u, 3u}) {
        SCOPED_TRACE("writers " + std::to_string(writers));
        TempDir dir;
        writeFile(dir / "level.ldb", level);
        fs::create_directory(dir / "out");
        auto job = makeJob(dir / "level.ldb", dir / "out", 64);
        job.writers = writers;
        Recorder recorder;
        glintmark::ExtractResult result;
        {
            const FailingClose failing(third.size());
            result = glintmark::runExtraction(job, &recorder);
        }
        ASSERT_EQ(result.status, RunStatus::Failed);
        ASSERT_TRUE(result.error.has_value());
        EXPECT_EQ(result.error->kind, ErrorKind::ImageWrite);
        EXPECT_EQ(result.error->file, reportedPath(dir / "out", imageName(3)));
        EXPECT_NE(result.error->message.find(std::strerror(EIO)), std::string::npos)
            << result.error->message;
        EXPECT_EQ(result.count, 2u);
        EXPECT_EQ(recorder.images.size(), 2u);
        EXPECT_EQ(filesIn(dir / "out"),
                  (std::map<std::string, std::string>{{imageName(1), all[0].bytes},
                                                      {imageName(2), all[1].bytes}}));
    }
}

} // namespace
