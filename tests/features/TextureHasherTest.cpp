#include "features/game/TextureHasher.h"

#include "FeaturesTestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace glintmark::features {
namespace {

Digest digestOf(const std::string& bytes)
{
    Sha256 hash;
    hash.add(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    return hash.finish();
}

void feed(TextureHasher& hasher, const std::string& bytes, std::size_t piece)
{
    for (std::size_t at = 0; at < bytes.size(); at += piece)
        hasher.bytes(bytes.data() + at, std::min(piece, bytes.size() - at));
}

// The texture is the image through its end marker (the whole slice when it has none); the
// written bytes are the slice, unless trimmed, in whatever pieces the bytes come.
TEST(TextureHasher, HashesTheTextureAndTheWrittenBytesApart)
{
    const std::string jpeg = featurestest::testJpeg("colour");
    const std::string trailing = jpeg + "bytes behind its end marker, FF D9: \xFF\xD9";
    const std::string cut = jpeg.substr(0, jpeg.size() / 2);
    const struct
    {
        const char* what;
        std::string slice;
        std::string texture;
    } images[] = {
        {"whole", jpeg, jpeg},
        {"trailing", trailing, jpeg},
        {"cut short", cut, cut},
    };
    for (const auto& image : images) {
        for (const bool trim : {false, true}) {
            for (const bool hashWritten : {false, true}) {
                for (const std::size_t piece :
                     {std::size_t{1}, std::size_t{5}, image.slice.size()}) {
                    SCOPED_TRACE(std::string(image.what) + (trim ? ", trimmed" : "") +
                                 (hashWritten ? ", written hashed" : "") + ", pieces of " +
                                 std::to_string(piece));
                    TextureHasher hasher(trim, hashWritten);
                    hasher.start(7);
                    feed(hasher, image.slice, piece);
                    const auto digests = hasher.take(7);
                    ASSERT_TRUE(digests);
                    EXPECT_EQ(digests->texture, digestOf(image.texture));
                    EXPECT_EQ(digests->textureBytes, image.texture.size());
                    const bool slice = hashWritten && !trim;
                    EXPECT_EQ(digests->written, digestOf(slice ? image.slice : image.texture));
                }
            }
        }
    }
}

// Images reported late (by the writers) still get their own digests, each handed out once.
TEST(TextureHasher, KeepsEachImagesDigestsUntilAskedForThem)
{
    const std::string first = featurestest::testJpeg("colour");
    const std::string second = featurestest::testJpeg("grey");
    TextureHasher hasher(false, false);
    EXPECT_FALSE(hasher.take(1)) << "nothing started";
    hasher.bytes(first.data(), first.size()); // before any image: not counted
    hasher.start(1);
    feed(hasher, first, 100);
    hasher.start(2);
    feed(hasher, second, 100);
    const auto two = hasher.take(2);
    const auto one = hasher.take(1);
    ASSERT_TRUE(one && two);
    EXPECT_EQ(one->texture, digestOf(first));
    EXPECT_EQ(two->texture, digestOf(second));
    EXPECT_FALSE(hasher.take(1)) << "handed out once";
    EXPECT_FALSE(hasher.take(3));
}

} // namespace
} // namespace glintmark::features
