#pragma once

#include <filesystem>

namespace glintmark {

// Returns the path with the platform's separator appended unless it already ends in one.
std::filesystem::path AddSlash(const std::filesystem::path& path);

} // namespace glintmark
