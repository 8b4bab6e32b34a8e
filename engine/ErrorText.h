#pragma once

#include "engine/Extraction.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace glintmark {

// A path as UTF-8 text, for messages, whatever the platform's own path encoding is.
std::string displayPath(const std::filesystem::path& path);

// A path from UTF-8 text (as the command line gives it), never read in a legacy code page.
std::filesystem::path pathFromUtf8(std::string_view text);

// A failure of `kind` on `file`: "<what> "<file>": <the system's reason>".
ExtractError makeError(ErrorKind kind, const std::filesystem::path& file, std::string_view what,
                       std::error_code reason);

} // namespace glintmark
