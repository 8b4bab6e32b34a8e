#include "engine/ModMisc.h"

namespace glintmark {
namespace {

bool isSeparator(std::filesystem::path::value_type c)
{
#ifdef _WIN32
    return c == L'\\' || c == L'/';
#else
    return c == '/';
#endif
}

} // namespace

std::filesystem::path AddSlash(const std::filesystem::path& path)
{
    auto text = path.native();
    if (text.empty() || !isSeparator(text.back()))
        text.push_back(std::filesystem::path::preferred_separator);
    return std::filesystem::path(std::move(text));
}

} // namespace glintmark
