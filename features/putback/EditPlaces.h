#pragma once

#include "engine/ExtractTypes.h"
#include "engine/io/RawFile.h"
#include "features/RunEvents.h"
#include "features/game/Sha256.h"
#include "features/putback/EditIndex.h"
#include "features/putback/PutBack.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace glintmark::features {

// Where one edited file goes in the level as it is now.
struct EditTarget
{
    std::uint64_t number = 0;            // the file's number, as the extraction named it
    std::optional<Digest> extracted{};   // the texture it was cut from, by the folder's index
    std::optional<ImageInfo> original{}; // its place now; none when the level has none for it
    std::optional<Digest> texture{};     // the texture at that place, when it was hashed
    std::string missing{};               // without a place: why, following the file's name
};

// A level read for the edits of its folder.
struct LevelEdits
{
    std::uint64_t images = 0;         // images in the level now
    std::uint64_t named = 0;          // images the files' names go by (the index's, or images)
    std::vector<EditTarget> targets;  // one for each edited file, in ascending order of number
    std::vector<ImageInfo> originals; // the targets' places, in ascending order of number
    SinceExtraction since{};

    // The place now of image `number`, which is among the originals.
    const ImageInfo& original(std::uint64_t number) const;
};

// What to read a level for: its edited files' numbers, the index's record of the level (null:
// the files go by number), the level's name in reasons, and whether every place's texture is
// wanted (its digest in each target's `texture`).
struct EditScan
{
    std::vector<std::uint64_t> numbers{};
    const IndexedLevel* indexed = nullptr;
    std::string levelName{};
    bool hashTextures = false;
};

// Reads the level `source` (the file `file`, as `sourceId` found it) once and ties each edited
// file to its place: with the index, the k-th use of texture D the index lists for the level goes
// to the k-th place of D in the level now (by number, whatever the numbers have become), and a
// file whose texture stands fewer times now has no place and says so; without, file N goes to
// image N. Fails as the scan fails; `stopped` at a stop.
std::optional<ExtractError> scanForEdits(const std::filesystem::path& file, RawFile& source,
                                         const FileIdentity& sourceId, const EditScan& scan,
                                         RunEvents& events, LevelEdits& found, bool& stopped);

// Adds to `outcome.textures` each replacement's file with the texture and frame of its original,
// as `targets` (the scan's, with their textures hashed) place it.
void recordTextures(const std::vector<EditTarget>& targets, PutBackOutcome& outcome);

// The SHA-256 of an edited image's texture: its bytes from the start through its end marker, or
// all of them when it has none, as the index records a texture.
Digest textureDigest(const std::string& bytes);

} // namespace glintmark::features
