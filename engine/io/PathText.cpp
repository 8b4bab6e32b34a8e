#include "engine/io/PathText.h"

#include "engine/names/Utf8.h"

namespace glintmark {

std::string displayPath(const std::filesystem::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::string reportedPath(const std::filesystem::path& path)
{
#ifdef _WIN32
    return displayPath(path);
#else
    return escapedName(displayPath(path));
#endif
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

} // namespace glintmark
