#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace glintmark::testsupport {

// What sha256sum says of the file `file`: 64 lower-case hex digits; empty where there is no
// sha256sum to ask.
std::string sha256sumOf(const std::filesystem::path& file);

// Whether there is a sha256sum to ask (there is none under Wine, for one).
bool sha256sumHere();

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

// A picture as a tool wrote it: 8-bit grey (1) or RGB (3) samples, row after row.
struct ToolPicture
{
    unsigned width = 0;
    unsigned height = 0;
    int components = 0;
    std::vector<unsigned char> pixels;
};

// Whether ImageMagick's convert and libjpeg-turbo's djpeg and cjpeg answer here: never on
// Windows, where no POSIX shell runs them.
bool imageToolsHere();

// `path` quoted for the shell.
std::string shellQuoted(const std::filesystem::path& path);

// Whether the shell command `command` ran and exited with 0 (its output discarded).
bool runTool(const std::string& command);

// What djpeg decodes the JPEG `file` to (grey when `grey`); nothing where it fails.
std::optional<ToolPicture> djpegPicture(const std::filesystem::path& file, bool grey = false);

// What ImageMagick's convert makes of the image `file` as 8-bit samples: grey (`components` 1,
// as Rec. 601 luma) or RGB (3); nothing where it fails.
std::optional<ToolPicture> convertPicture(const std::filesystem::path& file, int components);

} // namespace glintmark::testsupport
