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

// The file name of image `number`: stem, the number with at least four digits, extension.
std::filesystem::path imageFileName(const std::filesystem::path& stem, std::uint64_t number,
                                    std::string_view ext);

// Whether `fileName` (a bare name, no folder) is imageFileName(stem, n, ext) for some n >= 1.
bool isImageName(const std::filesystem::path& fileName, const std::filesystem::path& stem,
                 std::string_view ext);

// The n of an image name as above, or nothing; numbers too large to hold come out as the largest.
std::optional<std::uint64_t> imageNumber(const std::filesystem::path& fileName,
                                         const std::filesystem::path& stem, std::string_view ext);

// The hidden name an image is written under until it is complete: ".Vorlesk_0001.jpg.part".
std::filesystem::path temporaryName(const std::filesystem::path& imageName);

// Whether `fileName` is the temporaryName() of an image name of this stem and extension.
bool isTemporaryName(const std::filesystem::path& fileName, const std::filesystem::path& stem,
                     std::string_view ext);

// The output folder `folder` as a run opens it and names it in messages: without its trailing
// separators ("out/" is "out", "/" stays), "." when it is empty.
std::filesystem::path imageFolder(const std::filesystem::path& folder);

// The path a run reports for the file `name` in the output folder `folder`: the folder as given,
// a separator unless it ends in one, the name ("out/Vorlesk_0001.jpg"); "./" before it when the
// folder is empty.
std::filesystem::path imagePath(const std::filesystem::path& folder,
                                const std::filesystem::path& name);

// Whether two bare names name one entry: letter case is ignored where the file system ignores it
// (Windows, macOS), and names are compared exactly elsewhere.
bool sameFileName(const std::filesystem::path& a, const std::filesystem::path& b);

} // namespace glintmark
