#pragma once

#include "engine/Extraction.h"
#include "support/LevelBuilder.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace enginetest {

namespace fs = std::filesystem;

using glintmark::testsupport::ExpectedImage;
using glintmark::testsupport::imageName;
using glintmark::testsupport::referenceCut;
using glintmark::testsupport::signature;

// A fresh, empty folder for one test, removed with everything in it when the test ends.
class TempDir
{
public:
    TempDir();
    // The folder is made inside `base` rather than the test build's temp folder.
    explicit TempDir(const fs::path& base);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The folder itself.
    const fs::path& path() const { return m_path; }
    // A path inside the folder.
    fs::path operator/(const fs::path& name) const { return m_path / name; }

private:
    fs::path m_path;
};

// Writes `bytes` to `file`, replacing it.
void writeFile(const fs::path& file, const std::string& bytes);
// The whole content of `file`.
std::string readFile(const fs::path& file);
// Every regular file in `folder` by name, with its content; not the lock file of a folder
// open on Windows.
std::map<std::string, std::string> filesIn(const fs::path& folder);

// The files a run should leave in a folder holding nothing else, for the prefix "Vorlesk_".
std::map<std::string, std::string> expectedFiles(const std::vector<ExpectedImage>& images);

// The path a run reports for the file `name` in `folder`, which is given without a trailing
// separator: the folder's text, one separator, the name.
fs::path reportedPath(const fs::path& folder, const std::string& name);

// Records what a run reports and can stop it after a given number of blocks.
class Recorder : public glintmark::ExtractObserver
{
public:
    bool onProgress(const glintmark::Progress& progress) override;
    void onImage(const glintmark::ImageInfo& image) override;

    std::vector<glintmark::Progress> progress;
    std::vector<glintmark::ImageInfo> images;
    // Stop when this many progress reports have been made (0: never).
    std::size_t stopAfter = 0;
};

// A job reading `source` and writing "Vorlesk_NNNN.jpg" into `folder`: the stem and extension
// are the job's defaults, the signature the tests' own.
glintmark::ExtractJob makeJob(const fs::path& source, const fs::path& folder,
                              std::size_t blockSize = glintmark::kDefaultBlockSize);

#ifndef _WIN32
// Runs `job` in a child process whose files may not grow beyond `limit` bytes (SIGXFSZ ignored);
// returns its status, error kind and count on the first line, the bytes it had read at its last
// progress on the second, then its message.
std::string runWithFileSizeLimit(const glintmark::ExtractJob& job, std::uint64_t limit);
#endif

} // namespace enginetest
