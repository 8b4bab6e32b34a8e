#include "engine/io/Environment.h"

#include <cstdlib>

namespace glintmark {

std::optional<std::string> environmentText(const char* name)
{
    const char* text = std::getenv(name);
    if (text == nullptr)
        return std::nullopt;
    return std::string(text);
}

} // namespace glintmark
