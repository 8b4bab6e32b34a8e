#include "EngineTestSupport.h"

#include "engine/LockedFolder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <optional>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

using namespace enginetest;
using glintmark::ErrorKind;
using glintmark::RunStatus;

// The process's open descriptors (handles on Windows), to prove a run leaks none.
std::size_t openDescriptors()
{
#ifdef __linux__
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
#elif defined(_WIN32)
    DWORD count = 0;
    GetProcessHandleCount(GetCurrentProcess(), &count);
    return count;
#else
    return 0; // no way to count them here: the leak checks prove nothing on this system
#endif
}

#ifdef _WIN32
// Holds a file open the way another program may: nobody else may read or write it meanwhile.
struct ExclusiveHolder
{
    HANDLE handle = INVALID_HANDLE_VALUE;
    ~ExclusiveHolder()
    {
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    }
    void hold(const fs::path& file)
    {
        handle = CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    }
};
#endif

struct SetupFailure
{
    const char* name;
    // Prepares the folder and returns the job that must fail before anything is written.
    std::function<glintmark::ExtractJob(const TempDir&)> setup;
    ErrorKind kind;
    const char* reason; // the system's words for it, empty when there are none
};

TEST(ExtractionFailure, FailsUpFrontAndWritesNothing)
{
    const std::string stream = signature() + "first" + signature() + "second";
#ifdef _WIN32
    ExclusiveHolder holder;
#endif
    const SetupFailure cases[] = {
        {"missing source", [&](const TempDir& d) { return makeJob(d / "none.ldb", d.path()); },
         ErrorKind::SourceOpen, std::strerror(ENOENT)},
        {"folder as source",
         [&](const TempDir& d) {
             fs::create_directory(d / "folder.ldb");
             return makeJob(d / "folder.ldb", d.path());
         },
         ErrorKind::SourceOpen, std::strerror(EISDIR)},
        {"source below a regular file",
         [&](const TempDir& d) {
             writeFile(d / "plain", stream);
             return makeJob(d / "plain" / "level.ldb", d.path());
         },
         ErrorKind::SourceOpen, std::strerror(ENOTDIR)},
        {"missing output folder",
         [&](const TempDir& d) {
             writeFile(d / "level.ldb", stream);
             return makeJob(d / "level.ldb", d / "gone");
         },
         ErrorKind::OutputFolder, std::strerror(ENOENT)},
        {"output folder is a file",
         [&](const TempDir& d) {
             writeFile(d / "level.ldb", stream);
             return makeJob(d / "level.ldb", d / "level.ldb");
         },
         ErrorKind::OutputFolder, std::strerror(ENOTDIR)},
        {"source named like an image",
         [&](const TempDir& d) {
             writeFile(d / "Vorlesk_0003.jpg", stream);
             return makeJob(d / "Vorlesk_0003.jpg", d.path());
         },
         ErrorKind::OutputIsSource, ""},
        {"source reached through another spelling of the folder",
         [&](const TempDir& d) {
             fs::create_directory(d / "sub");
             writeFile(d / "Vorlesk_10000.jpg", stream);
             return makeJob(d / "Vorlesk_10000.jpg", d / "sub" / "..");
         },
         ErrorKind::OutputIsSource, ""},
        {"source is the hidden name an image is written under",
         [&](const TempDir& d) {
             writeFile(d / ".Vorlesk_0003.jpg.part", stream);
             return makeJob(d / ".Vorlesk_0003.jpg.part", d.path());
         },
         ErrorKind::OutputIsSource, ""},
        {"source is the page written at the end",
         [&](const TempDir& d) {
             writeFile(d / "index.html", stream);
             auto job = makeJob(d / "index.html", d.path());
             job.finalFiles = {"index.html"};
             return job;
         },
         ErrorKind::OutputIsSource, ""},
        {"source is the hidden name of that page",
         [&](const TempDir& d) {
             writeFile(d / ".index.html.part", stream);
             auto job = makeJob(d / ".index.html.part", d.path());
             job.finalFiles = {"index.html"};
             return job;
         },
         ErrorKind::OutputIsSource, ""},
#ifndef _WIN32
        {"source is a link to the hidden name of an image",
         [&](const TempDir& d) {
             fs::create_directory(d / "out");
             writeFile(d / "out" / ".Vorlesk_0001.jpg.part", stream);
             fs::create_symlink(d / "out" / ".Vorlesk_0001.jpg.part", d / "level.ldb");
             return makeJob(d / "level.ldb", d / "out");
         },
         ErrorKind::OutputIsSource, ""},
        {"source is a link to an image name",
         [&](const TempDir& d) {
             writeFile(d / "Vorlesk_0001.jpg", stream);
             fs::create_symlink(d / "Vorlesk_0001.jpg", d / "level.ldb");
             return makeJob(d / "level.ldb", d.path());
         },
         ErrorKind::OutputIsSource, ""},
        {"source is a link to a later image name",
         [&](const TempDir& d) {
             writeFile(d / "Vorlesk_0001.jpg", "earlier run");
             writeFile(d / "Vorlesk_0002.jpg", stream);
             fs::create_symlink(d / "Vorlesk_0002.jpg", d / "level.ldb");
             return makeJob(d / "level.ldb", d.path());
         },
         ErrorKind::OutputIsSource, ""},
#else
        {"source held open by another program",
         [&](const TempDir& d) {
             writeFile(d / "level.ldb", stream);
             holder.hold(d / "level.ldb");
             return makeJob(d / "level.ldb", d.path());
         },
         ErrorKind::SourceOpen, "in use by another program"},
        {"source named like a device",
         [&](const TempDir& d) { return makeJob(d / "nul.ldb", d.path()); }, ErrorKind::SourceOpen,
         "device on Windows"},
#endif
    };
    for (const SetupFailure& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const auto job = c.setup(dir);
        const auto before = filesIn(dir.path());
        const std::size_t descriptors = openDescriptors();
        const auto result = glintmark::runExtraction(job);

        EXPECT_EQ(result.status, RunStatus::Failed);
        EXPECT_EQ(result.count, 0U);
        ASSERT_TRUE(result.error.has_value());
        EXPECT_EQ(result.error->kind, c.kind);
        EXPECT_FALSE(result.error->file.empty());
        EXPECT_NE(result.error->message.find(result.error->file.string()), std::string::npos)
            << result.error->message;
        EXPECT_NE(result.error->message.find(c.reason), std::string::npos) << result.error->message;
        EXPECT_EQ(filesIn(dir.path()), before) << "nothing may be written or changed";
        if (fs::exists(dir / "out")) {
            EXPECT_EQ(filesIn(dir / "out").size(), 1U) << "the source must stay";
        }
        EXPECT_EQ(openDescriptors(), descriptors);
    }
}

TEST(ExtractionFailure, ImageThatCannotBeCreatedKeepsTheEarlierOnes)
{
    TempDir dir;
    writeFile(dir / "level.ldb",
              signature() + "first" + signature() + "second" + signature() + "third");
    fs::create_directory(dir / "Vorlesk_0002.jpg");
    const std::size_t descriptors = openDescriptors();
    const auto result = glintmark::runExtraction(makeJob(dir / "level.ldb", dir.path(), 8));
    EXPECT_EQ(openDescriptors(), descriptors);

    EXPECT_EQ(result.status, RunStatus::Failed);
    EXPECT_EQ(result.count, 1U);
    ASSERT_TRUE(result.error.has_value());
    EXPECT_EQ(result.error->kind, ErrorKind::ImageCreate);
    EXPECT_EQ(result.error->file, dir / "Vorlesk_0002.jpg");
    EXPECT_NE(result.error->message.find(std::strerror(EISDIR)), std::string::npos);
    EXPECT_EQ(readFile(dir / "Vorlesk_0001.jpg"), signature() + "first");
    EXPECT_FALSE(fs::exists(dir / "Vorlesk_0003.jpg"));
}

// The output folder renamed away and replaced while the run writes: every image still goes to
// the folder the run opened. (Where names are joined to the folder's path, as on Windows, the
// run holds the folder so that it cannot be renamed at all.)
TEST(ExtractionFailure, AFolderSwappedDuringTheRunCannotRedirectAWrite)
{
    struct Swapper : Recorder
    {
        fs::path out;
        std::optional<std::error_code> renamed;
        bool onProgress(const glintmark::Progress& p) override
        {
            if (!renamed) {
                std::error_code ec;
                fs::rename(out, fs::path(out.native() + fs::path(".moved").native()), ec);
                if (!ec)
                    fs::create_directory(out);
                renamed = ec;
            }
            return Recorder::onProgress(p);
        }
    };
    TempDir dir;
    const std::string stream =
        signature() + "first" + signature() + "second" + signature() + "third";
    writeFile(dir / "level.ldb", stream);
    fs::create_directory(dir / "out");
    Swapper swapper;
    swapper.out = dir / "out";
    const auto result =
        glintmark::runExtraction(makeJob(dir / "level.ldb", dir / "out", 4), &swapper);

    ASSERT_TRUE(swapper.renamed.has_value());
    const bool moved = !*swapper.renamed;
#ifdef _WIN32
    EXPECT_FALSE(moved) << "the folder must stay put while the run holds it";
#endif
    EXPECT_EQ(result.status, RunStatus::Completed);
    EXPECT_EQ(filesIn(moved ? dir / "out.moved" : dir / "out"),
              expectedFiles(referenceCut(stream)));
    if (moved) {
        EXPECT_EQ(filesIn(dir / "out").size(), 0U) << "nothing may land in the new folder";
    }
}

#ifndef _WIN32
TEST(ExtractionFailure, ImageNameLinkedToTheSourceIsLeftAlone)
{
    for (const bool symbolic : {false, true}) {
        SCOPED_TRACE(symbolic ? "symbolic link" : "hard link");
        TempDir dir;
        const std::string stream = signature() + "first" + signature() + "second";
        writeFile(dir / "level.ldb", stream);
        fs::create_directory(dir / "out");
        if (symbolic)
            fs::create_symlink(dir / "level.ldb", dir / "out" / "Vorlesk_0002.jpg");
        else
            fs::create_hard_link(dir / "level.ldb", dir / "out" / "Vorlesk_0002.jpg");
        const auto result = glintmark::runExtraction(makeJob(dir / "level.ldb", dir / "out", 4));

        EXPECT_EQ(result.status, RunStatus::Failed);
        EXPECT_EQ(result.count, 1U);
        ASSERT_TRUE(result.error.has_value());
        EXPECT_EQ(result.error->kind, ErrorKind::OutputIsSource);
        EXPECT_EQ(readFile(dir / "level.ldb"), stream);
        EXPECT_EQ(readFile(dir / "out" / "Vorlesk_0001.jpg"), signature() + "first");
    }
}

// Every entry of `folder` whose name starts with a dot: what a run may have left behind.
std::vector<std::string> hiddenIn(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder))
        if (entry.path().filename().string().front() == '.')
            names.push_back(entry.path().filename().string());
    return names;
}

struct Occupant
{
    const char* name;
    // Puts something at `target`; `elsewhere` is a file outside the folder with known bytes,
    // next to the source "level.ldb".
    std::function<void(const fs::path& target, const fs::path& elsewhere)> put;
    std::optional<ErrorKind> refusal; // the run must fail at that name and leave it as it was
};

// Puts a hard link to `linkTarget` at the second image's temporary name once the first is done
// (when `linkAt` is set, and a writer has not created that file already), and writes the page
// "index.html" at the end of the run in pieces (when `page` is set); `stopHalfWay` gives the page
// up.
struct PageWriter : Recorder
{
    fs::path linkAt, linkTarget;
    bool page = true;
    bool stopHalfWay = false;
    void onImage(const glintmark::ImageInfo& image) override
    {
        std::error_code taken;
        if (image.number == 1 && !linkAt.empty())
            fs::create_hard_link(linkTarget, linkAt, taken);
        Recorder::onImage(image);
    }
    std::optional<glintmark::ExtractError> onFinish(glintmark::LockedFolder& folder) override
    {
        if (!page)
            return std::nullopt;
        return folder.writeFile("index.html", "the page", [&](glintmark::FileWriter& out) {
            return out.write("new ") && !stopHalfWay && out.write("page");
        });
    }
};

TEST(ExtractionFailure, WhatSitsAtAnImageNameOrThePageIsReplacedNeverWrittenThrough)
{
    const Occupant cases[] = {
        {"link to a file elsewhere",
         [](const fs::path& target, const fs::path& other) { fs::create_symlink(other, target); },
         std::nullopt},
        {"dangling link",
         [](const fs::path& target, const fs::path& other) {
             fs::create_symlink(other.parent_path() / "ghost", target);
         },
         std::nullopt},
        {"hard link",
         [](const fs::path& target, const fs::path& other) { fs::create_hard_link(other, target); },
         std::nullopt},
        {"pipe", [](const fs::path& target, const fs::path&) { ::mkfifo(target.c_str(), 0644); },
         std::nullopt},
        {"link to /dev/null",
         [](const fs::path& target, const fs::path&) { fs::create_symlink("/dev/null", target); },
         std::nullopt},
        {"longer older file",
         [](const fs::path& target, const fs::path&) { writeFile(target, std::string(5000, 'o')); },
         std::nullopt},
        {"directory", [](const fs::path& target, const fs::path&) { fs::create_directory(target); },
         ErrorKind::ImageCreate},
        {"hard link to the source",
         [](const fs::path& target, const fs::path& other) {
             fs::create_hard_link(other.parent_path() / "level.ldb", target);
         },
         ErrorKind::OutputIsSource},
    };
    const std::string stream = signature() + "first" + signature() + "second";
    const std::map<std::string, std::string> images = {
        {"Vorlesk_0001.jpg", signature() + "first"}, {"Vorlesk_0002.jpg", signature() + "second"}};
    for (const Occupant& c : cases) {
        for (const unsigned writers : {1u, 2u})
            for (const bool page : {false, true}) {
                SCOPED_TRACE(std::string(c.name) + (page ? " at the page" : " at an image") +
                             ", writers " + std::to_string(writers));
                TempDir dir;
                writeFile(dir / "level.ldb", stream);
                writeFile(dir / "elsewhere", "keep me");
                fs::create_directory(dir / "out");
                const fs::path target = dir / "out" / (page ? "index.html" : "Vorlesk_0001.jpg");
                c.put(target, dir / "elsewhere");
                // Temporaries of a run killed outright go; a link planted at one is not followed.
                writeFile(dir / "out" / ".Vorlesk_0009.jpg.part", "stale");
                writeFile(dir / "out" / ".index.html.part", "stale");
                fs::create_symlink(dir / "elsewhere", dir / "out" / ".Vorlesk_0002.jpg.part");
                writeFile(dir / "out" / ".notes.part", "another program's"); // not ours: it stays
                auto job = makeJob(dir / "level.ldb", dir / "out", 4);
                job.finalFiles = {"index.html"};
                job.writers = writers;
                PageWriter writer; // nor is a link planted during the run written through
                writer.page = page;
                // (Writers beside the run may be done with that name before image 1 is reported:
                // then the link would be a file planted after the run, not during it.)
                if (writers == 1)
                    writer.linkAt = dir / "out" / ".Vorlesk_0002.jpg.part";
                writer.linkTarget = dir / "elsewhere";
                const auto result = glintmark::runExtraction(job, &writer);

                EXPECT_EQ(readFile(dir / "elsewhere"), "keep me");
                EXPECT_EQ(readFile(dir / "level.ldb"), stream);
                EXPECT_FALSE(fs::exists(dir / "ghost"));
                EXPECT_TRUE(fs::is_character_file("/dev/null"));
                EXPECT_EQ(hiddenIn(dir / "out"), std::vector<std::string>{".notes.part"});
                auto expected = images;
                expected[".notes.part"] = "another program's";
                if (page)
                    expected["index.html"] = "new page";
                if (c.refusal) {
                    EXPECT_EQ(result.status, RunStatus::Failed);
                    ASSERT_TRUE(result.error.has_value());
                    EXPECT_EQ(result.error->kind, *c.refusal);
                    EXPECT_EQ(result.error->file, target);
                    EXPECT_EQ(result.count, page ? 2U : 0U) << "the images before it stay";
                    EXPECT_EQ(fs::is_directory(target), *c.refusal == ErrorKind::ImageCreate);
                    continue;
                }
                EXPECT_EQ(result.status, RunStatus::Completed);
                EXPECT_EQ(result.count, 2U);
                EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(target)));
                EXPECT_EQ(filesIn(dir / "out"), expected);
            }
    }

    // A page given up part way leaves the old one, whole.
    TempDir dir;
    writeFile(dir / "level.ldb", stream);
    writeFile(dir / "index.html", "old page");
    PageWriter stopped;
    stopped.stopHalfWay = true;
    const auto result =
        glintmark::runExtraction(makeJob(dir / "level.ldb", dir.path(), 4), &stopped);
    EXPECT_EQ(result.status, RunStatus::Stopped);
    EXPECT_EQ(result.count, 2U);
    EXPECT_EQ(readFile(dir / "index.html"), "old page");
    EXPECT_EQ(hiddenIn(dir.path()), std::vector<std::string>{});
}

// A run into a folder another run is writing to is refused at once; the first is unharmed.
TEST(ExtractionFailure, ASecondRunIntoTheSameFolderIsRefused)
{
    struct Intruder : Recorder
    {
        glintmark::ExtractJob job;
        std::optional<glintmark::ExtractResult> second;
        bool onProgress(const glintmark::Progress& p) override
        {
            if (!second)
                second = glintmark::runExtraction(job);
            return Recorder::onProgress(p);
        }
    };
    TempDir dir;
    const std::string stream =
        signature() + "first" + signature() + "second" + signature() + "third";
    writeFile(dir / "level.ldb", stream);
    writeFile(dir / "other.ldb", signature() + "other");
    Intruder intruder;
    intruder.job = makeJob(dir / "other.ldb", dir.path());
    const auto first =
        glintmark::runExtraction(makeJob(dir / "level.ldb", dir.path(), 8), &intruder);

    ASSERT_TRUE(intruder.second.has_value());
    EXPECT_EQ(intruder.second->status, RunStatus::Failed);
    ASSERT_TRUE(intruder.second->error.has_value());
    EXPECT_EQ(intruder.second->error->kind, ErrorKind::OutputBusy);
    EXPECT_NE(intruder.second->error->message.find(dir.path().string()), std::string::npos);
    EXPECT_NE(intruder.second->error->message.find("Another extraction"), std::string::npos);
    EXPECT_EQ(first.status, RunStatus::Completed);
    auto expected = expectedFiles(referenceCut(stream));
    expected["level.ldb"] = stream;
    expected["other.ldb"] = signature() + "other";
    EXPECT_EQ(filesIn(dir.path()), expected);
    // Once the first has ended, the folder is free again.
    EXPECT_EQ(glintmark::runExtraction(intruder.job).status, RunStatus::Completed);
}

// Changes the source's length after the first block has been read.
class ResizeSourceAfterFirstBlock : public Recorder
{
public:
    ResizeSourceAfterFirstBlock(fs::path source, std::string bytes)
        : m_source(std::move(source)), m_bytes(std::move(bytes))
    {}
    bool onProgress(const glintmark::Progress& p) override
    {
        if (progress.empty())
            writeFile(m_source, m_bytes);
        return Recorder::onProgress(p);
    }

private:
    fs::path m_source;
    std::string m_bytes;
};

TEST(ExtractionFailure, ASourceIsReadUpToTheLengthItHadWhenOpened)
{
    const std::string stream =
        signature() + "first" + signature() + "second, longer" + signature() + "third";
    struct Case
    {
        const char* name;
        std::string changed; // the source's bytes from the end of the first block on
        bool fails;
        std::map<std::string, std::string> kept;
    };
    const Case cases[] = {
        {"shrinks", stream.substr(0, 30), true, {{"Vorlesk_0001.jpg", signature() + "first"}}},
        {"shrinks to a block boundary",
         stream.substr(0, 48),
         true,
         {{"Vorlesk_0001.jpg", signature() + "first"}}},
        {"grows", stream + signature() + "appended", false, expectedFiles(referenceCut(stream))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        fs::create_directory(dir / "out");
        writeFile(dir / "level.ldb", stream);
        ResizeSourceAfterFirstBlock observer(dir / "level.ldb", c.changed);
        const auto result =
            glintmark::runExtraction(makeJob(dir / "level.ldb", dir / "out", 24), &observer);

        EXPECT_EQ(filesIn(dir / "out"), c.kept);
        EXPECT_EQ(result.count, c.kept.size());
        if (!c.fails) {
            EXPECT_EQ(result.status, RunStatus::Completed);
            continue;
        }
        EXPECT_EQ(result.status, RunStatus::Failed);
        ASSERT_TRUE(result.error.has_value());
        EXPECT_EQ(result.error->kind, ErrorKind::SourceRead);
        EXPECT_NE(result.error->message.find((dir / "level.ldb").string()), std::string::npos);
        EXPECT_NE(result.error->message.find("became shorter"), std::string::npos)
            << result.error->message;
    }
}

TEST(ExtractionFailure, ImageThatCannotBeWrittenIsRemoved)
{
    TempDir dir;
    const std::string big(20000, 'b');
    writeFile(dir / "level.ldb", signature() + "small" + signature() + big + signature() + "after");
    fs::create_directory(dir / "out");
    const std::string said =
        runWithFileSizeLimit(makeJob(dir / "level.ldb", dir / "out", 4096), 8192);

    const std::string expectedHead = std::to_string(static_cast<int>(RunStatus::Failed)) + " " +
                                     std::to_string(static_cast<int>(ErrorKind::ImageWrite)) +
                                     " 1\n";
    EXPECT_EQ(said.substr(0, expectedHead.size()), expectedHead) << said;
    EXPECT_NE(said.find("Vorlesk_0002.jpg"), std::string::npos) << said;
    EXPECT_NE(said.find(std::strerror(EFBIG)), std::string::npos) << said;
    EXPECT_EQ(filesIn(dir / "out"),
              (std::map<std::string, std::string>{{"Vorlesk_0001.jpg", signature() + "small"}}));
}
#endif

#ifdef __linux__
// Swaps a folder in under the source's descriptor after the first block, so the next read fails.
class BreakSourceAfterFirstBlock : public Recorder
{
public:
    explicit BreakSourceAfterFirstBlock(const fs::path& source, fs::path folder)
        : m_source(fs::canonical(source)), m_folder(std::move(folder))
    {}
    bool onProgress(const glintmark::Progress& p) override
    {
        if (progress.empty()) {
            for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
                std::error_code ec;
                if (fs::read_symlink(entry.path(), ec) != m_source)
                    continue;
                const int folderFd = ::open(m_folder.c_str(), O_RDONLY | O_DIRECTORY);
                ::dup2(folderFd, std::stoi(entry.path().filename().string()));
                ::close(folderFd);
                swapped = true;
            }
        }
        return Recorder::onProgress(p);
    }
    bool swapped = false;

private:
    fs::path m_source;
    fs::path m_folder;
};

TEST(ExtractionFailure, FailingReadKeepsCompleteImagesAndRemovesTheOpenOne)
{
    TempDir dir;
    fs::create_directory(dir / "out");
    writeFile(dir / "level.ldb",
              signature() + "one" + signature() + "two, longer" + std::string(100, 'z'));
    BreakSourceAfterFirstBlock observer(dir / "level.ldb", dir.path());
    const std::size_t descriptors = openDescriptors();
    const auto result =
        glintmark::runExtraction(makeJob(dir / "level.ldb", dir / "out", 32), &observer);
    EXPECT_EQ(openDescriptors(), descriptors);

    ASSERT_TRUE(observer.swapped);
    EXPECT_EQ(result.status, RunStatus::Failed);
    EXPECT_EQ(result.count, 1U);
    ASSERT_TRUE(result.error.has_value());
    EXPECT_EQ(result.error->kind, ErrorKind::SourceRead);
    EXPECT_NE(result.error->message.find(std::strerror(EISDIR)), std::string::npos);
    EXPECT_EQ(filesIn(dir / "out"),
              (std::map<std::string, std::string>{{"Vorlesk_0001.jpg", signature() + "one"}}));
}
#endif

} // namespace
