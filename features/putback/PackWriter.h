#pragma once

#include "engine/ExtractError.h"
#include "features/RunEvents.h"
#include "features/putback/NewGameFolder.h"
#include "features/putback/PackFile.h"
#include "features/putback/PutBack.h"

#include <filesystem>
#include <optional>
#include <vector>

namespace glintmark::features {

// A pack's folder, known by its pack.json; an empty folder may become one too.
extern const BuiltFolder kPackFolder;

// Refuses, only looking, a folder `pack` that a pack may not replace: one that stands there, is
// not empty and holds no pack.json, or is no folder (a link, a file).
std::optional<ExtractError> refuseForeignPack(const std::filesystem::path& pack);

// What writing a pack did.
struct PackWritten
{
    std::vector<PackEntry> entries{}; // as pack.json lists them, in the order of the edits
    bool stopped = false;             // a stop was asked for; nothing was left behind
    std::optional<ExtractError> error{};
};

// Writes `edits` as the pack `pack`: each texture's edit once (the same texture edited twice
// by equal files is one entry; by different files it is refused, naming both), its file's bytes
// as they are, named packFileName(), and pack.json. The folder is built hidden beside `pack` and
// put in its place by one rename (an earlier pack or an empty folder there is replaced whole,
// anything else refused); a failure or a stop leaves `pack` as it was.
PackWritten writePack(const std::filesystem::path& pack, const std::vector<EditedTexture>& edits,
                      RunEvents& events);

} // namespace glintmark::features
