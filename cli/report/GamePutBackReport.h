#pragma once

#include "features/putback/GamePutBack.h"

#include <iosfwd>

namespace glintmark::cli {

// Writes what a put-back into a game did: on `out`, for each edited file every level and image
// number it went into, then a summary line that counts the levels left unchanged (`verbose`
// names them too), or nothing but errors when quiet, or with `json` the same as one document
// (with each new level's replacements in full); on `err`, every refused file with its reason
// and any error. Both streams are flushed before it returns.
void reportGamePutBack(const features::GamePutBackRequest& request,
                       const features::GamePutBackOutcome& outcome, bool json, bool quiet,
                       bool verbose, std::ostream& out, std::ostream& err);

} // namespace glintmark::cli
