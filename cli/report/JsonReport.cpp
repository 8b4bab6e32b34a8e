#include "cli/report/JsonReport.h"

#include "engine/io/PathText.h"
#include "features/game/IndexJson.h"

#include <nlohmann/json.hpp>

#include <ostream>

namespace glintmark::cli {
namespace {

using Json = nlohmann::ordered_json;

// A number, or null where the frame header that gives it is missing.
Json frameValue(const JpegStructure& jpeg, std::uint32_t value)
{
    return jpeg.hasFrame ? Json(value) : Json(nullptr);
}

// What the image's structure (and, after --check, the decoder) tells about it.
void addStructure(Json& object, const CheckedImage& image)
{
    const JpegStructure& jpeg = image.jpeg;
    object["width"] = frameValue(jpeg, jpeg.width);
    object["height"] = frameValue(jpeg, jpeg.height);
    object["components"] = frameValue(jpeg, jpeg.components);
    object["precision"] = frameValue(jpeg, jpeg.precision);
    object["coding"] = jpeg.hasFrame ? Json(codingName(jpeg.coding)) : nullptr;
    object["progressive"] = jpeg.hasFrame ? Json(jpeg.coding == JpegCoding::Progressive) : nullptr;
    object["arithmetic"] = jpeg.hasFrame ? Json(jpeg.arithmetic) : nullptr;
    object["end"] = jpeg.end ? Json(*jpeg.end) : nullptr;
    object["written"] = image.written;
    object["status"] = statusName(jpegStatus(jpeg, image.size));
    object["problem"] = nullptr;
    if (jpeg.problem != JpegProblem::None) {
        object["problem"] = {{"kind", problemName(jpeg.problem)},
                             {"at", jpeg.problemAt},
                             {"message", problemText(jpeg.problem)}};
    }
    // Over a decoding limit, an image has no verdict but the reason.
    if (image.decodes || !image.decodeError.empty()) {
        object["decodes"] = image.decodes ? Json(*image.decodes) : Json(nullptr);
        object["decode_error"] =
            image.decodes.value_or(false) ? Json(nullptr) : Json(image.decodeError);
    }
}

// A value as JSON text on one line; text that is not UTF-8 gets replacement characters.
std::string text(const Json& value)
{
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// One image as a JSON object: its number, name, offset and size, then what its structure tells.
Json imageJson(const CheckedImage& image)
{
    Json object = {
        {"number", image.number},
        {"name", displayPath(imageFileName(std::string(kImageStem), image.number, kImageExt))},
        {"offset", image.offset},
        {"size", image.size},
    };
    addStructure(object, image);
    return object;
}

Json errorJson(const std::optional<ExtractError>& error)
{
    if (!error)
        return nullptr;
    return {
        {"kind", errorKindName(error->kind)},
        {"file", reportedPath(error->file)},
        {"message", error->message},
    };
}

} // namespace

JsonReport::JsonReport(std::ostream& out, RunMode mode) : m_out(out)
{
    m_out << "{\n  \"mode\": " << text(mode == RunMode::ListOnly ? "list" : "extract")
          << ",\n  \"sources\": [";
}

void JsonReport::beginSource(const std::filesystem::path& source,
                             const std::filesystem::path& folder)
{
    m_out << (m_sources++ == 0 ? "\n" : ",\n")
          << "    {\n      \"source\": " << text(reportedPath(source))
          << ",\n      \"output\": " << text(reportedPath(folder)) << ",\n      \"images\": [";
    m_images = 0;
}

void JsonReport::image(const CheckedImage& image)
{
    m_out << (m_images++ == 0 ? "\n        " : ",\n        ") << text(imageJson(image));
}

void JsonReport::endSource(const LevelOutcome& outcome)
{
    m_out << (m_images == 0 ? "]" : "\n      ]")
          << ",\n      \"status\": " << text(statusName(outcome.result.status))
          << ",\n      \"count\": " << outcome.result.count
          << ",\n      \"stale\": " << outcome.result.staleImages
          << ",\n      \"error\": " << text(errorJson(outcome.result.error)) << "\n    }";
}

void JsonReport::textures(const features::GameTextures& textures)
{
    m_textures = &textures;
}

void JsonReport::summary(const RunSummary& summary)
{
    m_summary = summary;
}

void JsonReport::finish()
{
    m_out << (m_sources == 0 ? "]" : "\n  ]");
    if (m_textures) {
        m_out << ",\n  \"linked\": " << m_textures->linked()
              << ",\n  \"copies\": " << m_textures->copies() << ",\n  \"textures\": ";
        // The index's own text, as textures.json holds it.
        features::writeIndexJson(
            m_textures->index(),
            [this](std::string_view piece) {
                m_out << piece;
                return true;
            },
            [] { return true; });
    }
    if (m_summary) {
        Json problems = Json::array();
        for (const ExtractError& problem : m_summary->problems)
            problems.push_back(errorJson(problem));
        m_out << ",\n  \"problems\": " << text(problems)
              << ",\n  \"error\": " << text(errorJson(m_summary->error))
              << ",\n  \"status\": " << text(statusName(m_summary->status));
    }
    m_out << "\n}\n" << std::flush;
}

} // namespace glintmark::cli
