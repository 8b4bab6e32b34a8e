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

// A number, or null where the frame header that gives it is missing.
nlohmann::ordered_json frameValue(const JpegStructure& jpeg, std::uint32_t value)
{
    return jpeg.hasFrame ? nlohmann::ordered_json(value) : nlohmann::ordered_json(nullptr);
}

// What the image's structure (and, after --check, the decoder) tells about it.
void addStructure(nlohmann::ordered_json& object, const ImageInfo& image)
{
    const JpegStructure& jpeg = image.jpeg;
    object["width"] = frameValue(jpeg, jpeg.width);
    object["height"] = frameValue(jpeg, jpeg.height);
    object["components"] = frameValue(jpeg, jpeg.components);
    object["precision"] = frameValue(jpeg, jpeg.precision);
    object["coding"] = jpeg.hasFrame ? nlohmann::ordered_json(codingName(jpeg.coding)) : nullptr;
    object["progressive"] = jpeg.coding == JpegCoding::Progressive;
    object["arithmetic"] = jpeg.arithmetic;
    object["end"] = jpeg.end ? nlohmann::ordered_json(*jpeg.end) : nullptr;
    object["written"] = image.written;
    object["status"] = statusName(jpegStatus(jpeg, image.size));
    object["problem"] = nullptr;
    if (jpeg.problem != JpegProblem::None) {
        object["problem"] = {{"kind", problemName(jpeg.problem)},
                             {"at", jpeg.problemAt},
                             {"message", problemText(jpeg.problem)}};
    }
    if (image.decodes) {
        object["decodes"] = *image.decodes;
        object["decode_error"] = *image.decodes ? nlohmann::ordered_json(nullptr)
                                                : nlohmann::ordered_json(image.decodeError);
    }
}

nlohmann::ordered_json sourceReport(const SourceOutcome& outcome)
{
    nlohmann::ordered_json images = nlohmann::ordered_json::array();
    for (const ImageInfo& image : outcome.images) {
        nlohmann::ordered_json object = {
            {"number", image.number},
            {"name", displayPath(imageFileName(std::string(kImageStem), image.number, kImageExt))},
            {"offset", image.offset},
            {"size", image.size},
        };
        addStructure(object, image);
        images.push_back(std::move(object));
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
