#include "features/game/TextureHasher.h"

#include <algorithm>

namespace glintmark::features {

void TextureHasher::start(std::uint64_t number)
{
    finishCurrent();
    m_open = true;
    m_number = number;
    m_fed = 0;
    m_textureBytes = 0;
    m_reader.reset();
}

void TextureHasher::bytes(const char* data, std::size_t count)
{
    if (!m_open || count == 0)
        return;
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    std::size_t texture = count;
    if (!m_reader.ended()) {
        m_reader.feed(bytes, count);
        const auto end = m_reader.structure().end;
        if (end)
            texture = static_cast<std::size_t>(std::min<std::uint64_t>(count, *end - m_fed));
    } else {
        texture = 0;
    }
    m_texture.add(bytes, texture);
    m_textureBytes += texture;
    if (m_hashWritten && !m_trim)
        m_written.add(bytes, count);
    m_fed += count;
}

void TextureHasher::finishCurrent()
{
    if (!m_open)
        return;
    m_open = false;
    ImageDigests digests;
    digests.texture = m_texture.finish();
    digests.textureBytes = m_textureBytes;
    if (m_hashWritten && !m_trim)
        digests.written = m_written.finish();
    else
        digests.written = digests.texture;
    m_done.emplace(m_number, digests);
}

ImageDigests* TextureHasher::complete(std::uint64_t number)
{
    if (m_open && m_number == number)
        finishCurrent();
    const auto found = m_done.find(number);
    return found == m_done.end() ? nullptr : &found->second;
}

std::optional<ImageDigests> TextureHasher::take(std::uint64_t number)
{
    const ImageDigests* digests = complete(number);
    if (digests == nullptr)
        return std::nullopt;
    const ImageDigests taken = *digests;
    m_done.erase(number);
    return taken;
}

std::optional<Digest> TextureHasher::written(std::uint64_t number)
{
    const ImageDigests* digests = complete(number);
    return digests == nullptr ? std::nullopt : std::optional<Digest>(digests->written);
}

} // namespace glintmark::features
