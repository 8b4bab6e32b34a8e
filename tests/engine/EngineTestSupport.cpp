#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <iterator>

#ifdef _WIN32
#include <process.h>
#else
#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace enginetest {

TempDir::TempDir() : TempDir(fs::path(GLINTMARK_TEST_TMP)) {}

TempDir::TempDir(const fs::path& base)
{
    static std::atomic<int> serial{0};
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info != nullptr ? std::string(info->test_suite_name()) + "." + info->name()
                                       : std::string("test");
    for (char& c : name)
        if (c == '/')
            c = '_';
#ifdef _WIN32
    const long pid = static_cast<long>(_getpid());
#else
    const long pid = static_cast<long>(::getpid());
#endif
    m_path = base / (name + "-" + std::to_string(pid) + "-" + std::to_string(serial++));
    fs::remove_all(m_path);
    fs::create_directories(m_path);
}

TempDir::~TempDir()
{
    std::error_code ec;
    fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(m_path, ec);
}

void writeFile(const fs::path& file, const std::string& bytes)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << file;
}

std::string readFile(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::map<std::string, std::string> filesIn(const fs::path& folder)
{
    std::map<std::string, std::string> files;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder))
        // On Windows a locked folder holds its lock file for as long as it is open.
        if (entry.is_regular_file() && entry.path().filename() != ".glintmark.lock")
            files[entry.path().filename().string()] = readFile(entry.path());
    return files;
}

std::map<std::string, std::string> expectedFiles(const std::vector<ExpectedImage>& images)
{
    std::map<std::string, std::string> files;
    for (std::size_t i = 0; i < images.size(); ++i)
        files[glintmark::testsupport::imageName(i + 1)] = images[i].bytes;
    return files;
}

fs::path reportedPath(const fs::path& folder, const std::string& name)
{
    return fs::path(folder.native() + fs::path::preferred_separator + fs::path(name).native());
}

bool Recorder::onProgress(const glintmark::Progress& p)
{
    progress.push_back(p);
    return stopAfter == 0 || progress.size() < stopAfter;
}

void Recorder::onImage(const glintmark::ImageInfo& image)
{
    images.push_back(image);
}

glintmark::ExtractJob makeJob(const fs::path& source, const fs::path& folder, std::size_t blockSize)
{
    glintmark::ExtractJob job;
    job.sourceFile = source;
    job.outputFolder = folder;
    job.signature = signature();
    job.blockSize = blockSize;
    return job;
}

#ifndef _WIN32
std::string runWithFileSizeLimit(const glintmark::ExtractJob& job, std::uint64_t limit)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return "pipe failed";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit cap{static_cast<rlim_t>(limit), static_cast<rlim_t>(limit)};
        ::setrlimit(RLIMIT_FSIZE, &cap);
        Recorder recorder;
        const auto result = glintmark::runExtraction(job, &recorder);
        const std::uint64_t read =
            recorder.progress.empty() ? 0 : recorder.progress.back().bytesRead;
        const std::string text =
            std::to_string(static_cast<int>(result.status)) + " " +
            std::to_string(result.error ? static_cast<int>(result.error->kind) : -1) + " " +
            std::to_string(result.count) + "\n" + std::to_string(read) + "\n" +
            (result.error ? result.error->message : "");
        [[maybe_unused]] const ssize_t put = ::write(fds[1], text.data(), text.size());
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string text;
    char chunk[512];
    ssize_t got = 0;
    while ((got = ::read(fds[0], chunk, sizeof chunk)) > 0)
        text.append(chunk, static_cast<std::size_t>(got));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return text;
}
#endif

} // namespace enginetest
