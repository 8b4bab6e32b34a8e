#pragma once

#include <filesystem>
#include <string>

namespace glintmark::cli {

// A path as UTF-8 text, for messages and reports.
std::string pathText(const std::filesystem::path& path);

} // namespace glintmark::cli
