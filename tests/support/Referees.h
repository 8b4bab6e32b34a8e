#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace glintmark::testsupport {

// What sha256sum says of the file `file`: 64 lower-case hex digits; empty where there is no
// sha256sum to ask.
std::string sha256sumOf(const std::filesystem::path& file);

// A file as stat sees it: its size and its last write in nanoseconds since 1970-01-01 UTC.
struct StatFacts
{
    std::uint64_t size = 0;
    std::uint64_t modified = 0;
};

// What stat says of the file `file`; nothing where there is no GNU stat to ask.
std::optional<StatFacts> statOf(const std::filesystem::path& file);

} // namespace glintmark::testsupport
