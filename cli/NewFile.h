#pragma once

#include "engine/Extraction.h"
#include "engine/RawDir.h"
#include "engine/RawFile.h"

#include <cstddef>
#include <filesystem>
#include <optional>

namespace glintmark::cli {

// One whole file written through its opened, locked folder: under a hidden name until it is
// complete and checked, then put in place of its name in one step. Never written through a link,
// never over the file it is made from; whatever is not committed is removed.
class NewFile
{
public:
    NewFile() = default;
    // Removes the hidden file if it was not committed.
    ~NewFile();
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    // Opens and locks the folder of `target` and refuses a target that is a folder, or that is
    // or leads to the file `made from` (or is a hard link to it); nothing is created yet.
    std::optional<ExtractError> prepare(const std::filesystem::path& target,
                                        const FileIdentity& madeFrom);
    // Creates the hidden file.
    std::optional<ExtractError> create();
    // Appends bytes to the hidden file.
    std::optional<ExtractError> write(const char* data, std::size_t count);
    // Closes the hidden file and puts it in place of the target's name.
    std::optional<ExtractError> commit();
    // Closes and removes the hidden file.
    void abandon();

private:
    // Refuses a target name that is a folder, or that is or leads to the file it is made from.
    std::optional<ExtractError> checkTarget() const;

    std::filesystem::path m_target;
    std::filesystem::path m_name;
    std::filesystem::path m_hidden;
    FileIdentity m_madeFrom;
    RawDir m_folder;
    RawFile m_file;
    bool m_created = false;
};

} // namespace glintmark::cli
