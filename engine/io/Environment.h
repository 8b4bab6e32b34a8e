#pragma once

#include <optional>
#include <string>

namespace glintmark {

// The text of the process's environment variable `name`; nothing when it is not set.
std::optional<std::string> environmentText(const char* name);

} // namespace glintmark
