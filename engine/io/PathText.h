#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace glintmark {

// A path as UTF-8 text, for messages, whatever the platform's own path encoding is.
std::string displayPath(const std::filesystem::path& path);

// A path as a report gives it to programs (JSON): every byte of the name kept and readable
// back. On POSIX, where names are bytes, escapedName() of them; on Windows, whose names are
// UTF-16, their UTF-8 form, '\\' between folders.
std::string reportedPath(const std::filesystem::path& path);

// A path from UTF-8 text (as the command line gives it), never read in a legacy code page.
std::filesystem::path pathFromUtf8(std::string_view text);

} // namespace glintmark
