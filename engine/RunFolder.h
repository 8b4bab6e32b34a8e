#pragma once

#include "engine/Extraction.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace glintmark {

class OutputFolder;

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
    // The folder of a run of `job`, as its OutputFolder holds it (null in list mode).
    RunFolder(const ExtractJob& job, const OutputFolder* folder);
    // A folder opened and locked by any other run that writes whole files from its source;
    // `shownFolder` is its path as messages name it.
    RunFolder(std::filesystem::path shownFolder, const OutputFolder* folder);

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
    const OutputFolder* m_folder;
    bool m_stopped = false;
};

} // namespace glintmark
