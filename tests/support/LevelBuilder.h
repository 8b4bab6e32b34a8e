#pragma once

#include "support/Signature.h"

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace glintmark::testsupport {

// How the bytes between images are drawn.
struct FillerStyle
{
    // The largest byte value drawn; below 0xFF, filler can never hold a signature.
    unsigned char maxByte = 0xFE;
    // Each stretch of filler carries a near-signature (the signature with its last byte changed)
    // at its start and then every this many bytes; 0 carries none.
    std::size_t nearSignatureEvery = 0;
};

// Builds the bytes of a level database: images as given, with seeded filler before, between
// and after them, remembering where each image starts. The same seed and calls give the same
// bytes.
class LevelBuilder
{
public:
    explicit LevelBuilder(std::uint32_t seed, FillerStyle style = {});

    // Appends `count` bytes of filler.
    LevelBuilder& filler(std::size_t count);
    // Appends filler until the level is `length` bytes long (none when it is already).
    LevelBuilder& fillerUpTo(std::size_t length);
    // Appends an image as given.
    LevelBuilder& image(std::string_view bytes);
    // Appends an image of `size` bytes: the signature, then filler.
    LevelBuilder& plainImage(std::size_t size);
    // A number from `low` to `high` (both included), drawn from the level's seed.
    std::size_t draw(std::size_t low, std::size_t high);

    // The whole level.
    const std::string& bytes() const { return m_bytes; }
    // How many images were appended.
    std::size_t imageCount() const { return m_starts.size(); }
    // Where image `index` (0-based) starts.
    std::size_t offset(std::size_t index) const { return m_starts.at(index); }
    // Image `index` as it was appended.
    std::string image(std::size_t index) const;
    // What extraction must write for image `index`: from its start to the next image's start,
    // the last to the end of the level.
    std::string expectedFile(std::size_t index) const;

private:
    std::mt19937 m_random;
    FillerStyle m_style;
    std::string m_bytes;
    std::vector<std::size_t> m_starts;
    std::vector<std::size_t> m_ends;
};

// The file name a run gives image `number` (counted from 1): "Vorlesk_0001.jpg" and on.
std::string imageName(std::uint64_t number);

// An image a run should cut from a stream: where its signature is and its bytes.
struct ExpectedImage
{
    std::uint64_t offset = 0;
    std::string bytes;
};

// The images of `stream`, found the simplest way: every position where `signature` starts opens
// an image that runs to the next such position or the end.
std::vector<ExpectedImage> referenceCut(std::string_view stream,
                                        std::string_view signature = kSignature);

} // namespace glintmark::testsupport
