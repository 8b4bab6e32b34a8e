#include "engine/ExtractError.h"

#include "engine/io/PathText.h"

namespace glintmark {

ExtractError makeError(ErrorKind kind, const std::filesystem::path& file, std::string_view what,
                       std::error_code reason)
{
    ExtractError error;
    error.kind = kind;
    error.file = file;
    error.message = std::string(what) + " \"" + displayPath(file) + "\": " + reason.message();
    return error;
}

const char* errorKindName(ErrorKind kind)
{
    switch (kind) {
    case ErrorKind::InvalidJob:
        return "invalid-job";
    case ErrorKind::SourceOpen:
        return "source-open";
    case ErrorKind::SourceRead:
        return "source-read";
    case ErrorKind::OutputFolder:
        return "output-folder";
    case ErrorKind::OutputIsSource:
        return "output-is-source";
    case ErrorKind::OutputBusy:
        return "output-busy";
    case ErrorKind::ImageCreate:
        return "image-create";
    case ErrorKind::ImageWrite:
        return "image-write";
    }
    return "unknown";
}

} // namespace glintmark
