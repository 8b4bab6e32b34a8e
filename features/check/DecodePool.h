#pragma once

#include "engine/ExtractTypes.h"
#include "features/ImageStatus.h"
#include "features/check/ImageBytesStore.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

namespace glintmark::features {

// How many threads decode at once: GLINTMARK_CHECK_THREADS when set to a number from 1 to 64,
// otherwise one per processor.
unsigned decodeThreadCount();

// How decoding the images ended.
struct DecodeOutcome
{
    bool stopped = false; // a stop was asked for; images not decoded by then have no verdict
    std::optional<ExtractError> error; // their bytes could not be read back
};

// Decodes every image of `source` in full on `threads` threads, reading its bytes from `kept`,
// and fills in `decodes` and `decodeError` (an image over a limit gets no verdict, only the
// reason). The calling thread asks `keepGoing` (may be empty) a few times a second and, once it
// says no, every decoding ends within moments; `onProgress` (may be empty) hears as images are
// done, on the calling thread.
DecodeOutcome decodeImages(const ImageBytesStore& kept, const std::filesystem::path& source,
                           std::vector<CheckedImage>& images, unsigned threads,
                           const std::function<bool()>& keepGoing,
                           const std::function<void(const Progress&)>& onProgress);

} // namespace glintmark::features
