#include "features/putback/EditPlan.h"

#include "engine/io/PathText.h"
#include "engine/io/RawDir.h"
#include "engine/io/RawFile.h"
#include "features/putback/LevelCopy.h"
#include "features/putback/ReplacementPlan.h"

#include <utility>
#include <variant>

namespace glintmark::features {
namespace {

namespace fs = std::filesystem;

EditPlan failed(std::string message)
{
    EditPlan plan;
    plan.verdict = EditPlan::Verdict::Failed;
    plan.reason = std::move(message);
    return plan;
}

// Whether the image `original` of `source` is still the texture `texture`; a failure names the
// level when it cannot be read.
std::optional<std::string> checkTexture(const RawFile& source, const fs::path& level,
                                        const ImageInfo& original, const Digest& texture)
{
    std::string bytes(static_cast<std::size_t>(original.jpeg.end.value_or(original.size)), '\0');
    std::error_code ec;
    const std::size_t got = source.readAt(original.offset, bytes.data(), bytes.size(), ec);
    if (ec)
        return makeError(ErrorKind::SourceRead, level, "Cannot read the source file", ec).message;
    Sha256 hash;
    hash.add(reinterpret_cast<const unsigned char*>(bytes.data()), got);
    if (got == bytes.size() && hash.finish() == texture)
        return std::nullopt;
    return "The level \"" + displayPath(level) + "\" no longer holds this texture at image " +
           std::to_string(original.number) + "; open it again to see what it holds now";
}

} // namespace

EditPlan planEdit(const fs::path& edit, const fs::path& level, const ImageInfo& original, bool fit,
                  const std::optional<Digest>& texture, const std::function<bool()>& keepGoing)
{
    std::error_code ec;
    const RawFile source = RawFile::openForReading(level, ec);
    if (ec)
        return failed(
            makeError(ErrorKind::SourceOpen, level, "Cannot open the source file", ec).message);
    FileIdentity identity;
    if (auto refused = refuseSource(level, source, identity))
        return failed(refused->message);
    if (texture) {
        if (auto changed = checkTexture(source, level, original, *texture))
            return failed(std::move(*changed));
    }
    PutBackRequest request;
    request.source = level;
    request.folder = edit.has_parent_path() ? edit.parent_path() : fs::path(".");
    request.fit = fit;
    EditedFolder folder;
    folder.path = request.folder;
    folder.dir = RawDir::open(request.folder, ec);
    if (ec)
        return failed(
            makeError(ErrorKind::SourceOpen, request.folder, "Cannot open the edit's folder", ec)
                .message);
    auto judged = judgeEditedFile(request, folder, source, original, edit.filename(), keepGoing);
    EditPlan plan;
    if (auto* failure = std::get_if<ExtractError>(&judged))
        return failed(std::move(failure->message));
    if (auto* reason = std::get_if<std::string>(&judged)) {
        plan.verdict = EditPlan::Verdict::Refused;
        plan.reason = std::move(*reason);
    } else if (auto* replacement = std::get_if<Replacement>(&judged)) {
        plan.verdict = replacement->quality ? EditPlan::Verdict::Encoded : EditPlan::Verdict::Fits;
        plan.quality = replacement->quality;
        plan.length = replacement->length;
    } else {
        plan.verdict = EditPlan::Verdict::Unchanged;
    }
    return plan;
}

} // namespace glintmark::features
