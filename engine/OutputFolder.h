#pragma once

#include "engine/Extraction.h"
#include "engine/io/RawDir.h"

#include <cstdint>
#include <optional>

namespace glintmark {

// Checks, before anything is written, that the output folder exists and is a folder, and that
// none of the names the run may create, replace or remove is the source file itself: the images,
// the job's final files, the hidden names both are written under, and the folder's lock file.
std::optional<ExtractError> checkOutput(const ExtractJob& job);

// Readies the output folder of a writing run: creates it when the job asks, checks it as above,
// opens it into `folder`, takes its lock (refusing when another run holds it) and removes the
// temporaries that a run killed outright left behind, never the file `source`.
std::optional<ExtractError> openOutputFolder(const ExtractJob& job, RawDir& folder,
                                             const FileIdentity& source);

// How many image names in `folder` are numbered beyond `count`.
std::uint64_t countStaleImages(const RawDir& folder, const ExtractJob& job, std::uint64_t count);

} // namespace glintmark
