#include "engine/OutputGuard.h"

#include "engine/ErrorText.h"

#include <algorithm>
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

bool isDigit(Char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

bool isImageName(const fs::path& fileName, const fs::path& prefixName, std::string_view ext)
{
    const Text& name = fileName.native();
    const Text& stem = prefixName.native();
    const Text tail = fs::path(std::string(ext)).native();
    if (name.size() < stem.size() + 4 + tail.size())
        return false;
    if (!sameText(name.data(), stem.data(), stem.size()) ||
        !sameText(name.data() + name.size() - tail.size(), tail.data(), tail.size()))
        return false;
    const std::size_t digitsBegin = stem.size();
    const std::size_t digitsCount = name.size() - stem.size() - tail.size();
    const Char* digits = name.data() + digitsBegin;
    if (!std::all_of(digits, digits + digitsCount, isDigit))
        return false;
    // Numbers are zero-filled to four digits and written plainly beyond that, from 1 upwards.
    if (digitsCount > 4 && digits[0] == '0')
        return false;
    return !std::all_of(digits, digits + digitsCount, [](Char c) { return c == '0'; });
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
        if (candidate.empty() ||
            !isImageName(candidate.filename(), job.outPrefix.filename(), job.outExt))
            continue;
        const fs::path sourceFolder = outputFolder(candidate);
        if (fs::equivalent(sourceFolder, folder, ec)) {
            ExtractError error;
            error.kind = ErrorKind::OutputIsSource;
            error.file = job.sourceFile;
            error.message = "The images would be written over the source file \"" +
                            displayPath(job.sourceFile) + "\"; choose another output folder";
            return error;
        }
    }
    return std::nullopt;
}

} // namespace glintmark
