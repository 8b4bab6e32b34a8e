#pragma once

#include "engine/Extraction.h"

#include <filesystem>
#include <optional>
#include <string_view>

namespace glintmark {

// Whether `fileName` (a bare name, no folder) is imageFileName(prefix, n, ext) for some n >= 1,
// where `prefixName` is the last part of the output prefix ("Vorlesk_").
bool isImageName(const std::filesystem::path& fileName, const std::filesystem::path& prefixName,
                 std::string_view ext);

// The folder the images go to: the output prefix without its last part ("." when it has none).
std::filesystem::path outputFolder(const std::filesystem::path& outPrefix);

// Checks, before anything is written, that the output folder exists and is a folder, and that
// none of the names the run may write is the source file itself.
std::optional<ExtractError> checkOutput(const ExtractJob& job);

} // namespace glintmark
