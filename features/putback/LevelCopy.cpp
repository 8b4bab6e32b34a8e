#include "features/putback/LevelCopy.h"

#include "engine/Percent.h"
#include "engine/io/PathText.h"
#include "features/putback/NewLevelCheck.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace glintmark::features {
namespace {

// Bytes copied at a time; large enough that the copy runs at the speed of the disk.
constexpr std::size_t kCopyBlock = std::size_t{1} << 20;

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
    Progress done;
    done.sourceSize = level.sourceId.size;
    for (std::uint64_t at = 0; at < level.sourceId.size;) {
        if (!events.keepGoing()) {
            stopped = true;
            return false;
        }
        const auto want =
            static_cast<std::size_t>(std::min<std::uint64_t>(kCopyBlock, level.sourceId.size - at));
        std::error_code ec;
        const std::size_t got = level.source.readAt(at, read.get(), want, ec);
        if (ec) {
            error = makeError(ErrorKind::SourceRead, level.sourcePath,
                              "Cannot read the source file", ec);
            return false;
        }
        if (got < want) {
            error = ExtractError{ErrorKind::SourceRead, level.sourcePath,
                                 "The source file \"" + displayPath(level.sourcePath) +
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
    std::optional<std::string> problem = check.finish();
    std::error_code ec;
    const FileIdentity now = level.source.identity(ec);
    if (!problem &&
        (ec || now.size != level.sourceId.size || now.changed != level.sourceId.changed))
        problem = "the source changed while it was read";
    if (problem) {
        error = ExtractError{ErrorKind::ImageWrite, level.into,
                             "\"" + displayPath(level.into) +
                                 "\" was not put in place: a check of what was written found "
                                 "that " +
                                 *problem};
        return false;
    }
    return true;
}

} // namespace glintmark::features
