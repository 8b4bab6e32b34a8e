#pragma once

#include "features/putback/PutBack.h"
#include "features/putback/PutBackRun.h"

#include <iosfwd>

namespace glintmark::cli {

using features::PutBackOutcome;
using features::PutBackRequest;
using features::PutBackStatus;
using features::Refusal;
using features::Replacement;

// Writes what a put-back did: on `out`, one line per replaced image (number, the original's bytes
// through its end marker, the edit's bytes, the bytes left over, the quality if encoded again) and
// a summary line unless quiet, or with `json` the same as one document; on `err`, every refused
// image with its reason and any error. Both streams are flushed before it returns.
void reportPutBack(const PutBackRequest& request, const PutBackOutcome& outcome, bool json,
                   bool quiet, std::ostream& out, std::ostream& err);

// Writes what a put-back into a level or a game did, as the one or the other report does;
// `verbose` names a game's unchanged levels. When the run wrote the pack `pack` (or failed to):
// "N textures saved as the pack PACK" (unless quiet) or its error, and in JSON a "pack" member
// {"folder", "written", "textures", "error"}.
void reportPutBack(const features::PutBackRun& run, const std::filesystem::path& pack, bool json,
                   bool quiet, bool verbose, std::ostream& out, std::ostream& err);

} // namespace glintmark::cli
