#include "engine/ErrorText.h"

namespace glintmark {

std::string displayPath(const std::filesystem::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::filesystem::path pathFromUtf8(std::string_view text)
{
#ifdef _WIN32
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
#else
    // Names here are bytes: ones that are not valid UTF-8 must still reach the file system.
    return std::filesystem::path(text);
#endif
}

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
