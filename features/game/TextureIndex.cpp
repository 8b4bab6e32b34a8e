#include "features/game/TextureIndex.h"

#include "engine/io/PathText.h"
#include "engine/names/Utf8.h"
#include "features/ImageStatus.h"

#include <algorithm>
#include <cstring>

namespace glintmark::features {

std::optional<std::uint64_t> unixNanoseconds(std::uint64_t changed)
{
    if (changed == 0)
        return std::nullopt;
#ifdef _WIN32
    // Windows counts tenths of a microsecond since 1601-01-01.
    constexpr std::uint64_t kTo1970 = 116'444'736'000'000'000U;
    if (changed < kTo1970)
        return std::nullopt;
    return (changed - kTo1970) * 100U;
#else
    return changed;
#endif
}

std::string levelText(const std::filesystem::path& level)
{
    std::string text = displayPath(level);
#ifdef _WIN32
    std::replace(text.begin(), text.end(), '\\', '/');
#endif
    return escapedName(text);
}

std::size_t TextureIndex::DigestHash::operator()(const Digest& digest) const
{
    std::size_t value = 0;
    std::memcpy(&value, digest.data(), sizeof value);
    return value;
}

std::uint32_t TextureIndex::addLevel(const std::filesystem::path& name)
{
    m_levels.push_back(name);
    m_sources.emplace_back();
    return static_cast<std::uint32_t>(m_levels.size() - 1);
}

void TextureIndex::setSource(std::uint32_t level, const FileIdentity& identity)
{
    LevelSource& source = m_sources.at(level);
    source.regular = identity.type == FileType::Regular;
    source.size = source.regular ? identity.size : 0;
    source.modified = source.regular ? unixNanoseconds(identity.changed) : std::nullopt;
}

void TextureIndex::add(std::uint32_t level, const ImageInfo& image, const Digest& digest,
                       std::uint64_t bytes)
{
    const auto [found, added] = m_byDigest.emplace(digest, m_textures.size());
    if (added) {
        Texture texture;
        texture.sha256 = digest;
        texture.width = image.jpeg.width;
        texture.height = image.jpeg.height;
        texture.bytes = bytes;
        m_textures.push_back(std::move(texture));
    }
    m_textures[found->second].in.push_back({level, image.number, image.offset, image.written});
    ++m_uses;
}

std::string indexSummary(const TextureIndex& index)
{
    return groupedNumber(index.uses()) + (index.uses() == 1 ? " texture in " : " textures in ") +
           groupedNumber(index.levels().size()) +
           (index.levels().size() == 1 ? " level, " : " levels, ") +
           groupedNumber(index.textures().size()) + " distinct";
}

} // namespace glintmark::features
