#include "features/game/TextureIndex.h"

#include "engine/io/PathText.h"
#include "features/ImageStatus.h"

#include <algorithm>
#include <cstring>

namespace glintmark::features {
namespace {

// The length of the UTF-8 sequence that starts `text` at `at`, or 0 when none does.
std::size_t utf8Length(std::string_view text, std::size_t at)
{
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t length = 0;
    std::uint32_t lowest = 0;
    if (lead < 0x80)
        return 1;
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        lowest = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        lowest = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        lowest = 0x10000;
    } else {
        return 0;
    }
    if (at + length > text.size())
        return 0;
    std::uint32_t code = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[at + i]);
        if ((next & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (next & 0x3F);
    }
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return code < lowest || code > 0x10FFFF || surrogate ? 0 : length;
}

} // namespace

std::string levelText(const std::filesystem::path& level)
{
    std::string text = displayPath(level);
#ifdef _WIN32
    std::replace(text.begin(), text.end(), '\\', '/');
#endif
    return text;
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
    return static_cast<std::uint32_t>(m_levels.size() - 1);
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
    m_textures[found->second].in.push_back({level, image.number, image.offset});
    ++m_uses;
}

std::string indexSummary(const TextureIndex& index)
{
    return groupedNumber(index.uses()) + (index.uses() == 1 ? " texture in " : " textures in ") +
           groupedNumber(index.levels().size()) +
           (index.levels().size() == 1 ? " level, " : " levels, ") +
           groupedNumber(index.textures().size()) + " distinct";
}

std::string jsonString(std::string_view text)
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::string quoted = "\"";
    for (std::size_t at = 0; at < text.size();) {
        const char c = text[at];
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (byte < 0x20) {
            quoted += "\\u00";
            quoted += kHex[byte >> 4];
            quoted += kHex[byte & 0x0F];
        } else if (byte >= 0x80) {
            const std::size_t length = utf8Length(text, at);
            if (length == 0) {
                quoted += "\\ufffd";
                ++at;
            } else {
                quoted.append(text.substr(at, length));
                at += length;
            }
            continue;
        } else {
            quoted += c;
        }
        ++at;
    }
    quoted += '"';
    return quoted;
}

bool writeIndexJson(const TextureIndex& index, const std::function<bool(std::string_view)>& out,
                    const std::function<bool()>& keepGoing)
{
    std::vector<std::string> names;
    names.reserve(index.levels().size());
    for (const std::filesystem::path& level : index.levels())
        names.push_back(jsonString(levelText(level)));
    std::string text = "{\n  \"levels\": [";
    for (std::size_t i = 0; i < names.size(); ++i) {
        text += i == 0 ? "\n    " : ",\n    ";
        text += names[i];
    }
    text += index.levels().empty() ? "],\n  \"textures\": [" : "\n  ],\n  \"textures\": [";
    bool first = true;
    for (const Texture& texture : index.textures()) {
        if (!keepGoing())
            return false;
        text += first ? "\n    " : ",\n    ";
        first = false;
        text += "{\"sha256\": \"" + digestHex(texture.sha256) +
                "\", \"width\": " + std::to_string(texture.width) +
                ", \"height\": " + std::to_string(texture.height) +
                ", \"bytes\": " + std::to_string(texture.bytes) + ", \"in\": [";
        for (std::size_t u = 0; u < texture.in.size(); ++u) {
            const TextureUse& use = texture.in[u];
            text += u == 0 ? "" : ", ";
            text += "{\"level\": " + names[use.level] +
                    ", \"number\": " + std::to_string(use.number) +
                    ", \"offset\": " + std::to_string(use.offset) + "}";
        }
        text += "]}";
        if (text.size() >= (std::size_t{64} << 10)) {
            if (!out(text))
                return false;
            text.clear();
        }
    }
    text += index.textures().empty() ? "]\n}\n" : "\n  ]\n}\n";
    return out(text);
}

} // namespace glintmark::features
