#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace glintmark::testsupport {

// What sha256sum says of the file `file`: 64 lower-case hex digits; empty where there is no
// sha256sum to ask.
std::string sha256sumOf(const std::filesystem::path& file);

// What find and sha256sum say of everything below the folder `folder`, hidden entries too:
// one sorted line per entry, "<sha256>  ./<path>" for a regular file, "<type> ./<path>" for
// anything else (find's letter: d a folder, l a link, p a pipe); empty where the folder is not
// there (or the tools are not).
std::string treeListing(const std::filesystem::path& folder);

// A file as stat sees it: its size and its last write in nanoseconds since 1970-01-01 UTC.
struct StatFacts
{
    std::uint64_t size = 0;
    std::uint64_t modified = 0;
};

// What stat says of the file `file`; nothing where there is no GNU stat to ask.
std::optional<StatFacts> statOf(const std::filesystem::path& file);

} // namespace glintmark::testsupport
