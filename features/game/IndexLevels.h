#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace glintmark::features {

// The levels a game's index (textures.json) at `file` lists, as it names them; nullopt when there
// is no such file, or it does not begin as an index does. Only the start of the file is read,
// as far as the list of levels goes.
std::optional<std::vector<std::string>> readIndexLevels(const std::filesystem::path& file);

} // namespace glintmark::features
