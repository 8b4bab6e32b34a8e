#pragma once

#include "engine/ExtractTypes.h"
#include "engine/io/RawFile.h"

namespace glintmark {

// Streams the source once, cutting it into one image per signature. Never throws for I/O
// failures: they come back in the result, with the complete images kept on disk. Each image is
// written to a hidden file of its own (".Vorlesk_0001.jpg.part") and renamed over its name only
// once complete; whatever sat at that name before (a file, a link, a pipe) is replaced, never
// written through. A run holds a lock on its output folder, so a second run into it is refused.
// A regular source is read up to the length it had when opened; one that shrinks meanwhile fails.
ExtractResult runExtraction(const ExtractJob& job, ExtractObserver* observer = nullptr,
                            RunMode mode = RunMode::Write);

// Lists the images of `source`, already opened from `job.sourceFile` and read from its current
// position, as a list-mode run does; for callers that read the same file again afterwards and
// so must not open its name a second time.
ExtractResult listOpenSource(const ExtractJob& job, RawFile& source,
                             ExtractObserver* observer = nullptr);

} // namespace glintmark
