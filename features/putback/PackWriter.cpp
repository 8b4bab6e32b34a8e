#include "features/putback/PackWriter.h"

#include "engine/LockedFolder.h"
#include "engine/io/PathText.h"
#include "engine/io/RawFile.h"

#include <array>
#include <functional>
#include <map>
#include <utility>

namespace glintmark::features {
namespace {

namespace fs = std::filesystem;

// Reads the edit `file` through and hands its bytes to `take` (when set) piece by piece; its
// SHA-256 in `digest`. False (with `error`) when it cannot be read, or at a stop.
bool readEdit(const fs::path& file, RunEvents& events,
              const std::function<bool(std::string_view)>& take, Digest& digest,
              std::optional<ExtractError>& error)
{
    std::error_code ec;
    RawFile in = RawFile::openForReading(file, ec);
    if (ec) {
        error = makeError(ErrorKind::SourceOpen, file, "Cannot read the edited image", ec);
        return false;
    }
    Sha256 hash;
    std::array<char, std::size_t{64} * 1024> buffer{};
    for (;;) {
        const std::size_t got = in.readFully(buffer.data(), buffer.size(), ec);
        if (ec) {
            error = makeError(ErrorKind::SourceRead, file, "Cannot read the edited image", ec);
            return false;
        }
        hash.add(reinterpret_cast<const unsigned char*>(buffer.data()), got);
        if (take && !take(std::string_view(buffer.data(), got)))
            return false;
        if (got < buffer.size())
            break;
        if (!events.keepGoing())
            return false;
    }
    digest = hash.finish();
    return true;
}

// An edit already in the pack: its file and the digest of its bytes.
struct Packed
{
    fs::path file;
    Digest bytes{};
};

ExtractError twoEdits(const fs::path& pack, const fs::path& first, const fs::path& second,
                      const Digest& texture)
{
    return ExtractError{ErrorKind::InvalidJob, second,
                        "Cannot write the pack \"" + displayPath(pack) + "\": \"" +
                            displayPath(first) + "\" and \"" + displayPath(second) +
                            "\" are two different edits of texture " + digestHex(texture) +
                            ", and a pack holds one edit of each texture"};
}

// Writes every edit into the begun folder; `written` gets the entries.
std::optional<ExtractError> fill(NewGameFolder& folder, const fs::path& pack,
                                 const std::vector<EditedTexture>& edits, RunEvents& events,
                                 PackWritten& written)
{
    std::map<Digest, Packed> packed;
    for (const EditedTexture& edit : edits) {
        if (!events.keepGoing()) {
            written.stopped = true;
            return std::nullopt;
        }
        std::optional<ExtractError> error;
        Digest bytes{};
        const auto known = packed.find(edit.texture);
        if (known != packed.end()) {
            if (!readEdit(edit.file, events, {}, bytes, error)) {
                written.stopped = !error;
                return error;
            }
            if (bytes != known->second.bytes)
                return twoEdits(pack, known->second.file, edit.file, edit.texture);
            continue;
        }
        PackEntry entry{edit.texture, edit.width, edit.height, edit.components,
                        packFileName(edit.texture, edit.file)};
        bool complete = false;
        std::optional<ExtractError> unread;
        error = folder.write(
            fs::path(entry.file), "the pack's texture",
            [&](FileWriter& writer) {
                return readEdit(
                    edit.file, events,
                    [&writer](std::string_view piece) { return writer.write(piece); }, bytes,
                    unread);
            },
            complete);
        if (unread)
            error = std::move(unread);
        if (error || !complete) {
            written.stopped = !error;
            return error;
        }
        packed.emplace(edit.texture, Packed{edit.file, bytes});
        written.entries.push_back(std::move(entry));
    }
    bool complete = false;
    const std::string description = packJson(written.entries);
    return folder.write(
        fs::path(kPackRecord), "the pack's description",
        [&description](FileWriter& writer) { return writer.write(description); }, complete);
}

} // namespace

const BuiltFolder kPackFolder{
    kPackRecord, "",   "", "pack", "which is no pack (it holds no pack.json) and is not empty",
    true,        false};

std::optional<ExtractError> refuseForeignPack(const fs::path& pack)
{
    return refuseForeignFolder(pack, kPackFolder);
}

PackWritten writePack(const fs::path& pack, const std::vector<EditedTexture>& edits,
                      RunEvents& events)
{
    PackWritten written;
    NewGameFolder folder(pack, kPackFolder);
    std::optional<ExtractError> error = folder.begin();
    if (!error)
        error = fill(folder, pack, edits, events, written);
    if (!error && !written.stopped && !events.keepGoing())
        written.stopped = true;
    if (!error && !written.stopped)
        error = folder.place();
    if (!folder.placed()) {
        if (auto left = folder.discard()) {
            if (error)
                error->message += "; " + left->message;
            else
                error = std::move(left);
        }
        written.entries.clear();
    }
    written.error = std::move(error);
    return written;
}

} // namespace glintmark::features
