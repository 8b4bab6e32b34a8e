#include "features/putback/EditPlaces.h"

#include "engine/Extraction.h"
#include "engine/io/PathText.h"
#include "engine/jpeg/JpegReader.h"
#include "features/game/TextureIndex.h"
#include "features/putback/LevelScan.h"

#include <algorithm>
#include <map>

namespace glintmark::features {
namespace {

bool before(const ImageInfo& a, const ImageInfo& b)
{
    return a.number < b.number;
}

// Each texture's places, by number: as the index recorded them and as the level holds them now.
struct Places
{
    std::vector<std::uint64_t> then;
    std::vector<std::uint64_t> now;
};

// How many places moved, went and came between the extraction and now: the k-th place of a
// texture then is its k-th place now.
void countChanges(const std::map<Digest, Places>& places, SinceExtraction& since)
{
    for (const auto& [texture, place] : places) {
        const std::size_t both = std::min(place.then.size(), place.now.size());
        for (std::size_t k = 0; k < both; ++k)
            since.moved += place.then[k] != place.now[k] ? 1 : 0;
        since.gone += place.then.size() - both;
        since.added += place.now.size() - both;
    }
}

std::string times(std::size_t count)
{
    return count == 1 ? std::string("once") : std::to_string(count) + " times";
}

// By number: file N goes to image N of the `count` the level holds now.
std::optional<ExtractError> placeByNumber(const std::filesystem::path& file, const EditScan& scan,
                                          std::uint64_t count, std::vector<ImageInfo> originals,
                                          const std::map<std::uint64_t, Digest>& textures,
                                          LevelEdits& found)
{
    for (const std::uint64_t number : scan.numbers) {
        EditTarget target;
        target.number = number;
        if (number <= count) {
            ImageInfo wanted;
            wanted.number = number;
            const auto original =
                std::lower_bound(originals.begin(), originals.end(), wanted, before);
            if (original == originals.end() || original->number != number)
                return ExtractError{ErrorKind::SourceRead, file,
                                    "The source file \"" + displayPath(file) +
                                        "\" changed while it was read: image " +
                                        std::to_string(number) + " was not found again"};
            target.original = *original;
            if (const auto texture = textures.find(number); texture != textures.end())
                target.texture = texture->second;
        } else {
            target.missing = "is numbered beyond the " + std::to_string(count) + " textures in " +
                             displayPath(file);
        }
        found.targets.push_back(std::move(target));
    }
    found.originals = std::move(originals);
    return std::nullopt;
}

// By texture: the k-th edited use of a texture in the index goes to the k-th of its places now
// (`now`, by texture).
void placeByTexture(const std::filesystem::path& file, const EditScan& scan,
                    const std::map<Digest, std::vector<ImageInfo>>& now, LevelEdits& found)
{
    std::map<Digest, std::size_t> rank;
    auto use = scan.indexed->images.begin();
    for (const std::uint64_t number : scan.numbers) {
        EditTarget target;
        target.number = number;
        while (use != scan.indexed->images.end() && use->first < number) {
            ++rank[use->second];
            ++use;
        }
        if (use == scan.indexed->images.end() || use->first != number) {
            // Numbered beyond the extraction's images, as by number; or in a gap of its numbers.
            const std::uint64_t count = scan.indexed->images.size();
            target.missing = use == scan.indexed->images.end()
                                 ? "is numbered beyond the " + std::to_string(count) +
                                       " textures in " + displayPath(file)
                                 : "is numbered as no image the index lists for " + scan.levelName;
            found.targets.push_back(std::move(target));
            continue;
        }
        const Digest& texture = use->second;
        const std::size_t k = rank[texture];
        const std::vector<ImageInfo>& places = now.at(texture);
        target.extracted = texture;
        if (k < places.size()) {
            target.original = places[k];
            target.texture = texture;
            found.originals.push_back(places[k]);
        } else if (places.empty()) {
            target.missing = "was cut from image " + std::to_string(number) +
                             ", and its texture is no longer in " + scan.levelName;
        } else {
            target.missing = "was cut from use " + std::to_string(k + 1) +
                             " of its texture, which " + scan.levelName + " now holds only " +
                             times(places.size()) + ", so which place it takes is not known";
        }
        found.targets.push_back(std::move(target));
    }
    std::sort(found.originals.begin(), found.originals.end(), before);
}

// Whether the level is not the file that was extracted, and how its textures' places changed.
SinceExtraction sinceExtraction(const IndexedLevel& indexed, const std::map<Digest, Places>& places,
                                const FileIdentity& sourceId)
{
    SinceExtraction since;
    since.byTexture = true;
    countChanges(places, since);
    const std::optional<std::uint64_t> modified = unixNanoseconds(sourceId.changed);
    since.changed = since.moved + since.gone + since.added != 0 ||
                    (indexed.size && *indexed.size != sourceId.size) ||
                    (indexed.modified && modified && *indexed.modified != *modified);
    return since;
}

} // namespace

std::optional<ExtractError> scanForEdits(const std::filesystem::path& file, RawFile& source,
                                         const FileIdentity& sourceId, const EditScan& scan,
                                         RunEvents& events, LevelEdits& found, bool& stopped)
{
    const auto edited = [&scan](std::uint64_t number) {
        return std::binary_search(scan.numbers.begin(), scan.numbers.end(), number);
    };
    // By the index: the textures the edited files were cut from, and every texture's places.
    std::map<Digest, Places> places;
    std::map<Digest, std::vector<ImageInfo>> wantedPlaces;
    if (scan.indexed != nullptr) {
        for (const auto& [number, texture] : scan.indexed->images) {
            places[texture].then.push_back(number);
            if (edited(number))
                wantedPlaces[texture];
        }
    }
    std::map<std::uint64_t, Digest> textures; // by number: the hashed originals' textures
    LevelScan::OnTexture onTexture;
    if (scan.indexed != nullptr) {
        onTexture = [&](const ImageInfo& image, const Digest& texture) {
            places[texture].now.push_back(image.number);
            if (const auto want = wantedPlaces.find(texture); want != wantedPlaces.end())
                want->second.push_back(image);
        };
    } else if (scan.hashTextures) {
        onTexture = [&](const ImageInfo& image, const Digest& texture) {
            if (edited(image.number))
                textures[image.number] = texture;
        };
    }
    LevelScan levelScan(
        events, [&](std::uint64_t number) { return scan.indexed == nullptr && edited(number); },
        onTexture);
    ExtractJob listing;
    listing.sourceFile = file;
    const ExtractResult listed = listOpenSource(listing, source, &levelScan);
    found.images = listed.count;
    found.named = scan.indexed != nullptr ? scan.indexed->images.size() : listed.count;
    stopped = listed.status == RunStatus::Stopped;
    if (listed.status == RunStatus::Failed)
        return listed.error;
    if (stopped)
        return std::nullopt;

    if (scan.indexed == nullptr)
        return placeByNumber(file, scan, listed.count, std::move(levelScan.originals), textures,
                             found);
    placeByTexture(file, scan, wantedPlaces, found);
    found.since = sinceExtraction(*scan.indexed, places, sourceId);
    return std::nullopt;
}

const ImageInfo& LevelEdits::original(std::uint64_t number) const
{
    ImageInfo wanted;
    wanted.number = number;
    return *std::lower_bound(originals.begin(), originals.end(), wanted, before);
}

void recordTextures(const std::vector<EditTarget>& targets, PutBackOutcome& outcome)
{
    for (const Replacement& replacement : outcome.replaced) {
        for (const EditTarget& target : targets) {
            if (!target.original || target.original->number != replacement.number ||
                !target.texture)
                continue;
            const JpegStructure& frame = target.original->jpeg;
            outcome.textures.push_back(
                {replacement.file, *target.texture, frame.width, frame.height, frame.components});
            break;
        }
    }
}

Digest textureDigest(const std::string& bytes)
{
    JpegReader reader;
    reader.feed(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    const std::size_t through =
        reader.ended() ? static_cast<std::size_t>(*reader.structure().end) : bytes.size();
    Sha256 hash;
    hash.add(reinterpret_cast<const unsigned char*>(bytes.data()), through);
    return hash.finish();
}

} // namespace glintmark::features
