#pragma once

#include "engine/Extraction.h"
#include "engine/io/RawDir.h"
#include "engine/io/RawFile.h"

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace glintmark {

// Puts the complete hidden file `temporary` in the place of `name` inside `folder`. Whatever sat
// at the name (a file, a link, a pipe) is replaced as an entry, never written through; a folder
// there is refused, and so is a name that is the file `source` or leads to it. `shownAs` is the
// path messages name, `what` says what the file is ("the image file").
std::optional<ExtractError> putInPlace(const RawDir& folder, const std::filesystem::path& temporary,
                                       const std::filesystem::path& name,
                                       const std::filesystem::path& shownAs,
                                       const FileIdentity& source, std::string_view what);

// Creates the hidden file `temporary` in `folder` for writing. One left there by a run killed
// outright (or put there since) loses its entry first, unless it is the file `source`.
RawFile createTemporary(const RawDir& folder, const std::filesystem::path& temporary,
                        const FileIdentity& source, std::error_code& ec);

// Opens the existing folder `path` into `folder` and takes this program's lock on it, refusing
// when another run holds it. `what` names the folder in messages ("the output folder"), `other`
// the run that holds it ("extraction").
std::optional<ExtractError> openLockedFolder(const std::filesystem::path& path,
                                             std::string_view what, std::string_view other,
                                             RawDir& folder);

// A whole file on its way into the output folder; its bytes are added piece by piece.
class FileWriter
{
public:
    virtual ~FileWriter() = default;
    // Adds bytes at the end; false once writing has failed (the file will not be kept).
    virtual bool write(std::string_view bytes) = 0;
};

// The output folder of a run that has read its whole source, while the run still holds it open
// and locked; handed to ExtractObserver::onFinish. Null folder in list mode: nothing is written.
class RunFolder
{
public:
    RunFolder(const ExtractJob& job, const RawDir* folder, const FileIdentity& source);
    // A folder opened and locked by any other run that writes whole files from `source`;
    // `shownFolder` is its path as messages name it.
    RunFolder(std::filesystem::path shownFolder, const RawDir* folder, const FileIdentity& source);

    // Refuses, before anything is written, a name writeFile() could not put in place: not a
    // bare name, a folder, or the source file or a link to it.
    std::optional<ExtractError> checkName(const std::filesystem::path& name,
                                          std::string_view what) const;

    // Whether files can be written (a writing run).
    bool canWrite() const { return m_folder != nullptr; }

    // Writes the file `name` (a bare name inside the folder) whole: `produce` hands its bytes to
    // the writer and returns false to give up (a request to stop). The bytes go to a hidden file
    // created anew (".index.html.part") that takes the name only once complete, so a failure, a
    // size limit or a stop leaves what was there before, never part of the new file; so does a
    // failure `produce` meets and keeps to report itself, when it gives up for that. `what`
    // names the file in messages ("the gallery page").
    std::optional<ExtractError> writeFile(const std::filesystem::path& name, std::string_view what,
                                          const std::function<bool(FileWriter&)>& produce);

    // Whether the finishing work (a writeFile(), or anything else done there) was given up at a
    // request to stop; the run then ends as stopped.
    bool stopped() const { return m_stopped; }
    // Records that the finishing work was given up at a request to stop.
    void markStopped() { m_stopped = true; }

private:
    std::filesystem::path m_shownFolder;
    const RawDir* m_folder;
    FileIdentity m_source;
    bool m_stopped = false;
};

} // namespace glintmark
