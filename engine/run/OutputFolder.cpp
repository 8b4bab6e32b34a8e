#include "engine/run/OutputFolder.h"

#include "engine/ExtractTypes.h"
#include "engine/io/PathQueries.h"
#include "engine/io/PathText.h"
#include "engine/names/ImageNames.h"

#include <algorithm>
#include <string>

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
    if (isImageName(fileName, job.stem, job.outExt) ||
        isTemporaryName(fileName, job.stem, job.outExt) || isFinalTemporary(fileName, job))
        return true;
    const fs::path lock = RawDir::lockName();
    if (!lock.empty() && sameFileName(fileName, lock))
        return true;
    return std::any_of(job.finalFiles.begin(), job.finalFiles.end(),
                       [&](const fs::path& name) { return sameFileName(fileName, name); });
}

// The folder that holds `file` ("." when its path names none).
fs::path folderOf(const fs::path& file)
{
    fs::path folder = file.parent_path();
    return folder.empty() ? fs::path(".") : folder;
}

std::optional<ExtractError> createFolder(const fs::path& folder)
{
    std::error_code ec;
    createFolders(folder, ec);
    if (!ec)
        return std::nullopt;
    return makeError(ErrorKind::OutputFolder, folder, "Cannot create the output folder", ec);
}

// Checks, before anything is written, that the output folder exists and is a folder, and that
// none of the run's names is the source file itself.
std::optional<ExtractError> checkOutput(const ExtractJob& job)
{
    const fs::path folder = imageFolder(job.outputFolder);
    std::error_code ec;
    const fs::file_status status = pathStatus(folder, ec);
    if (status.type() == fs::file_type::not_found || ec) {
        if (!ec)
            ec = std::make_error_code(std::errc::no_such_file_or_directory);
        return makeError(ErrorKind::OutputFolder, folder, "Cannot use the output folder", ec);
    }
    if (!fs::is_directory(status))
        return makeError(ErrorKind::OutputFolder, folder, "Cannot use the output folder",
                         std::make_error_code(std::errc::not_a_directory));

    // The source is checked under the name it was given and under the name its links lead to.
    fs::path candidates[2] = {job.sourceFile, resolvedPath(job.sourceFile, ec)};
    for (const fs::path& candidate : candidates) {
        if (candidate.empty() || !isRunName(candidate.filename(), job))
            continue;
        const fs::path sourceFolder = folderOf(candidate);
        if (samePlace(sourceFolder, folder, ec)) {
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

std::string capitalised(std::string_view what)
{
    std::string text(what);
    if (!text.empty() && text[0] >= 'a' && text[0] <= 'z')
        text[0] = static_cast<char>(text[0] - 'a' + 'A');
    return text;
}

// The one outcome of a replacement that must never happen: the source replaced by output.
ExtractError isTheSource(const fs::path& shownAs, std::string_view what)
{
    ExtractError error;
    error.kind = ErrorKind::OutputIsSource;
    error.file = shownAs;
    error.message = capitalised(what) + " \"" + displayPath(shownAs) +
                    "\" is the source file itself, or leads to it; it was left untouched";
    return error;
}

// The error for a name held by a device, a pipe or a socket, which a run never replaces.
ExtractError notAFile(const fs::path& shownAs, std::string_view what)
{
    return ExtractError{ErrorKind::ImageCreate, shownAs,
                        "Cannot create " + std::string(what) + " \"" + displayPath(shownAs) +
                            "\": a device, a pipe or a socket has that name; it was left "
                            "untouched"};
}

} // namespace

std::optional<ExtractError> OutputFolder::prepare(const ExtractJob& job)
{
    const fs::path path = imageFolder(job.outputFolder);
    if (job.createFolder) {
        if (auto error = createFolder(path))
            return error;
    }
    if (auto error = checkOutput(job))
        return error;
    if (auto error = openLocked(path, "the output folder", "extraction"))
        return error;
    sweep(job);
    return std::nullopt;
}

std::optional<ExtractError> OutputFolder::openLocked(const fs::path& path, std::string_view what,
                                                     std::string_view other)
{
    std::error_code ec;
    m_dir = RawDir::open(path, ec);
    if (ec)
        return makeError(ErrorKind::OutputFolder, path, "Cannot use " + std::string(what), ec);
    if (!m_dir.tryLock(ec)) {
        if (ec)
            return makeError(ErrorKind::OutputFolder, path, "Cannot lock " + std::string(what), ec);
        ExtractError error;
        error.kind = ErrorKind::OutputBusy;
        error.file = path;
        error.message = "Another " + std::string(other) + " is writing into " + std::string(what) +
                        " \"" + displayPath(path) +
                        "\"; wait for it to end or choose another folder";
        return error;
    }
    return std::nullopt;
}

void OutputFolder::sweep(const ExtractJob& job) const
{
    std::error_code ec;
    m_dir.forEachName(
        [&](const fs::path& name) {
            std::error_code ignored; // a leftover that cannot go does no harm
            if (!isTemporaryName(name, job.stem, job.outExt) && !isFinalTemporary(name, job))
                return;
            const FileIdentity there = m_dir.entry(name, false, ignored);
            if (!ignored && !there.sameFileAs(m_source))
                m_dir.remove(name, ignored);
        },
        ec);
}

RawFile OutputFolder::createPart(const fs::path& part, std::error_code& ec) const
{
    RawFile file = m_dir.createNew(part, ec);
    if (ec != std::errc::file_exists)
        return file;
    // Only its entry goes (a link is not followed), and never when it is the source itself.
    const FileIdentity there = m_dir.entry(part, false, ec);
    if (ec)
        return {};
    if (there.sameFileAs(m_source)) {
        ec = std::make_error_code(std::errc::file_exists);
        return {};
    }
    m_dir.remove(part, ec);
    return m_dir.createNew(part, ec);
}

std::optional<ExtractError> OutputFolder::putInPlace(const fs::path& part, const fs::path& name,
                                                     const fs::path& shownAs,
                                                     std::string_view what) const
{
    // Mostly the name is free and the file simply takes it; only when something sits there is
    // it looked at before it is replaced.
    std::error_code ec;
    if (!m_dir.placeNew(part, name, ec) && !ec) {
        if (auto error = checkOccupant(name, shownAs, what))
            return error;
        m_dir.replace(part, name, ec);
    }
    if (ec)
        return makeError(ErrorKind::ImageWrite, shownAs, "Cannot finish " + std::string(what), ec);
    return std::nullopt;
}

std::optional<ExtractError> OutputFolder::checkOccupant(const fs::path& name,
                                                        const fs::path& shownAs,
                                                        std::string_view what) const
{
    const std::string cannot = "Cannot create " + std::string(what);
    std::error_code ec;
    const FileIdentity here = m_dir.entry(name, false, ec);
    if (ec)
        return makeError(ErrorKind::ImageCreate, shownAs, cannot, ec);
    if (here.type == FileType::Directory)
        return makeError(ErrorKind::ImageCreate, shownAs, cannot,
                         std::make_error_code(std::errc::is_a_directory));
    FileIdentity reached = here;
    if (here.type == FileType::Link)
        reached = m_dir.entry(name, true, ec);
    for (const FileIdentity& id : {here, reached}) {
        if (id.type != FileType::Missing && id.sameFileAs(m_source))
            return isTheSource(shownAs, what);
    }
    if (!m_filesOnly)
        return std::nullopt;
    // Only a file is replaced: a device, a pipe or a socket there (or reached through a link,
    // as /dev/stdout is) stays, and so does a folder a link leads to.
    if (here.type == FileType::Other || reached.type == FileType::Other)
        return notAFile(shownAs, what);
    if (reached.type == FileType::Directory)
        return makeError(ErrorKind::ImageCreate, shownAs, cannot,
                         std::make_error_code(std::errc::is_a_directory));
    return std::nullopt;
}

void OutputFolder::linkPart(const RawDir* fromDir, const fs::path& from,
                            const FileIdentity& expected, const fs::path& part,
                            const std::function<bool(RawFile&)>& sameBytes,
                            std::error_code& ec) const
{
    const RawDir& source = fromDir != nullptr ? *fromDir : m_dir;
    m_dir.linkFrom(source, from, part, ec);
    if (ec == std::errc::file_exists) {
        // A leftover at the part name goes as createPart() lets it go; never the source.
        const bool isSource = m_dir.entry(part, false, ec).sameFileAs(m_source);
        if (!ec && isSource)
            ec = std::make_error_code(std::errc::file_exists);
        if (!ec)
            m_dir.remove(part, ec);
        if (!ec)
            m_dir.linkFrom(source, from, part, ec);
    }
    if (ec)
        return;
    // The name may have been given to another file since it was written, or the file written
    // to: only that file, as it was, is linked, never what took its place. A file removed and
    // another created may get the same number, so its size, its time and its bytes tell. The
    // link is opened as a regular file only (never a pipe or a link followed), and judged by
    // what the open file is.
    RawFile bytes = m_dir.openForReading(part, ec);
    const FileIdentity linked = ec ? FileIdentity{} : bytes.identity(ec);
    const bool same = !ec && linked.sameFileAs(expected) && linked.type == FileType::Regular &&
                      linked.size == expected.size && linked.changed == expected.changed;
    if (!ec && (!same || !sameBytes(bytes)))
        ec = std::make_error_code(std::errc::invalid_argument);
    if (ec)
        discard(part);
}

void OutputFolder::discard(const fs::path& part) const
{
    std::error_code ignored;
    m_dir.remove(part, ignored);
}

std::uint64_t OutputFolder::countStaleImages(const ExtractJob& job, std::uint64_t count) const
{
    std::uint64_t stale = 0;
    std::error_code ec;
    m_dir.forEachName(
        [&](const fs::path& name) {
            const auto number = imageNumber(name, job.stem, job.outExt);
            if (number && *number > count)
                ++stale;
        },
        ec);
    return stale;
}

} // namespace glintmark
