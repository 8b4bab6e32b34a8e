#include "features/putback/LevelCopy.h"

#include "engine/Percent.h"
#include "engine/io/PathText.h"
#include "features/putback/NewLevelCheck.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>

namespace glintmark::features {
namespace {

// Bytes copied at a time; large enough that the copy runs at the speed of the disk.
constexpr std::size_t kCopyBlock = std::size_t{1} << 20;

// Bytes the system copies at a time, between questions whether to go on.
constexpr std::uint64_t kSystemCopyBlock = std::uint64_t{64} << 20;
// Where the system copies ranges, a file system that shares extents does so only for whole
// blocks at the same place in both files: copies are cut at multiples of this (the largest
// block size in common use), so that all but the ends of a stretch can be shared.
constexpr std::uint64_t kShareAlign = std::uint64_t{64} << 10;
// The bytes around each replaced range that the program reads and checks itself: a signature
// less one, so that every signature that reaches a replaced byte is seen whole.
constexpr std::uint64_t kSeam = kJfifSignature.size() - 1;

// A stretch of the new level from some place on: bytes the program checks itself (replaced
// ranges with their seams), or bytes the system may copy unseen, up to `end`.
struct Stretch
{
    bool checked = false;
    std::uint64_t end = 0;
};

// The stretch that begins at `at`, where `next` is the first replaced range not yet passed.
Stretch nextStretch(const LevelParts& level, std::uint64_t at, std::size_t next)
{
    const std::uint64_t size = level.sourceId.size;
    if (next >= level.replaced.size())
        return {false, size};
    const Replacement& range = level.replaced[next];
    const std::uint64_t from = range.offset > kSeam ? range.offset - kSeam : 0;
    if (at < from)
        return {false, from};
    // Ranges whose seams meet are checked as one stretch.
    std::uint64_t end = range.offset + range.end + kSeam;
    for (std::size_t i = next + 1; i < level.replaced.size(); ++i) {
        const Replacement& after = level.replaced[i];
        if (after.offset > end + kSeam)
            break;
        end = std::max(end, after.offset + after.end + kSeam);
    }
    return {true, std::min(end, size)};
}

// What the system copied of a stretch: how far it got, and why it stopped there.
struct SystemCopy
{
    RangeCopy result = RangeCopy::Copied;
    std::uint64_t count = 0;
};

// Has the system copy [at, at + count) of `source` to the end of `target`, cut at kShareAlign.
SystemCopy copyAligned(FileWriter& target, const RawFile& source, std::uint64_t at,
                       std::uint64_t count)
{
    const std::uint64_t end = at + count;
    const std::uint64_t head = std::min(end, (at + kShareAlign - 1) / kShareAlign * kShareAlign);
    const std::uint64_t tail = std::max(head, end / kShareAlign * kShareAlign);
    SystemCopy copy;
    for (const auto& [from, to] :
         {std::pair{at, head}, std::pair{head, tail}, std::pair{tail, end}}) {
        if (from == to)
            continue;
        copy.result = target.copyRange(source, from, to - from);
        if (copy.result != RangeCopy::Copied)
            return copy;
        copy.count += to - from;
    }
    return copy;
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

// The source read short of the size it had.
ExtractError shorter(const LevelParts& level)
{
    return ExtractError{ErrorKind::SourceRead, level.sourcePath,
                        "The source file \"" + displayPath(level.sourcePath) +
                            "\" became shorter while it was read"};
}

// Once every byte is written: what the check of the whole found, or the source having changed
// since it was scanned, as the reason the new level is not put in place.
std::optional<ExtractError> checkWhole(const LevelParts& level, NewLevelCheck& check)
{
    std::optional<std::string> problem = check.finish();
    std::error_code ec;
    const FileIdentity now = level.source.identity(ec);
    if (!problem &&
        (ec || now.size != level.sourceId.size || now.changed != level.sourceId.changed))
        problem = "the source changed while it was read";
    if (!problem)
        return std::nullopt;
    return ExtractError{ErrorKind::ImageWrite, level.into,
                        "\"" + displayPath(level.into) +
                            "\" was not put in place: a check of what was written found that " +
                            *problem};
}

} // namespace

std::optional<ExtractError> refuseSource(const std::filesystem::path& path, const RawFile& source,
                                         FileIdentity& sourceId)
{
    std::error_code ec;
    sourceId = source.identity(ec);
    if (!ec && sourceId.type != FileType::Regular)
        ec = std::make_error_code(std::errc::invalid_seek);
    if (ec)
        return makeError(ErrorKind::SourceOpen, path, "Cannot put images back into", ec);
    if (sourceId.size > 0)
        return std::nullopt;
    // The new level is the source's length; a file that reports none (as those under /proc do)
    // would give an empty level.
    return ExtractError{ErrorKind::SourceOpen, path,
                        "Cannot put images back into \"" + displayPath(path) +
                            "\": it reports a size of 0 bytes, so there is nothing to copy; a "
                            "file that holds more (as under /proc) must be copied to a regular "
                            "file first"};
}

bool copyLevel(LevelParts& level, FileWriter& target, RunEvents& events, bool& stopped,
               std::optional<ExtractError>& error)
{
    NewLevelCheck check(level.sourceId.size, level.images, level.replaced);
    const std::unique_ptr<char[]> read(new char[kCopyBlock]);
    const std::unique_ptr<char[]> written(new char[kCopyBlock]);
    std::size_t next = 0;
    bool systemCopies = true; // until the system says it copies no ranges here
    Progress done;
    done.sourceSize = level.sourceId.size;
    for (std::uint64_t at = 0; at < level.sourceId.size;) {
        if (!events.keepGoing()) {
            stopped = true;
            return false;
        }
        // The bytes of the replacements the copy has passed are not needed again.
        while (next < level.replaced.size() &&
               level.replaced[next].offset + level.replaced[next].end + kSeam <= at)
            std::string().swap(level.replaced[next++].bytes);
        const Stretch stretch = nextStretch(level, at, next);
        if (!stretch.checked && systemCopies) {
            const SystemCopy copied =
                copyAligned(target, level.source, at, std::min(stretch.end - at, kSystemCopyBlock));
            if (copied.result == RangeCopy::Failed)
                return false;
            if (copied.result == RangeCopy::Short) {
                error = shorter(level);
                return false;
            }
            // The program copies from where the system stopped, when it copies no ranges here.
            systemCopies = copied.result == RangeCopy::Copied;
            if (copied.count > 0) {
                check.copied(copied.count);
                at += copied.count;
                done.bytesRead = at;
                done.percent = percentOf(at, level.sourceId.size);
                events.onProgress(Phase::Writing, done);
                continue;
            }
        }
        const auto want =
            static_cast<std::size_t>(std::min<std::uint64_t>(kCopyBlock, stretch.end - at));
        std::error_code ec;
        const std::size_t got = level.source.readAt(at, read.get(), want, ec);
        if (ec) {
            error = makeError(ErrorKind::SourceRead, level.sourcePath,
                              "Cannot read the source file", ec);
            return false;
        }
        if (got < want) {
            error = shorter(level);
            return false;
        }
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
        done.percent = percentOf(at, level.sourceId.size);
        events.onProgress(Phase::Writing, done);
    }
    for (Replacement& range : level.replaced)
        std::string().swap(range.bytes);
    // A stop that comes after the last block still leaves nothing behind.
    if (!events.keepGoing()) {
        stopped = true;
        return false;
    }
    error = checkWhole(level, check);
    return !error;
}

} // namespace glintmark::features
