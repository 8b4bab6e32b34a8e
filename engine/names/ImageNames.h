#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>

namespace glintmark {

// The stem every image's file name starts with: "Vorlesk_0001.jpg".
inline constexpr std::string_view kImageStem = "Vorlesk_";
// The extension every image's file name ends with.
inline constexpr std::string_view kImageExt = ".jpg";

// The file name of image `number`: prefix, the number with at least four digits, extension.
std::filesystem::path imageFileName(const std::filesystem::path& outPrefix, std::uint64_t number,
                                    std::string_view ext);

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

// Whether two bare names name one entry: letter case is ignored where the file system ignores it
// (Windows, macOS), and names are compared exactly elsewhere.
bool sameFileName(const std::filesystem::path& a, const std::filesystem::path& b);

} // namespace glintmark
