#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace glintmark {

// What went wrong when a run failed.
enum class ErrorKind
{
    InvalidJob,     // the job itself makes no sense (empty signature, zero block size, a folder
                    // in the image names)
    SourceOpen,     // the source is missing, unreadable or a folder
    SourceRead,     // reading the source failed part way
    OutputFolder,   // the output folder is missing or not a folder
    OutputIsSource, // an image name would overwrite the source itself
    OutputBusy,     // another run is writing into the output folder
    ImageCreate,    // an image file could not be created
    ImageWrite      // writing or closing an image file failed (disk full, file too large)
};

// A failure, with a message that names the file and the system's reason.
struct ExtractError
{
    ErrorKind kind = ErrorKind::InvalidJob;
    std::filesystem::path file;
    std::string message;
};

// The name reports give a kind of error: "source-open", "output-is-source", ...
const char* errorKindName(ErrorKind kind);

// A failure of `kind` on `file`: "<what> "<file>": <the system's reason>".
ExtractError makeError(ErrorKind kind, const std::filesystem::path& file, std::string_view what,
                       std::error_code reason);

} // namespace glintmark
