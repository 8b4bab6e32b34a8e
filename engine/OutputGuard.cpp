#include "engine/OutputGuard.h"

#include "engine/ErrorText.h"
#include "engine/RunFolder.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <system_error>

namespace glintmark {
namespace {

namespace fs = std::filesystem;
using Text = fs::path::string_type;
using Char = Text::value_type;

// File names on Windows and macOS ignore letter case, so "vorlesk_0001.JPG" names the same file
// there; elsewhere names are compared exactly.
bool sameChar(Char a, Char b)
{
#if defined(_WIN32) || defined(__APPLE__)
    const auto lower = [](Char c) {
        return (c >= 'A' && c <= 'Z') ? static_cast<Char>(c + 32) : c;
    };
    return lower(a) == lower(b);
#else
    return a == b;
#endif
}

bool sameText(const Char* a, const Char* b, std::size_t count)
{
    return std::equal(a, a + count, b, sameChar);
}

bool sameName(const fs::path& a, const fs::path& b)
{
    return a.native().size() == b.native().size() &&
           sameText(a.native().data(), b.native().data(), a.native().size());
}

// Whether `fileName` is the hidden name of one of the job's final files.
bool isFinalTemporary(const fs::path& fileName, const ExtractJob& job)
{
    return std::any_of(job.finalFiles.begin(), job.finalFiles.end(), [&](const fs::path& name) {
        return sameName(fileName, temporaryName(name));
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
    if (!lock.empty() && sameName(fileName, lock))
        return true;
    return std::any_of(job.finalFiles.begin(), job.finalFiles.end(),
                       [&](const fs::path& name) { return sameName(fileName, name); });
}

bool isDigit(Char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

std::optional<std::uint64_t> imageNumber(const fs::path& fileName, const fs::path& prefixName,
                                         std::string_view ext)
{
    const Text& name = fileName.native();
    const Text& stem = prefixName.native();
    const Text tail = fs::path(std::string(ext)).native();
    if (name.size() < stem.size() + 4 + tail.size())
        return std::nullopt;
    if (!sameText(name.data(), stem.data(), stem.size()) ||
        !sameText(name.data() + name.size() - tail.size(), tail.data(), tail.size()))
        return std::nullopt;
    const std::size_t digitsCount = name.size() - stem.size() - tail.size();
    const Char* digits = name.data() + stem.size();
    if (!std::all_of(digits, digits + digitsCount, isDigit))
        return std::nullopt;
    // Numbers are zero-filled to four digits and written plainly beyond that, from 1 upwards.
    if (digitsCount > 4 && digits[0] == '0')
        return std::nullopt;
    std::uint64_t number = 0;
    for (const Char* d = digits; d != digits + digitsCount; ++d) {
        const auto digit = static_cast<std::uint64_t>(*d - '0');
        if (number > (UINT64_MAX - digit) / 10)
            return UINT64_MAX;
        number = number * 10 + digit;
    }
    if (number == 0)
        return std::nullopt;
    return number;
}

bool isImageName(const fs::path& fileName, const fs::path& prefixName, std::string_view ext)
{
    return imageNumber(fileName, prefixName, ext).has_value();
}

fs::path temporaryName(const fs::path& imageName)
{
    fs::path name(".");
    name += imageName;
    name += ".part";
    return name;
}

bool isTemporaryName(const fs::path& fileName, const fs::path& prefixName, std::string_view ext)
{
    const Text& name = fileName.native();
    const Text head = fs::path(".").native();
    const Text tail = fs::path(".part").native();
    if (name.size() <= head.size() + tail.size() || name.compare(0, head.size(), head) != 0 ||
        name.compare(name.size() - tail.size(), tail.size(), tail) != 0)
        return false;
    const Text inner = name.substr(head.size(), name.size() - head.size() - tail.size());
    return isImageName(fs::path(inner), prefixName, ext);
}

fs::path outputFolder(const fs::path& outPrefix)
{
    fs::path folder = outPrefix.parent_path();
    return folder.empty() ? fs::path(".") : folder;
}

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
