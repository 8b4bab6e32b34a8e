#pragma once

#include "features/putback/PutBack.h"

#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace glintmark::cli {

// What sets one put-back's report apart, a level's or a game's; the rest is the same for both.
struct PutBackReportParts
{
    features::PutBackStatus status = features::PutBackStatus::Failed;
    bool dryRun = false;
    std::vector<const features::Refusal*> refused;      // every refused file, in the order told
    std::vector<const features::Refusal*> passedOver{}; // files that match no image, let be
    std::string notWritten; // refused, not a dry run: "new.ldb was not written"
    const std::optional<ExtractError>* error = nullptr;
    std::function<void(std::ostream&)> json;  // the whole JSON document
    std::function<void(std::ostream&)> lines; // the human lines before the summary
    std::function<std::string()> summary;     // the summary line, with its line feed
};

// The line that says what changed in `level` since the extraction the edits came from
// ("LEVEL changed since it was extracted: 4 textures moved, 0 gone, 1 new"), or that the edits
// went by number and why; empty when there is nothing to say.
std::string sinceLine(const std::string& level, const features::SinceExtraction& since);

// Writes a put-back's report: on `err` every refused file with its reason, the line that says
// nothing was written for them, and any error, and (unless quiet or JSON) every file passed over;
// on `out` the JSON document, or once the put-back is done its lines and (unless quiet) its
// summary. Both streams are flushed before it returns.
void writePutBackReport(const PutBackReportParts& parts, bool json, bool quiet, std::ostream& out,
                        std::ostream& err);

} // namespace glintmark::cli
