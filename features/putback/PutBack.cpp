#include "features/putback/PutBack.h"

#include "engine/LockedFolder.h"
#include "engine/Percent.h"
#include "engine/io/PathText.h"
#include "engine/names/ImageNames.h"
#include "features/putback/NewLevelCheck.h"
#include "features/putback/ReplacementPlan.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>

namespace glintmark::features {
namespace {

namespace fs = std::filesystem;

// Bytes copied at a time; large enough that the copy runs at the speed of the disk.
constexpr std::size_t kCopyBlock = std::size_t{1} << 20;

// Keeps the images the scan finds that the edited folder has files for, and passes on progress
// and a request to stop.
class ScanObserver : public ExtractObserver
{
public:
    ScanObserver(RunEvents& events, const EditedFolder& folder) : m_events(events), m_folder(folder)
    {}

    bool onProgress(const Progress& progress) override
    {
        m_events.onProgress(Phase::Reading, progress);
        return m_events.keepGoing();
    }
    void onImage(const ImageInfo& image) override
    {
        if (m_folder.has(image.number))
            originals.push_back(image);
    }

    std::vector<ImageInfo> originals; // in ascending order of number

    // The original of image `number`, which is among them.
    const ImageInfo& original(std::uint64_t number) const
    {
        return *std::lower_bound(
            originals.begin(), originals.end(), number,
            [](const ImageInfo& image, std::uint64_t n) { return image.number < n; });
    }

private:
    RunEvents& m_events;
    const EditedFolder& m_folder;
};

PutBackOutcome ended(PutBackOutcome outcome, PutBackStatus status)
{
    outcome.status = status;
    return outcome;
}

PutBackOutcome failed(PutBackOutcome outcome, ExtractError error)
{
    outcome.status = PutBackStatus::Failed;
    outcome.error = std::move(error);
    return outcome;
}

// The source put-back can copy: a regular file that reports its size. Fills in its identity.
std::optional<ExtractError> refuseSource(const PutBackRequest& request, const RawFile& source,
                                         FileIdentity& sourceId)
{
    std::error_code ec;
    sourceId = source.identity(ec);
    if (!ec && sourceId.type != FileType::Regular)
        ec = std::make_error_code(std::errc::invalid_seek);
    if (ec)
        return makeError(ErrorKind::SourceOpen, request.source, "Cannot put images back into", ec);
    if (sourceId.size > 0)
        return std::nullopt;
    // The new level is the source's length; a file that reports none (as those under /proc do)
    // would give an empty level.
    return ExtractError{ErrorKind::SourceOpen, request.source,
                        "Cannot put images back into \"" + displayPath(request.source) +
                            "\": it reports a size of 0 bytes, so there is nothing to copy; a "
                            "file that holds more (as under /proc) must be copied to a regular "
                            "file first"};
}

// A new level named among the edited images (an image's name or one near it, or a hidden part
// name) in their own folder would take an edit's place, or be swept as a leftover.
std::optional<ExtractError> refuseNameAmongEdits(const PutBackRequest& request)
{
    const std::filesystem::path name = request.into.filename();
    const std::string text = displayPath(name);
    const std::filesystem::path stem(std::string{kImageStem});
    const bool hiddenPart =
        text.size() > 6 && text.front() == '.' && text.compare(text.size() - 5, 5, ".part") == 0;
    if (!imageNumber(name, stem, kImageExt) && !nearImageName(name) && !hiddenPart)
        return std::nullopt;
    const std::filesystem::path folder = request.into.parent_path().empty()
                                             ? std::filesystem::path(".")
                                             : request.into.parent_path();
    std::error_code ec;
    if (!std::filesystem::equivalent(folder, request.folder, ec))
        return std::nullopt;
    return ExtractError{ErrorKind::ImageCreate, request.into,
                        "Cannot create the new level \"" + displayPath(request.into) +
                            "\": that name belongs to the edited images in " +
                            displayPath(request.folder) + "; it was left untouched"};
}

// Puts the replacements from `next` on over the block of the source that starts at `at`.
void overlay(char* block, std::size_t count, std::uint64_t at,
             const std::vector<Replacement>& replaced, std::size_t next)
{
    for (std::size_t i = next; i < replaced.size() && replaced[i].offset < at + count; ++i) {
        const Replacement& range = replaced[i];
        const std::uint64_t from = std::max(at, range.offset);
        const std::uint64_t to = std::min(at + count, range.offset + range.end);
        // The replacement's own bytes, then zero bytes up to the original's end.
        const std::uint64_t bytesEnd = std::min(to, range.offset + range.bytes.size());
        if (from < bytesEnd)
            std::memcpy(block + (from - at), range.bytes.data() + (from - range.offset),
                        static_cast<std::size_t>(bytesEnd - from));
        const std::uint64_t zeroFrom = std::max(from, bytesEnd);
        if (zeroFrom < to)
            std::memset(block + (zeroFrom - at), 0, static_cast<std::size_t>(to - zeroFrom));
    }
}

// What the new level is made of: the source as it was scanned, and what goes over it.
struct LevelParts
{
    const RawFile& source;
    const FileIdentity& sourceId; // as it was opened
    std::uint64_t size;
    std::uint64_t images;
    std::vector<Replacement>& replaced;
    // Gives a replacement the plan did not hold its bytes again.
    std::function<std::optional<ExtractError>(Replacement&)> reload;
};

// Makes every replacement from `next` on that reaches into the block [at, at + count) hold its
// bytes.
std::optional<ExtractError> holdBytesFor(LevelParts& level, std::uint64_t at, std::size_t count,
                                         std::size_t next)
{
    for (std::size_t i = next; i < level.replaced.size() && level.replaced[i].offset < at + count;
         ++i) {
        Replacement& range = level.replaced[i];
        if (range.bytes.size() != range.length)
            if (auto error = level.reload(range))
                return error;
    }
    return std::nullopt;
}

// Copies the source to `target` with the replacements put over it, checking every block; false
// when it gave up, at a request to stop (`stopped`) or at a failure (`error`).
bool writeLevel(const PutBackRequest& request, LevelParts& level, FileWriter& target,
                RunEvents& events, bool& stopped, std::optional<ExtractError>& error)
{
    NewLevelCheck check(level.size, level.images, level.replaced);
    const std::unique_ptr<char[]> read(new char[kCopyBlock]);
    const std::unique_ptr<char[]> written(new char[kCopyBlock]);
    std::size_t next = 0;
    Progress done;
    done.sourceSize = level.size;
    for (std::uint64_t at = 0; at < level.size;) {
        if (!events.keepGoing()) {
            stopped = true;
            return false;
        }
        const auto want =
            static_cast<std::size_t>(std::min<std::uint64_t>(kCopyBlock, level.size - at));
        std::error_code ec;
        const std::size_t got = level.source.readAt(at, read.get(), want, ec);
        if (ec) {
            error =
                makeError(ErrorKind::SourceRead, request.source, "Cannot read the source file", ec);
            return false;
        }
        if (got < want) {
            error = ExtractError{ErrorKind::SourceRead, request.source,
                                 "The source file \"" + displayPath(request.source) +
                                     "\" became shorter while it was read"};
            return false;
        }
        // The bytes of the replacements the copy has passed are not needed again.
        while (next < level.replaced.size() &&
               level.replaced[next].offset + level.replaced[next].end <= at)
            std::string().swap(level.replaced[next++].bytes);
        if ((error = holdBytesFor(level, at, got, next)))
            return false;
        if (!events.keepGoing()) {
            stopped = true;
            return false;
        }
        std::memcpy(written.get(), read.get(), got);
        overlay(written.get(), got, at, level.replaced, next);
        check.feed(read.get(), written.get(), got);
        if (!target.write(std::string_view(written.get(), got)))
            return false;
        at += got;
        done.bytesRead = at;
        done.percent = percentOf(at, level.size);
        events.onProgress(Phase::Writing, done);
    }
    for (Replacement& range : level.replaced)
        std::string().swap(range.bytes);
    // A stop that comes after the last block still leaves nothing behind.
    if (!events.keepGoing()) {
        stopped = true;
        return false;
    }
    std::optional<std::string> problem = check.finish();
    std::error_code ec;
    const FileIdentity now = level.source.identity(ec);
    if (!problem &&
        (ec || now.size != level.sourceId.size || now.changed != level.sourceId.changed))
        problem = "the source changed while it was read";
    if (problem) {
        error = ExtractError{ErrorKind::ImageWrite, request.into,
                             "\"" + displayPath(request.into) +
                                 "\" was not put in place: a check of what was written found "
                                 "that " +
                                 *problem};
        return false;
    }
    return true;
}

} // namespace

PutBackOutcome putBack(const PutBackRequest& request, RunEvents& events)
{
    PutBackOutcome outcome;
    std::error_code ec;
    RawFile source = RawFile::openForReading(request.source, ec);
    if (ec == std::errc::interrupted)
        return ended(std::move(outcome), PutBackStatus::Stopped);
    if (ec)
        return failed(std::move(outcome), makeError(ErrorKind::SourceOpen, request.source,
                                                    "Cannot open the source file", ec));
    FileIdentity sourceId;
    if (auto refused = refuseSource(request, source, sourceId))
        return failed(std::move(outcome), std::move(*refused));

    // The target is refused before anything is read or written (in a dry run too, when named).
    std::optional<ExtractError> refused;
    std::optional<LockedFolder> target;
    if (!request.dryRun || !request.into.empty()) {
        if (auto amongEdits = refuseNameAmongEdits(request))
            return failed(std::move(outcome), std::move(*amongEdits));
        target.emplace(
            LockedFolder::openBeside(request.into, sourceId, "the new level", "run", refused));
        if (refused)
            return failed(std::move(outcome), std::move(*refused));
    }

    EditedFolder edited;
    if (auto error = openEditedFolder(request, edited))
        return failed(std::move(outcome), std::move(*error));
    ScanObserver scan(events, edited);
    ExtractJob listing;
    listing.sourceFile = request.source;
    const ExtractResult listed = listOpenSource(listing, source, &scan);
    outcome.images = listed.count;
    if (listed.status == RunStatus::Failed)
        return failed(std::move(outcome), *listed.error);
    if (listed.status == RunStatus::Stopped)
        return ended(std::move(outcome), PutBackStatus::Stopped);

    if (auto error = planReplacements(request, edited, source, listed.count, scan.originals, events,
                                      outcome))
        return failed(std::move(outcome), std::move(*error));
    if (!events.keepGoing())
        return ended(std::move(outcome), PutBackStatus::Stopped);
    if (!outcome.refused.empty())
        return ended(std::move(outcome), PutBackStatus::Refused);
    if (request.dryRun)
        return ended(std::move(outcome), PutBackStatus::DryRun);

    bool stopped = false;
    std::optional<ExtractError> failure;
    std::optional<ExtractError> error =
        target->writeFile(request.into.filename(), "the new level", [&](FileWriter& writer) {
            LevelParts level{source,
                             sourceId,
                             sourceId.size,
                             listed.count,
                             outcome.replaced,
                             [&](Replacement& replacement) {
                                 return reloadReplacement(request, edited, source,
                                                          scan.original(replacement.number), events,
                                                          replacement);
                             }};
            return writeLevel(request, level, writer, events, stopped, failure);
        });
    if (failure)
        error = std::move(failure);
    if (error)
        return failed(std::move(outcome), std::move(*error));
    return ended(std::move(outcome), stopped ? PutBackStatus::Stopped : PutBackStatus::Written);
}

} // namespace glintmark::features
