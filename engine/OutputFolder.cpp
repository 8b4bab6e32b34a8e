#include "engine/OutputFolder.h"

#include "engine/RunFolder.h"
#include "engine/io/PathText.h"
#include "engine/names/ImageNames.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <system_error>

namespace glintmark {
namespace {

namespace fs = std::filesystem;

// Whether `fileName` is the hidden name of one of the job's final files.
bool isFinalTemporary(const fs::path& fileName, const ExtractJob& job)
{
    return std::any_of(job.finalFiles.begin(), job.finalFiles.end(), [&](const fs::path& name) {
        return sameFileName(fileName, temporaryName(name));
    });
}

// Whether the run may create, replace or remove an entry called `fileName` in its folder.
bool isRunName(const fs::path& fileName, const ExtractJob& job)
{
    const fs::path prefixName = job.outPrefix.filename();
    if (isImageName(fileName, prefixName, job.outExt) ||
        isTemporaryName(fileName, prefixName, job.outExt) || isFinalTemporary(fileName, job))
        return true;
    const fs::path lock = RawDir::lockName();
    if (!lock.empty() && sameFileName(fileName, lock))
        return true;
    return std::any_of(job.finalFiles.begin(), job.finalFiles.end(),
                       [&](const fs::path& name) { return sameFileName(fileName, name); });
}

} // namespace

std::optional<ExtractError> checkOutput(const ExtractJob& job)
{
    const fs::path folder = outputFolder(job.outPrefix);
    std::error_code ec;
    const fs::file_status status = fs::status(folder, ec);
    if (status.type() == fs::file_type::not_found || ec) {
        if (!ec)
            ec = std::make_error_code(std::errc::no_such_file_or_directory);
        return makeError(ErrorKind::OutputFolder, folder, "Cannot use the output folder", ec);
    }
    if (!fs::is_directory(status))
        return makeError(ErrorKind::OutputFolder, folder, "Cannot use the output folder",
                         std::make_error_code(std::errc::not_a_directory));

    // The source is checked under the name it was given and under the name its links lead to.
    fs::path candidates[2] = {job.sourceFile, fs::canonical(job.sourceFile, ec)};
    for (const fs::path& candidate : candidates) {
        if (candidate.empty() || !isRunName(candidate.filename(), job))
            continue;
        const fs::path sourceFolder = outputFolder(candidate);
        if (fs::equivalent(sourceFolder, folder, ec)) {
            ExtractError error;
            error.kind = ErrorKind::OutputIsSource;
            error.file = job.sourceFile;
            error.message = "The output would be written over the source file \"" +
                            displayPath(job.sourceFile) + "\"; choose another output folder";
            return error;
        }
    }
    return std::nullopt;
}

namespace {

std::optional<ExtractError> createFolder(const fs::path& folder)
{
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (!ec && !fs::is_directory(folder, ec) && !ec)
        ec = std::make_error_code(std::errc::not_a_directory);
    if (!ec)
        return std::nullopt;
    return makeError(ErrorKind::OutputFolder, folder, "Cannot create the output folder", ec);
}

} // namespace

std::optional<ExtractError> openOutputFolder(const ExtractJob& job, RawDir& folder,
                                             const FileIdentity& source)
{
    const fs::path path = outputFolder(job.outPrefix);
    if (job.createFolder) {
        if (auto error = createFolder(path))
            return error;
    }
    if (auto error = checkOutput(job))
        return error;
    if (auto error = openLockedFolder(path, "the output folder", "extraction", folder))
        return error;
    std::error_code ec;
    const fs::path prefixName = job.outPrefix.filename();
    folder.forEachName(
        [&](const fs::path& name) {
            std::error_code ignored; // a leftover that cannot go does no harm
            if (!isTemporaryName(name, prefixName, job.outExt) && !isFinalTemporary(name, job))
                return;
            const FileIdentity there = folder.entry(name, false, ignored);
            if (!ignored && !there.sameFileAs(source))
                folder.remove(name, ignored);
        },
        ec);
    return std::nullopt;
}

std::uint64_t countStaleImages(const RawDir& folder, const ExtractJob& job, std::uint64_t count)
{
    const fs::path prefixName = job.outPrefix.filename();
    std::uint64_t stale = 0;
    std::error_code ec;
    folder.forEachName(
        [&](const fs::path& name) {
            const auto number = imageNumber(name, prefixName, job.outExt);
            if (number && *number > count)
                ++stale;
        },
        ec);
    return stale;
}

} // namespace glintmark
