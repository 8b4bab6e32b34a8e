#pragma once

#include "engine/ExtractError.h"
#include "features/game/Sha256.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace glintmark::features {

// One level as the extraction that cut the edited images recorded it.
struct IndexedLevel
{
    std::optional<std::uint64_t> size{};     // its file's size then; none for what was no file
    std::optional<std::uint64_t> modified{}; // its last write then, in ns since 1970-01-01 UTC
    // Each image's number and the texture it held, in ascending order of number.
    std::vector<std::pair<std::uint64_t, Digest>> images{};
};

// The index (textures.json) of the extraction a folder of edited images came from.
struct EditIndex
{
    std::filesystem::path file{};
    std::map<std::string, IndexedLevel> levels{}; // by the name the index gives each level

    // The level the index names `name`; null when it names none so.
    const IndexedLevel* level(const std::string& name) const;
};

// What stands at the place of a folder's index.
struct EditIndexRead
{
    std::optional<EditIndex> index{}; // an index of the version put-back reads
    // When there is none to go by (no file there, or an index of an older version): why, as a
    // fragment following "the edits go by number: ".
    std::string byNumber{};
    // There is a file, but it is no index put-back can read (not JSON, members missing or
    // mistyped, a newer version): the file and the reason.
    std::optional<ExtractError> error{};
};

// Reads the index `file` whole (an index holds a few numbers per image, a few MB for a large
// game).
EditIndexRead readEditIndex(const std::filesystem::path& file);

} // namespace glintmark::features
