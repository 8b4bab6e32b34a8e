#include "engine/LockedFolder.h"

#include "engine/ExtractTypes.h"
#include "engine/names/ImageNames.h"
#include "engine/run/OutputFolder.h"

#include <system_error>

namespace glintmark {

LockedFolder::LockedFolder(const ExtractJob& job, const OutputFolder* folder)
    : LockedFolder(imageFolder(job.outputFolder), folder)
{}

LockedFolder::LockedFolder(std::filesystem::path shownFolder, const OutputFolder* folder)
    : m_shownFolder(std::move(shownFolder)), m_folder(folder)
{}

LockedFolder::~LockedFolder() = default;
LockedFolder::LockedFolder(LockedFolder&&) noexcept = default;

LockedFolder LockedFolder::openBeside(const std::filesystem::path& file, const FileIdentity& source,
                                      std::string_view what, std::string_view other,
                                      std::optional<ExtractError>& error)
{
    const std::filesystem::path shownFolder = file.parent_path();
    auto owned = std::make_unique<OutputFolder>(source);
    LockedFolder folder(shownFolder, nullptr);
    error = owned->openLocked(shownFolder.empty() ? std::filesystem::path(".") : shownFolder,
                              "the folder", other);
    if (error)
        return folder;
    owned->replaceFilesOnly();
    folder.m_owned = std::move(owned);
    folder.m_folder = folder.m_owned.get();
    error = folder.checkName(file.filename(), what);
    // A hidden file of the same name is what a run killed outright left; holding the lock, this
    // run is the only one that could be writing it.
    if (!error)
        folder.m_folder->discard(temporaryName(file.filename()));
    return folder;
}

std::optional<ExtractError> LockedFolder::checkName(const std::filesystem::path& name,
                                                    std::string_view what) const
{
    const std::filesystem::path shownAs = m_shownFolder / name;
    if (m_folder == nullptr || name.has_parent_path() || !name.has_filename())
        return makeError(ErrorKind::ImageCreate, shownAs, "Cannot create " + std::string(what),
                         std::make_error_code(std::errc::is_a_directory));
    return m_folder->checkOccupant(name, shownAs, what);
}

FileIdentity LockedFolder::entry(const std::filesystem::path& name, std::error_code& ec) const
{
    ec.clear();
    if (m_folder == nullptr || name.has_parent_path() || !name.has_filename())
        return {};
    return m_folder->entry(name, ec);
}

std::optional<ExtractError>
LockedFolder::placeLink(const RawDir* fromDir, const std::filesystem::path& from,
                        const FileIdentity& expected, const std::filesystem::path& name,
                        std::string_view what, const std::function<bool(RawFile&)>& sameBytes,
                        std::error_code& linkRefused)
{
    linkRefused.clear();
    const std::filesystem::path shownAs = m_shownFolder / name;
    if (m_folder == nullptr || name.has_parent_path() || !name.has_filename())
        return makeError(ErrorKind::ImageCreate, shownAs, "Cannot create " + std::string(what),
                         std::make_error_code(std::errc::invalid_argument));
    const std::filesystem::path temporary = temporaryName(name);
    m_folder->linkPart(fromDir, from, expected, temporary, sameBytes, linkRefused);
    if (linkRefused)
        return std::nullopt;
    auto error = m_folder->putInPlace(temporary, name, shownAs, what);
    if (error)
        m_folder->discard(temporary);
    return error;
}

std::optional<ExtractError> LockedFolder::writeFile(const std::filesystem::path& name,
                                                    std::string_view what,
                                                    const std::function<bool(FileWriter&)>& produce)
{
    bool complete = false;
    std::optional<ExtractError> error = writeHidden(name, what, produce, complete);
    if (error || !complete)
        return error;
    return placePart(name, what);
}

std::optional<ExtractError> LockedFolder::writePart(const std::filesystem::path& name,
                                                    std::string_view what,
                                                    const std::function<bool(FileWriter&)>& produce)
{
    bool complete = false;
    return writeHidden(name, what, produce, complete);
}

std::optional<ExtractError>
LockedFolder::writeHidden(const std::filesystem::path& name, std::string_view what,
                          const std::function<bool(FileWriter&)>& produce, bool& complete)
{
    const std::filesystem::path shownAs = m_shownFolder / name;
    std::error_code ec;
    if (m_folder == nullptr || name.has_parent_path() || !name.has_filename())
        return makeError(ErrorKind::ImageCreate, shownAs, "Cannot create " + std::string(what),
                         std::make_error_code(std::errc::invalid_argument));
    const std::filesystem::path temporary = temporaryName(name);
    RawFile file = m_folder->createPart(temporary, ec);
    if (ec)
        return makeError(ErrorKind::ImageCreate, shownAs, "Cannot create " + std::string(what), ec);

    RawFileWriter writer(file);
    complete = produce(writer);
    std::error_code closed;
    file.close(closed);
    ec = writer.failure() ? writer.failure() : closed;
    std::optional<ExtractError> error;
    if (ec)
        error = makeError(ErrorKind::ImageWrite, shownAs, "Cannot write " + std::string(what), ec);
    if (error || !complete) {
        m_stopped = m_stopped || (!ec && !complete);
        m_folder->discard(temporary); // the hidden file goes; there is nothing else to tell
    }
    return error;
}

std::optional<ExtractError> LockedFolder::placePart(const std::filesystem::path& name,
                                                    std::string_view what)
{
    const std::filesystem::path temporary = temporaryName(name);
    std::optional<ExtractError> error =
        m_folder->putInPlace(temporary, name, m_shownFolder / name, what);
    if (error)
        m_folder->discard(temporary);
    return error;
}

void LockedFolder::discardPart(const std::filesystem::path& name)
{
    if (m_folder != nullptr)
        m_folder->discard(temporaryName(name));
}

bool RawFileWriter::write(std::string_view bytes)
{
    if (!m_failure)
        m_file.writeAll(bytes.data(), bytes.size(), m_failure);
    return !m_failure;
}

RangeCopy RawFileWriter::copyRange(const RawFile& source, std::uint64_t offset, std::uint64_t count)
{
    if (m_failure)
        return RangeCopy::Failed;
    if (m_noRangeCopy)
        return RangeCopy::Unsupported;
    std::error_code ec;
    const std::uint64_t copied = m_file.copyRangeFrom(source, offset, count, ec);
    if (ec == std::errc::operation_not_supported) {
        m_noRangeCopy = true;
        return RangeCopy::Unsupported;
    }
    if (ec) {
        m_failure = ec;
        return RangeCopy::Failed;
    }
    return copied < count ? RangeCopy::Short : RangeCopy::Copied;
}

} // namespace glintmark
