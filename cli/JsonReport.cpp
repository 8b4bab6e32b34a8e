#include "cli/JsonReport.h"

#include "engine/ErrorText.h"

#include <nlohmann/json.hpp>

namespace glintmark::cli {
namespace {

const char* statusName(RunStatus status)
{
    switch (status) {
    case RunStatus::Completed:
        return "completed";
    case RunStatus::Stopped:
        return "stopped";
    case RunStatus::Failed:
        return "failed";
    }
    return "failed";
}

const char* kindName(ErrorKind kind)
{
    switch (kind) {
    case ErrorKind::InvalidJob:
        return "invalid-job";
    case ErrorKind::SourceOpen:
        return "source-open";
    case ErrorKind::SourceRead:
        return "source-read";
    case ErrorKind::OutputFolder:
        return "output-folder";
    case ErrorKind::OutputIsSource:
        return "output-is-source";
    case ErrorKind::ImageCreate:
        return "image-create";
    case ErrorKind::ImageWrite:
        return "image-write";
    }
    return "unknown";
}

nlohmann::ordered_json sourceReport(const SourceOutcome& outcome)
{
    nlohmann::ordered_json images = nlohmann::ordered_json::array();
    for (const ImageInfo& image : outcome.images) {
        images.push_back({
            {"number", image.number},
            {"name", displayPath(imageFileName(std::string(kImageStem), image.number, kImageExt))},
            {"offset", image.offset},
            {"size", image.size},
        });
    }

    nlohmann::ordered_json error = nullptr;
    if (outcome.result.error) {
        error = {
            {"kind", kindName(outcome.result.error->kind)},
            {"file", displayPath(outcome.result.error->file)},
            {"message", outcome.result.error->message},
        };
    }

    return {
        {"source", displayPath(outcome.source)},
        {"output", displayPath(outcome.folder)},
        {"status", statusName(outcome.result.status)},
        {"count", outcome.result.count},
        {"images", std::move(images)},
        {"error", std::move(error)},
    };
}

} // namespace

std::string jsonReport(const std::vector<SourceOutcome>& outcomes, RunMode mode)
{
    nlohmann::ordered_json sources = nlohmann::ordered_json::array();
    for (const SourceOutcome& outcome : outcomes)
        sources.push_back(sourceReport(outcome));

    nlohmann::ordered_json report = {
        {"mode", mode == RunMode::ListOnly ? "list" : "extract"},
        {"sources", std::move(sources)},
    };
    return report.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + '\n';
}

} // namespace glintmark::cli
