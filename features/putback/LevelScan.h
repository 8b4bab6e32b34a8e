#pragma once

#include "engine/ExtractTypes.h"
#include "engine/jpeg/JpegReader.h"
#include "features/RunEvents.h"
#include "features/game/Sha256.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace glintmark::features {

// Listens to the scan of a level for put-back: keeps the images `wanted` asks for, passes on
// progress and a request to stop, and, when `onTexture` is given, hands it the SHA-256 of every
// image's texture (its bytes from the signature through its end marker, or the whole image when
// it has none), hashed as the bytes stream past.
class LevelScan : public ExtractObserver
{
public:
    using Wanted = std::function<bool(std::uint64_t number)>;
    using OnTexture = std::function<void(const ImageInfo& image, const Digest& texture)>;

    LevelScan(RunEvents& events, Wanted wanted, OnTexture onTexture = {});

    bool onProgress(const Progress& progress) override;
    void onImage(const ImageInfo& image) override;
    void onImageBytes(std::uint64_t offset, const char* data, std::size_t count) override;

    // The images wanted, in ascending order of number.
    std::vector<ImageInfo> originals;

    // The original of image `number`, which is among them.
    const ImageInfo& original(std::uint64_t number) const;

private:
    RunEvents& m_events;
    Wanted m_wanted;
    OnTexture m_onTexture;
    JpegReader m_reader;
    Sha256 m_hash;
    std::uint64_t m_fed = 0; // bytes of the current image seen so far
};

} // namespace glintmark::features
