#pragma once

#include "engine/ExtractTypes.h"
#include "features/game/Sha256.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace glintmark::features {

// What replacing one texture with one edited file would do, as a put-back would judge it.
struct EditPlan
{
    enum class Verdict
    {
        Unchanged, // the file holds the texture's own bytes: nothing to put back
        Fits,      // it goes in as it is (a JFIF segment put in front, if it lacked one)
        Encoded,   // it goes in encoded again, at `quality`
        Refused,   // it cannot go in: `reason` says why and what would make it fit
        Failed     // a file could not be read, or the level no longer holds the texture
    };
    Verdict verdict = Verdict::Failed;
    std::optional<int> quality{}; // with Encoded
    std::uint64_t length = 0;     // the bytes that take the texture's place (Fits, Encoded)
    std::string reason{};         // with Refused, a fragment following the file's name; with
                                  // Failed, a sentence naming the file and the system's reason
};

// Judges the edited image `edit` (a JPEG, or a PNG by its name) against the texture that is
// image `original` of the level file `level`, both read now (the edit through its folder: a link
// or a pipe is refused, not read), as a put-back with `fit` (--fit) would judge it. With
// `texture`, the image's bytes must still be that texture's, or the plan fails saying the level
// changed. Decoding and encoding end soon after `keepGoing` answers no; the plan then means
// nothing.
EditPlan planEdit(const std::filesystem::path& edit, const std::filesystem::path& level,
                  const ImageInfo& original, bool fit, const std::optional<Digest>& texture,
                  const std::function<bool()>& keepGoing = {});

} // namespace glintmark::features
