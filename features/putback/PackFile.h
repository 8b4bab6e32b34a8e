#pragma once

#include "engine/ExtractError.h"
#include "features/game/Sha256.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace glintmark::features {

// The name of a pack's description, in the pack's folder beside its textures.
inline constexpr std::string_view kPackRecord = "pack.json";
// The largest pack.json read: far beyond any set of edits, small enough to hold whole.
inline constexpr std::uint64_t kPackRecordLimit = std::uint64_t{16} << 20;

// One edited texture of a pack: the original texture's digest and frame, and the edit's file in
// the pack, named `<digest hex>.<extension>`.
struct PackEntry
{
    Digest texture{};
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int components = 0;
    std::string file{};
};

// The file name an edit of `texture` takes in a pack, keeping the extension of `edit` (lower
// case; ".jpg" when it has none).
std::string packFileName(const Digest& texture, const std::filesystem::path& edit);

// pack.json for `entries` (in the order given): {"format": "glintmark-pack", "version": 1,
// "digest": "sha256", "textures": [{"sha256", "width", "height", "components", "file"}, ...]}.
std::string packJson(const std::vector<PackEntry>& entries);

// What a pack's folder holds, as its pack.json describes it.
struct PackRead
{
    std::vector<PackEntry> entries{}; // in the order pack.json lists them
    std::optional<ExtractError> error{};
};

// Whether the folder `folder` holds a pack.json (a regular file, not a link): then it is a pack.
bool isPackFolder(const std::filesystem::path& folder);

// Reads and checks the pack in `folder`: pack.json no larger than kPackRecordLimit, of this
// format and version, each digest 64 lower-case hex digits and given once, each file named
// `<digest>.<extension>` (no folder in it) and a regular file in the folder. A failure names
// pack.json, or the file it lists, and what is wrong.
PackRead readPack(const std::filesystem::path& folder);

} // namespace glintmark::features
