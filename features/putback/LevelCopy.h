#pragma once

#include "engine/LockedFolder.h"
#include "engine/io/RawFile.h"
#include "features/RunEvents.h"
#include "features/putback/PutBack.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

namespace glintmark::features {

// What a new level is made of: the source as it was scanned, and what goes over it.
struct LevelParts
{
    const std::filesystem::path& sourcePath; // as messages name the source
    const std::filesystem::path& into;       // as messages name the new level
    const RawFile& source;
    const FileIdentity& sourceId;       // as it was when it was scanned
    std::uint64_t images;               // signatures the scan found
    std::vector<Replacement>& replaced; // in ascending order of offset
    // Gives a replacement the plan did not hold its bytes again.
    std::function<std::optional<ExtractError>(Replacement&)> reload;
};

// The source put-back can copy, `source` opened from `path`: a regular file that reports its
// size. Fills in its identity.
std::optional<ExtractError> refuseSource(const std::filesystem::path& path, const RawFile& source,
                                         FileIdentity& sourceId);

// Copies the source to `target` with the replacements put over it, checking every block and,
// at the end, the whole (NewLevelCheck) and that the source did not change; false when it gave
// up, at a request to stop (`stopped`) or at a failure (`error`, or the writer's own). The
// replacements' bytes are let go as the copy passes them.
bool copyLevel(LevelParts& level, FileWriter& target, RunEvents& events, bool& stopped,
               std::optional<ExtractError>& error);

} // namespace glintmark::features
