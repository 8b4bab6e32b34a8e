#include "cli/NewFile.h"

#include "engine/ErrorText.h"

#include <system_error>

namespace glintmark::cli {

namespace fs = std::filesystem;

NewFile::~NewFile()
{
    abandon();
}

std::optional<ExtractError> NewFile::checkTarget() const
{
    std::error_code ec;
    const FileIdentity here = m_folder.entry(m_name, false, ec);
    FileIdentity reached = here;
    if (!ec && here.type == FileType::Link)
        reached = m_folder.entry(m_name, true, ec);
    if (ec)
        return makeError(ErrorKind::ImageCreate, m_target, "Cannot create", ec);
    if (here.type == FileType::Directory)
        return makeError(ErrorKind::ImageCreate, m_target, "Cannot create",
                         std::make_error_code(std::errc::is_a_directory));
    for (const FileIdentity& id : {here, reached}) {
        if (id.type != FileType::Missing && id.sameFileAs(m_madeFrom)) {
            ExtractError error;
            error.kind = ErrorKind::OutputIsSource;
            error.file = m_target;
            error.message = "\"" + displayPath(m_target) +
                            "\" is the source file itself, or leads to it; choose another name";
            return error;
        }
    }
    return std::nullopt;
}

std::optional<ExtractError> NewFile::prepare(const fs::path& target, const FileIdentity& madeFrom)
{
    m_target = target;
    m_name = target.filename();
    m_madeFrom = madeFrom;
    if (m_name.empty() || m_name == "." || m_name == "..")
        return makeError(ErrorKind::ImageCreate, target, "Cannot create",
                         std::make_error_code(std::errc::is_a_directory));
    m_hidden = fs::path(".");
    m_hidden += m_name;
    m_hidden += ".part";
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::error_code ec;
    m_folder = RawDir::open(folder, ec);
    if (ec)
        return makeError(ErrorKind::OutputFolder, folder, "Cannot use the folder", ec);
    if (!m_folder.tryLock(ec)) {
        if (ec)
            return makeError(ErrorKind::OutputFolder, folder, "Cannot lock the folder", ec);
        ExtractError error;
        error.kind = ErrorKind::OutputBusy;
        error.file = folder;
        error.message = "Another run is writing into the folder \"" + displayPath(folder) +
                        "\"; wait for it to end or choose another folder";
        return error;
    }
    return checkTarget();
}

std::optional<ExtractError> NewFile::create()
{
    std::error_code ec;
    m_file = m_folder.createNew(m_hidden, ec);
    if (ec == std::errc::file_exists) {
        // Left by a run killed outright: only its entry goes.
        m_folder.remove(m_hidden, ec);
        m_file = m_folder.createNew(m_hidden, ec);
    }
    if (ec)
        return makeError(ErrorKind::ImageCreate, m_target, "Cannot create", ec);
    m_created = true;
    return std::nullopt;
}

std::optional<ExtractError> NewFile::write(const char* data, std::size_t count)
{
    std::error_code ec;
    m_file.writeAll(data, count, ec);
    if (!ec)
        return std::nullopt;
    abandon();
    return makeError(ErrorKind::ImageWrite, m_target, "Cannot write", ec);
}

std::optional<ExtractError> NewFile::commit()
{
    std::error_code ec;
    m_file.close(ec);
    // Mostly the name is free; only when something sits there is it looked at again.
    if (!ec && !m_folder.placeNew(m_hidden, m_name, ec) && !ec) {
        if (auto error = checkTarget()) {
            abandon();
            return error;
        }
        m_folder.replace(m_hidden, m_name, ec);
    }
    if (ec) {
        abandon();
        return makeError(ErrorKind::ImageWrite, m_target, "Cannot finish", ec);
    }
    m_created = false;
    return std::nullopt;
}

void NewFile::abandon()
{
    if (!m_created)
        return;
    m_created = false;
    std::error_code ec;
    m_file.close(ec);
    m_folder.remove(m_hidden, ec);
}

} // namespace glintmark::cli
