#pragma once

#include "engine/ExtractTypes.h"
#include "features/RunEvents.h"
#include "features/game/Sha256.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace glintmark::features {

// What the user asked to put back, and where.
struct PutBackRequest
{
    std::filesystem::path source; // the level the images came from; only ever read
    std::filesystem::path folder; // the edited images, named as an extraction names them
    std::filesystem::path into;   // the new level to write (unused in a dry run)
    bool fit = false;             // encode again what does not fit or is coded otherwise
    bool dryRun = false;          // say what would be done; write nothing
    bool ignoreUnmatched = false; // pass over image files that match no image: not named as one
                                  // is, or numbered beyond the level's, instead of refusing them
    // The most bytes of replacements kept in memory from the comparing to the writing; those
    // beyond it are read and encoded again as the writing reaches them, and must come out the
    // same.
    std::uint64_t heldBytes = std::uint64_t{64} << 20;
    // Record the texture of each replacement's original (in the outcome's `textures`), hashing
    // the level's images as they are read when no index gives them.
    bool recordTextures = false;
};

// An edit that goes back, with the texture of the original it replaces and that original's frame.
struct EditedTexture
{
    std::filesystem::path file{}; // the edited image, as found in its folder
    Digest texture{};
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int components = 0;
};

// One image that takes the place of an original.
struct Replacement
{
    std::uint64_t number = 0;
    std::filesystem::path file; // the edited image, as found in the folder
    std::uint64_t offset = 0;   // where the original's signature sits in the source
    std::uint64_t end = 0;      // the original's length through its end marker
    std::string bytes;          // what is written there, before the zero bytes that pad it; empty
                                // while it is not held in memory (see heldBytes)
    std::optional<int> quality; // the quality it was encoded again at, if it was
    bool jfifAdded = false;     // a JFIF segment was put in front of it
    std::uint64_t length = 0;   // how many bytes are written there, held or not
    std::uint64_t digest = 0;   // a checksum of them, to know them again when read anew
};

// An edited image that cannot go back, and why.
struct Refusal
{
    std::uint64_t number = 0; // 0 when the file's number names no image
    std::filesystem::path file;
    std::string reason; // a sentence fragment following the file's name
};

// What the edits were tied to, and what changed in the level since they were extracted.
struct SinceExtraction
{
    // Each edit went to the place, in the level as it is now, of the texture it was cut from, as
    // the folder's index records it.
    bool byTexture = false;
    // Otherwise, for a folder with edits and no index to go by: why each went to its number.
    std::string byNumber{};
    bool changed = false;    // by texture: the level is not the file that was extracted
    std::uint64_t moved = 0; // places of a texture at another number than they were
    std::uint64_t gone = 0;  // places of a texture the level no longer holds
    std::uint64_t added = 0; // places of a texture the level holds and did not
};

// How a put-back ended.
enum class PutBackStatus
{
    Written, // the new level is in place
    DryRun,  // nothing was to be written
    Refused, // at least one edited image cannot go back; nothing was written
    Failed,  // a file could not be read or written, or the written level failed its check
    Stopped  // asked to stop; nothing was left behind
};

// What a put-back did or would do.
struct PutBackOutcome
{
    PutBackStatus status = PutBackStatus::Failed;
    std::uint64_t images = 0;    // images in the source
    std::uint64_t unchanged = 0; // edited-folder images equal to their originals
    std::vector<Replacement> replaced;
    std::vector<Refusal> refused;
    // Image files that match no image, passed over as the request asked (ignoreUnmatched), each
    // with why it matches none.
    std::vector<Refusal> passedOver{};
    SinceExtraction since{};
    // With recordTextures, each replacement's edit and original texture, in the replacements'
    // order.
    std::vector<EditedTexture> textures{};
    std::optional<ExtractError> error;
};

// Reads the source and the edited images, decides what goes back, and (unless a dry run, or
// anything is refused) writes the new level through a hidden file in its folder, checks it, and
// only then puts it in place. `events` hears the reading, the comparing and the writing; a stop
// asked for on the way leaves nothing behind.
PutBackOutcome putBack(const PutBackRequest& request, RunEvents& events);

} // namespace glintmark::features
