#pragma once

#include "features/putback/PutBack.h"

#include <nlohmann/json.hpp>

#include <optional>

namespace glintmark::cli {

using Json = nlohmann::ordered_json;

// The word the reports give a put-back's status: "written", "dry-run", "refused", ...
const char* putBackStatusName(features::PutBackStatus status);

// A replaced image as the JSON reports list it: number, file, offset, end, length, slack,
// quality, jfif_added.
Json replacementJson(const features::Replacement& image);
// A refused file: number, file, reason.
Json refusalJson(const features::Refusal& image);
// What the edits were tied to and what changed in a level since its extraction: by_texture,
// by_number (why, or null), changed, moved, gone, new.
Json sinceJson(const features::SinceExtraction& since);
// An error's kind, file and message; null when there is none.
Json errorJson(const std::optional<ExtractError>& error);

} // namespace glintmark::cli
