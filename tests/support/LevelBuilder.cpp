#include "support/LevelBuilder.h"

#include <cstdio>

namespace glintmark::testsupport {

LevelBuilder::LevelBuilder(std::uint32_t seed, FillerStyle style) : m_random(seed), m_style(style)
{}

LevelBuilder& LevelBuilder::filler(std::size_t count)
{
    std::uniform_int_distribution<unsigned> byte(0, m_style.maxByte);
    const std::size_t from = m_bytes.size();
    for (std::size_t i = 0; i < count; ++i)
        m_bytes += static_cast<char>(byte(m_random));
    if (m_style.nearSignatureEvery > 0) {
        std::string near(kSignature);
        near.back() = 'X';
        for (std::size_t at = from; at + near.size() < m_bytes.size();
             at += m_style.nearSignatureEvery)
            m_bytes.replace(at, near.size(), near);
    }
    return *this;
}

LevelBuilder& LevelBuilder::fillerUpTo(std::size_t length)
{
    return filler(length > m_bytes.size() ? length - m_bytes.size() : 0);
}

LevelBuilder& LevelBuilder::image(std::string_view bytes)
{
    m_starts.push_back(m_bytes.size());
    m_bytes += bytes;
    m_ends.push_back(m_bytes.size());
    return *this;
}

LevelBuilder& LevelBuilder::plainImage(std::size_t size)
{
    m_starts.push_back(m_bytes.size());
    m_bytes += kSignature;
    filler(size > kSignature.size() ? size - kSignature.size() : 0);
    m_ends.push_back(m_bytes.size());
    return *this;
}

std::size_t LevelBuilder::draw(std::size_t low, std::size_t high)
{
    return std::uniform_int_distribution<std::size_t>(low, high)(m_random);
}

std::string LevelBuilder::image(std::size_t index) const
{
    return m_bytes.substr(m_starts.at(index), m_ends.at(index) - m_starts.at(index));
}

std::string LevelBuilder::expectedFile(std::size_t index) const
{
    const std::size_t end = index + 1 < m_starts.size() ? m_starts[index + 1] : m_bytes.size();
    return m_bytes.substr(m_starts.at(index), end - m_starts[index]);
}

std::string imageName(std::uint64_t number)
{
    char name[32];
    std::snprintf(name, sizeof name, "Vorlesk_%04llu.jpg", static_cast<unsigned long long>(number));
    return name;
}

std::vector<ExpectedImage> referenceCut(std::string_view stream, std::string_view signature)
{
    std::vector<std::size_t> starts;
    for (std::size_t p = 0; p + signature.size() <= stream.size(); ++p)
        if (stream.compare(p, signature.size(), signature) == 0)
            starts.push_back(p);
    std::vector<ExpectedImage> images;
    for (std::size_t i = 0; i < starts.size(); ++i) {
        const std::size_t end = i + 1 < starts.size() ? starts[i + 1] : stream.size();
        images.push_back({starts[i], std::string(stream.substr(starts[i], end - starts[i]))});
    }
    return images;
}

} // namespace glintmark::testsupport
