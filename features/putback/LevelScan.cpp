#include "features/putback/LevelScan.h"

#include <algorithm>

namespace glintmark::features {

LevelScan::LevelScan(RunEvents& events, Wanted wanted, OnTexture onTexture)
    : m_events(events), m_wanted(std::move(wanted)), m_onTexture(std::move(onTexture))
{}

bool LevelScan::onProgress(const Progress& progress)
{
    m_events.onProgress(Phase::Reading, progress);
    return m_events.keepGoing();
}

void LevelScan::onImage(const ImageInfo& image)
{
    if (m_wanted(image.number))
        originals.push_back(image);
    if (m_onTexture)
        m_onTexture(image, m_hash.finish());
    m_fed = 0;
}

void LevelScan::onImageBytes(std::uint64_t offset, const char* data, std::size_t count)
{
    (void)offset;
    if (!m_onTexture)
        return;
    if (m_fed == 0)
        m_reader.reset();
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    std::size_t take = count;
    if (m_reader.ended()) {
        take = 0; // the texture ended in an earlier block
    } else {
        m_reader.feed(bytes, count);
        // The end marker may stand inside this block: what follows it is no part of the texture.
        if (m_reader.ended())
            take = static_cast<std::size_t>(*m_reader.structure().end - m_fed);
    }
    m_hash.add(bytes, take);
    m_fed += count;
}

const ImageInfo& LevelScan::original(std::uint64_t number) const
{
    return *std::lower_bound(
        originals.begin(), originals.end(), number,
        [](const ImageInfo& image, std::uint64_t n) { return image.number < n; });
}

} // namespace glintmark::features
