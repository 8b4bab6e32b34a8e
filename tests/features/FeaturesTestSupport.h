#pragma once

#include "engine/Extraction.h"
#include "features/ImageStatus.h"
#include "features/putback/PutBack.h"
#include "support/LevelBuilder.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace glintmark::featurestest {

using testsupport::imageName;
using testsupport::kSignature;
using testsupport::LevelBuilder;
using testsupport::signature;

// An empty folder of its own for the running test.
std::filesystem::path freshTestFolder();

// A file's whole contents, or the test fails.
std::string readBytes(const std::filesystem::path& file);
void writeBytes(const std::filesystem::path& file, const std::string& bytes);

// The names of the entries in a folder, sorted; hidden ones (a dot first) too, but not the lock
// file of a folder open on Windows.
std::vector<std::string> entriesIn(const std::filesystem::path& folder);

// A JPEG encoded by cjpeg at build time (make_feature_jpegs.py): "colour", "taller", "grey", ...
std::string testJpeg(const std::string& name);

// The sample level database; image `number` of it: where it starts, how long it is through its
// end marker, and its bytes through that marker.
std::filesystem::path demoLdb();
std::uint64_t demoOffset(int number);
std::uint64_t demoEnd(int number);
std::string demoImage(int number);
// Image `number` of the sample as a run finds it: up to the next image, with its structure.
ImageInfo demoInfo(int number);
// Image 1 of the sample with three bits of its data flipped: a bad Huffman code that a decoder
// fed the whole image at once mends without a word, but one fed as from a file reports.
std::string flippedBitsImage();
// Image `number` of the sample, its frame header patched to claim `width` x `height` pixels;
// its data runs out long before.
std::string claimingImage(int number, unsigned width, unsigned height);

// What the engine's structure reader makes of `bytes`, as an image of a run: numbered `number`,
// at `offset`, all of `bytes` its size.
ImageInfo imageInfo(const std::string& bytes, std::uint64_t number = 1, std::uint64_t offset = 0);

// The images of a level as a run finds them: numbered from 1, each from its start to the next
// image's (the last to the level's end), with its structure.
std::vector<features::CheckedImage> imagesOf(const LevelBuilder& level);

// Sets (or, given null, removes) a variable of this process's environment while it lives.
class ScopedEnvironment
{
public:
    ScopedEnvironment(const char* name, const char* value);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::string m_name;
    std::optional<std::string> m_saved;
};

// What libjpeg itself, called here apart from the product's code and fed as from a file, makes
// of a JPEG: the referee of every verdict and encoding.
struct Referee
{
    bool finished = false; // every scanline came out
    int warnings = 0;
    std::string message; // the first complaint
    unsigned width = 0;
    unsigned height = 0;
    int components = 0;
    int colourSpace = 0; // the file's J_COLOR_SPACE
    bool progressive = false;
    bool arithmetic = false;
    std::vector<std::pair<int, int>> sampling; // each component's horizontal, vertical factors
    int quality = 0; // the libjpeg quality whose luminance table the file holds; 0 for none
    bool optimisedHuffman = false; // its Huffman tables are not the standard ones
    // The pixels as libjpeg decodes them by default (RGB, grey or CMYK), with their shape.
    std::vector<unsigned char> pixels;
    int pixelComponents = 0;
    int pixelColourSpace = 0;

    bool clean() const { return finished && warnings == 0; }
};
// With `pixelColourSpace` (a J_COLOR_SPACE), the pixels come out in it, as libjpeg converts them.
Referee referee(const std::string& jpeg, int pixelColourSpace = 0);

// The referee's pixels encoded by libjpeg at `quality`: progressive or not, arithmetic or with
// Huffman tables optimised or standard, with `sampling` per component when given.
struct RefereeEncoding
{
    int quality = 75;
    bool progressive = false;
    bool arithmetic = false;
    bool optimise = true;
    std::vector<std::pair<int, int>> sampling;
};
std::string refereeEncode(const Referee& decoded, const RefereeEncoding& settings);

// `jpeg` decoded and encoded again by the referee at `quality` (progressive when asked).
std::string reencoded(const std::string& jpeg, int quality, bool progressive = false);
// A picture of seeded noise, which no quality setting makes small, encoded at quality 100.
std::string noiseJpeg(unsigned width, unsigned height);

// A level of a few mebibytes: the sample's images among seeded bytes, with images across the
// put-back copy's block boundaries and near-signatures in between.
std::string generatedLevel();

// The generated level with every baseline image encoded again at a lower quality where that
// makes it smaller, and the replacements that say so.
struct NewLevel
{
    std::string source;
    std::string written;
    std::vector<features::Replacement> replaced;
};
NewLevel replacedLevel();

} // namespace glintmark::featurestest
