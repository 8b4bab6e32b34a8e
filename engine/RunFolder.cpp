#include "engine/RunFolder.h"

#include "engine/OutputFolder.h"
#include "engine/io/PathText.h"
#include "engine/names/ImageNames.h"

#include <system_error>

namespace glintmark {
namespace {

std::string capitalised(std::string_view what)
{
    std::string text(what);
    if (!text.empty() && text[0] >= 'a' && text[0] <= 'z')
        text[0] = static_cast<char>(text[0] - 'a' + 'A');
    return text;
}

// The one outcome of a replacement that must never happen: the source replaced by output.
ExtractError isTheSource(const std::filesystem::path& shownAs, std::string_view what)
{
    ExtractError error;
    error.kind = ErrorKind::OutputIsSource;
    error.file = shownAs;
    error.message = capitalised(what) + " \"" + displayPath(shownAs) +
                    "\" is the source file itself, or leads to it; it was left untouched";
    return error;
}

// Refuses a name that is a folder, or that is or leads to the source.
std::optional<ExtractError> checkOccupant(const RawDir& folder, const std::filesystem::path& name,
                                          const std::filesystem::path& shownAs,
                                          const FileIdentity& source, std::string_view what)
{
    const std::string cannot = "Cannot create " + std::string(what);
    std::error_code ec;
    const FileIdentity here = folder.entry(name, false, ec);
    if (ec)
        return makeError(ErrorKind::ImageCreate, shownAs, cannot, ec);
    if (here.type == FileType::Directory)
        return makeError(ErrorKind::ImageCreate, shownAs, cannot,
                         std::make_error_code(std::errc::is_a_directory));
    FileIdentity reached = here;
    if (here.type == FileType::Link)
        reached = folder.entry(name, true, ec);
    for (const FileIdentity& id : {here, reached}) {
        if (id.type != FileType::Missing && id.sameFileAs(source))
            return isTheSource(shownAs, what);
    }
    return std::nullopt;
}

// Collects the bytes of a whole file into its hidden file, remembering the first failure.
class TemporaryWriter : public FileWriter
{
public:
    explicit TemporaryWriter(RawFile& file) : m_file(file) {}

    bool write(std::string_view bytes) override
    {
        if (!m_failure)
            m_file.writeAll(bytes.data(), bytes.size(), m_failure);
        return !m_failure;
    }

    std::error_code failure() const { return m_failure; }

private:
    RawFile& m_file;
    std::error_code m_failure;
};

} // namespace

std::optional<ExtractError> openLockedFolder(const std::filesystem::path& path,
                                             std::string_view what, std::string_view other,
                                             RawDir& folder)
{
    std::error_code ec;
    folder = RawDir::open(path, ec);
    if (ec)
        return makeError(ErrorKind::OutputFolder, path, "Cannot use " + std::string(what), ec);
    if (!folder.tryLock(ec)) {
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

std::optional<ExtractError> putInPlace(const RawDir& folder, const std::filesystem::path& temporary,
                                       const std::filesystem::path& name,
                                       const std::filesystem::path& shownAs,
                                       const FileIdentity& source, std::string_view what)
{
    // Mostly the name is free and the file simply takes it; only when something sits there is
    // it looked at before it is replaced.
    std::error_code ec;
    if (!folder.placeNew(temporary, name, ec) && !ec) {
        if (auto error = checkOccupant(folder, name, shownAs, source, what))
            return error;
        folder.replace(temporary, name, ec);
    }
    if (ec)
        return makeError(ErrorKind::ImageWrite, shownAs, "Cannot finish " + std::string(what), ec);
    return std::nullopt;
}

RawFile createTemporary(const RawDir& folder, const std::filesystem::path& temporary,
                        const FileIdentity& source, std::error_code& ec)
{
    RawFile file = folder.createNew(temporary, ec);
    if (ec != std::errc::file_exists)
        return file;
    // Only its entry goes (a link is not followed), and never when it is the source itself.
    const FileIdentity there = folder.entry(temporary, false, ec);
    if (ec)
        return {};
    if (there.sameFileAs(source)) {
        ec = std::make_error_code(std::errc::file_exists);
        return {};
    }
    folder.remove(temporary, ec);
    return folder.createNew(temporary, ec);
}

RunFolder::RunFolder(const ExtractJob& job, const RawDir* folder, const FileIdentity& source)
    : RunFolder(outputFolder(job.outPrefix), folder, source)
{}

RunFolder::RunFolder(std::filesystem::path shownFolder, const RawDir* folder,
                     const FileIdentity& source)
    : m_shownFolder(std::move(shownFolder)), m_folder(folder), m_source(source)
{}

std::optional<ExtractError> RunFolder::checkName(const std::filesystem::path& name,
                                                 std::string_view what) const
{
    const std::filesystem::path shownAs = m_shownFolder / name;
    if (m_folder == nullptr || name.has_parent_path() || !name.has_filename())
        return makeError(ErrorKind::ImageCreate, shownAs, "Cannot create " + std::string(what),
                         std::make_error_code(std::errc::is_a_directory));
    return checkOccupant(*m_folder, name, shownAs, m_source, what);
}

std::optional<ExtractError> RunFolder::writeFile(const std::filesystem::path& name,
                                                 std::string_view what,
                                                 const std::function<bool(FileWriter&)>& produce)
{
    const std::filesystem::path shownAs = m_shownFolder / name;
    std::error_code ec;
    if (m_folder == nullptr || name.has_parent_path() || !name.has_filename())
        return makeError(ErrorKind::ImageCreate, shownAs, "Cannot create " + std::string(what),
                         std::make_error_code(std::errc::invalid_argument));
    const std::filesystem::path temporary = temporaryName(name);
    RawFile file = createTemporary(*m_folder, temporary, m_source, ec);
    if (ec)
        return makeError(ErrorKind::ImageCreate, shownAs, "Cannot create " + std::string(what), ec);

    TemporaryWriter writer(file);
    const bool complete = produce(writer);
    std::error_code closed;
    file.close(closed);
    ec = writer.failure() ? writer.failure() : closed;
    std::optional<ExtractError> error;
    if (ec)
        error = makeError(ErrorKind::ImageWrite, shownAs, "Cannot write " + std::string(what), ec);
    else if (complete)
        error = putInPlace(*m_folder, temporary, name, shownAs, m_source, what);
    if (error || !complete) {
        m_stopped = m_stopped || (!ec && !complete);
        std::error_code ignored; // the hidden file goes; there is nothing else to tell
        m_folder->remove(temporary, ignored);
    }
    return error;
}

} // namespace glintmark
