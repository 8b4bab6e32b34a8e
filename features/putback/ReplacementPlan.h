#pragma once

#include "engine/io/RawFile.h"
#include "features/putback/PutBack.h"

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace glintmark::features {

// An edited image that is byte for byte its original, through its end marker.
struct Unchanged
{
};

// What becomes of one edited image, whose bytes are `edited`, against the original image
// `original` whose bytes from its signature through its end (or, without one, its whole length)
// are `originalBytes`: left alone, put back (with `number`, `offset` and `end` filled in), or
// refused with the reason.
std::variant<Unchanged, Replacement, std::string> judgeReplacement(const std::string& edited,
                                                                   const ImageInfo& original,
                                                                   const std::string& originalBytes,
                                                                   bool fit);

// Whether `name` looks like an extracted texture's name but is not one an extraction writes: the
// stem in another case, fewer than four digits or a leading zero too many, ".jpeg" or ".JPG"
// ("Vorlesk_3.jpg", "vorlesk_0003.JPG"), as an editor may save it.
bool nearImageName(const std::filesystem::path& name);

// Reads every image file in the request's folder, compares it with its original in `source`
// (opened once, whose images are `images`) and judges it. Fills in the outcome's replacements,
// refusals and unchanged count. A file that matches no image, numbered beyond the level's or
// with a name near an image's (nearImageName), is refused unless the request ignores such files.
// Fails only when a file cannot be read, or on a
// stop.
std::optional<ExtractError> planReplacements(const PutBackRequest& request, const RawFile& source,
                                             const std::vector<ImageInfo>& images,
                                             RunEvents& events, PutBackOutcome& outcome);

} // namespace glintmark::features
