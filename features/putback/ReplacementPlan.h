#pragma once

#include "engine/io/RawFile.h"
#include "features/putback/PutBack.h"

#include <cstddef>
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

// Reads every image file in the request's folder, compares it with its original in `source`
// (opened once, whose images are `images`) and judges it. Fills in the outcome's replacements,
// refusals and unchanged count; fails only when a file cannot be read, or on a stop.
std::optional<ExtractError> planReplacements(const PutBackRequest& request, const RawFile& source,
                                             const std::vector<ImageInfo>& images,
                                             RunEvents& events, PutBackOutcome& outcome);

} // namespace glintmark::features
