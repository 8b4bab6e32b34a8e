#include "cli/report/PutBackJson.h"

#include "engine/io/PathText.h"

namespace glintmark::cli {

using features::PutBackStatus;

const char* putBackStatusName(PutBackStatus status)
{
    switch (status) {
    case PutBackStatus::Written:
        return "written";
    case PutBackStatus::DryRun:
        return "dry-run";
    case PutBackStatus::Refused:
        return "refused";
    case PutBackStatus::Failed:
        return "failed";
    case PutBackStatus::Stopped:
        return "stopped";
    }
    return "failed";
}

Json replacementJson(const features::Replacement& image)
{
    return {{"number", image.number},
            {"file", reportedPath(image.file)},
            {"offset", image.offset},
            {"end", image.end},
            {"length", image.length},
            {"slack", image.end - image.length},
            {"quality", image.quality ? Json(*image.quality) : Json(nullptr)},
            {"jfif_added", image.jfifAdded}};
}

Json sinceJson(const features::SinceExtraction& since)
{
    return {{"by_texture", since.byTexture},
            {"by_number", since.byNumber.empty() ? Json(nullptr) : Json(since.byNumber)},
            {"changed", since.changed},
            {"moved", since.moved},
            {"gone", since.gone},
            {"new", since.added}};
}

Json refusalJson(const features::Refusal& image)
{
    return {{"number", image.number}, {"file", reportedPath(image.file)}, {"reason", image.reason}};
}

Json errorJson(const std::optional<ExtractError>& error)
{
    if (!error)
        return nullptr;
    return {{"kind", errorKindName(error->kind)},
            {"file", reportedPath(error->file)},
            {"message", error->message}};
}

} // namespace glintmark::cli
