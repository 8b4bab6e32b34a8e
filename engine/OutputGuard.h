#pragma once

#include "engine/Extraction.h"
#include "engine/RawDir.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>

namespace glintmark {

// Whether `fileName` (a bare name, no folder) is imageFileName(prefix, n, ext) for some n >= 1,
// where `prefixName` is the last part of the output prefix ("Vorlesk_").
bool isImageName(const std::filesystem::path& fileName, const std::filesystem::path& prefixName,
                 std::string_view ext);

// The n of an image name as above, or nothing; numbers too large to hold come out as the largest.
std::optional<std::uint64_t> imageNumber(const std::filesystem::path& fileName,
                                         const std::filesystem::path& prefixName,
                                         std::string_view ext);

// The hidden name an image is written under until it is complete: ".Vorlesk_0001.jpg.part".
std::filesystem::path temporaryName(const std::filesystem::path& imageName);

// Whether `fileName` is the temporaryName() of an image name of this prefix and extension.
bool isTemporaryName(const std::filesystem::path& fileName, const std::filesystem::path& prefixName,
                     std::string_view ext);

// The folder the images go to: the output prefix without its last part ("." when it has none).
std::filesystem::path outputFolder(const std::filesystem::path& outPrefix);

// Checks, before anything is written, that the output folder exists and is a folder, and that
// none of the names the run may create, replace or remove is the source file itself: the images,
// the job's final files, the hidden names both are written under, and the folder's lock file.
std::optional<ExtractError> checkOutput(const ExtractJob& job);

// Readies the output folder of a writing run: creates it when the job asks, checks it as above,
// opens it into `folder`, takes its lock (refusing when another run holds it) and removes the
// temporaries that a run killed outright left behind, never the file `source`.
std::optional<ExtractError> openOutputFolder(const ExtractJob& job, RawDir& folder,
                                             const FileIdentity& source);

// How many image names in `folder` are numbered beyond `count`.
std::uint64_t countStaleImages(const RawDir& folder, const ExtractJob& job, std::uint64_t count);

} // namespace glintmark
