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

} // namespace glintmark
