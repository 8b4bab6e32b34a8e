#pragma once

#include "engine/jpeg/JpegReader.h"
#include "features/game/Sha256.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>

namespace glintmark::features {

// The digests of one image's bytes.
struct ImageDigests
{
    Digest texture{};               // its bytes from its signature through its end marker (all of
                                    // them when it has none): the texture itself
    std::uint64_t textureBytes = 0; // how many that is
    Digest written{};               // the bytes its file holds (the texture's, when trimmed)
};

// Hashes each image of a run as its bytes stream past, holding no image's bytes: the run tells
// where each image starts, and hands over its bytes in order.
class TextureHasher
{
public:
    // `trim`: the files hold the texture only; otherwise each holds its whole slice, hashed
    // apart when `hashWritten`.
    TextureHasher(bool trim, bool hashWritten) : m_trim(trim), m_hashWritten(hashWritten) {}

    // Image `number` starts; the image before it, if any, is complete.
    void start(std::uint64_t number);
    // The next bytes of the current image.
    void bytes(const char* data, std::size_t count);
    // The digests of image `number`, once its last byte is in: when the next image has started,
    // or when asked for the current one (which is then complete). Each is handed out once.
    std::optional<ImageDigests> take(std::uint64_t number);
    // The digest of what image `number`'s file holds, once its last byte is in (as take(),
    // completing the current image), without handing its digests out.
    std::optional<Digest> written(std::uint64_t number);

private:
    void finishCurrent();
    // The digests of image `number` once its last byte is in (completing the current image),
    // not handed out; null when there are none.
    ImageDigests* complete(std::uint64_t number);

    bool m_trim;
    bool m_hashWritten;
    bool m_open = false;
    std::uint64_t m_number = 0;
    std::uint64_t m_fed = 0; // bytes of the current image so far
    JpegReader m_reader;
    Sha256 m_texture;
    Sha256 m_written;
    std::uint64_t m_textureBytes = 0;
    // Complete images not asked for yet: only those the writers still put in place.
    std::map<std::uint64_t, ImageDigests> m_done;
};

} // namespace glintmark::features
