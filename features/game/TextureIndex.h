#pragma once

#include "engine/ExtractTypes.h"
#include "features/game/Sha256.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace glintmark::features {

// One place a texture is used: image `number` of a level, its signature at `offset`, its file
// `written` bytes long (or as long as it would be, listing).
struct TextureUse
{
    std::uint32_t level = 0; // index into TextureIndex::levels()
    std::uint64_t number = 0;
    std::uint64_t offset = 0;
    std::uint64_t written = 0;
};

// A level's file as the run opened it: its size and when it was last written, in nanoseconds
// since 1970-01-01 UTC. Neither is known for what is not a regular file (a pipe).
struct LevelSource
{
    bool regular = false;
    std::uint64_t size = 0;
    std::optional<std::uint64_t> modified{};
};

// One distinct texture and every place it is used, in the order they were found.
struct Texture
{
    Digest sha256{};
    std::uint32_t width = 0; // 0 when no frame header gives it
    std::uint32_t height = 0;
    std::uint64_t bytes = 0; // from its signature through its end marker
    std::vector<TextureUse> in;
};

// A folder of the game that could not be read, so that its levels are missing from the index.
struct UnreadEntry
{
    std::filesystem::path folder; // its path inside the game
    std::string message;          // the folder and the system's reason
};

// The distinct textures of a game's levels: a digest and a few numbers per texture and per use,
// never a texture's bytes.
class TextureIndex
{
public:
    // A folder of the game could not be read: the index is incomplete.
    void addUnread(const std::filesystem::path& folder, std::string message)
    {
        m_unread.push_back({folder, std::move(message)});
    }
    // The folders of the game that could not be read, in order; none when the index is complete.
    const std::vector<UnreadEntry>& unread() const { return m_unread; }

    // A level joins the index under `name` (its path inside the game); returns its index.
    std::uint32_t addLevel(const std::filesystem::path& name);
    // Level `level`'s file was opened by its run as `identity`.
    void setSource(std::uint32_t level, const FileIdentity& identity);
    // Image `image` of level `level` has the texture of digest `digest`, `bytes` long.
    void add(std::uint32_t level, const ImageInfo& image, const Digest& digest,
             std::uint64_t bytes);

    const std::vector<std::filesystem::path>& levels() const { return m_levels; }
    // For each level, its file as its run opened it; unknown until then.
    const std::vector<LevelSource>& sources() const { return m_sources; }
    // The distinct textures, in the order each was first found.
    const std::vector<Texture>& textures() const { return m_textures; }
    // Every image added.
    std::uint64_t uses() const { return m_uses; }

private:
    struct DigestHash
    {
        std::size_t operator()(const Digest& digest) const;
    };

    std::vector<std::filesystem::path> m_levels;
    std::vector<LevelSource> m_sources;
    std::vector<UnreadEntry> m_unread;
    std::vector<Texture> m_textures;
    std::unordered_map<Digest, std::size_t, DigestHash> m_byDigest;
    std::uint64_t m_uses = 0;
};

// A level's path inside the game as the index and the reports write it, '/' between folders,
// its bytes kept by escapedName(): two levels never share a name.
std::string levelText(const std::filesystem::path& level);

// When a file was last written, as FileIdentity::changed counts, in nanoseconds since
// 1970-01-01 UTC, as the index records it; nothing when the system did not say.
std::optional<std::uint64_t> unixNanoseconds(std::uint64_t changed);

// "N textures in L levels, D distinct", the summary a game's run ends with.
std::string indexSummary(const TextureIndex& index);

} // namespace glintmark::features
