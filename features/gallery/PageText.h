#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace glintmark::features {

// Text made safe inside HTML, in an element or a quoted attribute.
std::string htmlEscaped(const std::string& text);

// A size for people: "900 B", "12.3 KB".
std::string sizeText(std::uint64_t bytes);

// A relative path as a link's address: its UTF-8 bytes percent-encoded, but for letters,
// digits, "-._~" and '/' between folders.
std::string hrefOf(const std::filesystem::path& relative);

} // namespace glintmark::features
