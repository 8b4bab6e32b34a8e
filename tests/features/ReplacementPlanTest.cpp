// What becomes of each edited image: left alone, put back as it is, encoded again to fit, or
// refused with the reason; and the reading of the folder of edited images.
#include "FeaturesTestSupport.h"

#include "engine/io/PathText.h"
#include "features/putback/ReplacementPlan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <limits>
#include <variant>

namespace glintmark::featurestest {
namespace {

namespace fs = std::filesystem;
using features::Replacement;
using features::Unchanged;

// The image with a comment segment after its JFIF segment that makes it `length` bytes long.
std::string paddedTo(const std::string& jpeg, std::size_t length)
{
    const std::size_t body = length - jpeg.size() - 2;
    std::string comment = "\xFF\xFE";
    comment += static_cast<char>(body >> 8);
    comment += static_cast<char>(body & 0xFF);
    comment.append(body - 2, 'c');
    return jpeg.substr(0, 20) + comment + jpeg.substr(20);
}

// The image as an editor that writes Exif instead of JFIF saves it.
std::string exifFirst(const std::string& jpeg)
{
    return jpeg.substr(0, 2) +
           std::string("\xFF\xE1\x00\x08"
                       "Exif\x00\x00",
                       10) +
           jpeg.substr(20);
}

// A restart marker in the middle of the image data: the structure holds, the decoder objects.
std::string strayRestart(std::string jpeg)
{
    std::size_t at = (jpeg.find("\xFF\xDA") + jpeg.size()) / 2;
    while (jpeg[at - 1] == '\xFF' || jpeg[at] == '\xFF' || jpeg[at + 1] == '\xFF')
        ++at;
    return jpeg.replace(at, 2, "\xFF\xD3");
}

// The image with a comment after its JFIF segment that holds the signature at byte 26.
std::string signatureInside(const std::string& jpeg)
{
    return jpeg.substr(0, 20) + std::string("\xFF\xFE\x00\x0E", 4) + "ab" + signature() +
           jpeg.substr(20);
}

// An original image: what a run found, and its bytes through its end.
struct Original
{
    ImageInfo info;
    std::string bytes;
};

Original demoOriginal(int number)
{
    return {demoInfo(number), demoImage(number)};
}

Original originalOf(const std::string& jpeg)
{
    return {imageInfo(jpeg), jpeg};
}

// What the judge must decide.
enum class Decision
{
    Unchanged,
    PutBack, // as it is (with a JFIF segment put first when `jfifAdded`)
    Fitted,  // encoded again at the highest quality that fits
    Refused
};

struct Case
{
    const char* what;
    std::string edited;
    Original original;
    bool fit;
    Decision decision;
    std::string expected; // put back: the bytes; refused: the reason
    bool jfifAdded = false;
};

std::string decisionText(const std::variant<Unchanged, Replacement, std::string>& judged)
{
    if (std::holds_alternative<Unchanged>(judged))
        return "unchanged";
    if (const auto* reason = std::get_if<std::string>(&judged))
        return "refused: " + *reason;
    return "put back";
}

// What the referee encodes the edited image's pixels to at `quality`, as --fit must for the
// original's coding and sampling.
std::string fittedAt(const std::string& edited, const Original& original, int quality)
{
    // The edit's pixels in the original's colour: grey for grey, RGB for colour.
    const Referee want = referee(original.bytes);
    const Referee pixels = referee(edited, want.pixelColourSpace);
    RefereeEncoding settings;
    settings.quality = quality;
    settings.progressive = want.progressive;
    settings.arithmetic = want.arithmetic;
    settings.sampling = want.sampling;
    return refereeEncode(pixels, settings);
}

// An image encoded again by --fit: the referee decodes it as the original's shape and coding,
// it fits, and it was encoded at the highest quality that fits.
void expectFitted(const Case& c, const Replacement& replacement)
{
    const std::uint64_t room = *c.original.info.jpeg.end;
    ASSERT_TRUE(replacement.quality.has_value());
    const int quality = *replacement.quality;
    EXPECT_GE(quality, 30);
    EXPECT_LE(quality, 95);
    EXPECT_LE(replacement.bytes.size(), room);
    EXPECT_EQ(replacement.bytes.compare(0, kSignature.size(), kSignature), 0);
    const Referee judged = referee(replacement.bytes);
    const Referee want = referee(c.original.bytes);
    EXPECT_TRUE(judged.clean()) << judged.message;
    EXPECT_EQ(judged.width, want.width);
    EXPECT_EQ(judged.height, want.height);
    EXPECT_EQ(judged.components, want.components);
    EXPECT_EQ(judged.progressive, want.progressive);
    EXPECT_EQ(judged.arithmetic, want.arithmetic);
    EXPECT_EQ(judged.sampling, want.sampling);
    EXPECT_EQ(judged.quality, quality);
    EXPECT_EQ(judged.optimisedHuffman, !want.arithmetic);
    EXPECT_TRUE(replacement.bytes == fittedAt(c.edited, c.original, quality));
    if (quality < 95) {
        EXPECT_GT(fittedAt(c.edited, c.original, quality + 1).size(), room)
            << "quality " << quality + 1 << " fits as well";
    }
}

TEST(ReplacementPlan, EachEditedTextureIsPutBackOrRefusedWithItsReason)
{
    // The cases of the command line's put-back table, here against the judge itself.
    const std::string original = demoImage(1);
    const std::string smaller = reencoded(original, 60);
    // Start of image, then a JFIF segment of version 1.01 without a thumbnail.
    const std::string jfif =
        signature() + std::string("\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00", 10);
    std::string sameLength = original;
    sameLength[15] = '\x7F'; // its horizontal pixel density
    const std::string tooLarge = paddedTo(smaller, original.size() + 1);
    const std::string progressive = reencoded(original, 60, true);
    const std::string exif = exifFirst(smaller);
    const std::string noise = noiseJpeg(24, 12);
    const std::string fiveCut = demoImage(5).substr(0, demoEnd(5) - 30);
    Original cutShort{imageInfo(fiveCut, 5, demoOffset(5)), fiveCut};
    const std::string stray = strayRestart(original);
    const std::vector<Case> cases = {
        {"smaller", smaller, demoOriginal(1), false, Decision::PutBack, smaller},
        {"same length", sameLength, demoOriginal(1), false, Decision::PutBack, sameLength},
        {"exactly its end", paddedTo(smaller, original.size()), demoOriginal(1), false,
         Decision::PutBack, paddedTo(smaller, original.size())},
        {"one byte too many", tooLarge, demoOriginal(1), false, Decision::Refused,
         "is 1 byte larger than the 17,638 bytes image 1 holds; --fit would re-encode it"},
        {"one byte too many, fitted", tooLarge, demoOriginal(1), true, Decision::Fitted, ""},
        {"too large even at the lowest quality", noise, demoOriginal(6), true, Decision::Refused,
         "does not fit in the 392 bytes image 6 holds even at quality 30 (" +
             std::to_string(fittedAt(noise, demoOriginal(6), 30).size()) + " bytes)"},
        {"other dimensions", demoImage(2), demoOriginal(1), false, Decision::Refused,
         "is 8\u00d78, image 1 is 200\u00d7200"},
        {"progressive for baseline", progressive, demoOriginal(1), false, Decision::Refused,
         "is progressive, image 1 is baseline; --fit would re-encode it"},
        {"progressive for baseline, fitted", progressive, demoOriginal(1), true, Decision::Fitted,
         ""},
        {"Exif first", exif, demoOriginal(1), false, Decision::PutBack, jfif + exif.substr(2),
         true},
        {"not decoding", stray, demoOriginal(1), false, Decision::Refused,
         "does not decode: " + referee(stray).message},
        {"cut-short original", demoImage(5), cutShort, false, Decision::Refused,
         "differs from image 5, which has no end marker before the next texture (cut-short), so "
         "it cannot be replaced"},
        {"unchanged", original, demoOriginal(1), false, Decision::Unchanged, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto judged =
            features::judgeReplacement(c.edited, c.original.info, c.original.bytes, c.fit);
        switch (c.decision) {
        case Decision::Unchanged:
            EXPECT_EQ(decisionText(judged), "unchanged");
            break;
        case Decision::Refused:
            EXPECT_EQ(decisionText(judged), "refused: " + c.expected);
            break;
        case Decision::PutBack:
        case Decision::Fitted: {
            const auto* replacement = std::get_if<Replacement>(&judged);
            ASSERT_NE(replacement, nullptr) << decisionText(judged);
            EXPECT_EQ(replacement->number, c.original.info.number);
            EXPECT_EQ(replacement->offset, c.original.info.offset);
            EXPECT_EQ(replacement->end, *c.original.info.jpeg.end);
            EXPECT_EQ(replacement->jfifAdded, c.jfifAdded);
            if (c.decision == Decision::Fitted) {
                expectFitted(c, *replacement);
            } else {
                EXPECT_TRUE(replacement->bytes == c.expected);
                EXPECT_FALSE(replacement->quality.has_value());
            }
            break;
        }
        }
    }
}

TEST(ReplacementPlan, AnEditOfAnotherShapeOrCodingIsRefused)
{
    const std::string colour = testJpeg("colour");
    const std::string smallerColour = reencoded(colour, 40);
    Original lossless = originalOf(colour);
    lossless.info.jpeg.coding = JpegCoding::Lossless;
    Original twelveBit = originalOf(testJpeg("extended"));
    twelveBit.info.jpeg.precision = 12;
    const std::string withSignature = signatureInside(smallerColour);
    const std::string tooLargeByTwo = paddedTo(smallerColour, colour.size() + 2);
    const std::string exifTooLarge = exifFirst(paddedTo(smallerColour, colour.size() - 7));
    std::string badLength = smallerColour;
    badLength[badLength.find("\xFF\xDB") + 3] = '\x30';
    // Whole, but a marker inside its data stops the decoder (djpeg: "premature end of data
    // segment").
    std::string tallerBroken = testJpeg("taller");
    tallerBroken.replace(tallerBroken.size() - 20, 2, "\xFF\xD5");
    const std::vector<Case> cases = {
        {"another shape that would not decode: the shape is told, without decoding", tallerBroken,
         originalOf(colour), true, Decision::Refused, "is 48\u00d740, image 1 is 48\u00d732"},
        {"the right width, another height", testJpeg("taller"), originalOf(colour), false,
         Decision::Refused, "is 48\u00d740, image 1 is 48\u00d732"},
        {"another width, the right height", testJpeg("wider"), originalOf(colour), true,
         Decision::Refused, "is 56\u00d732, image 1 is 48\u00d732"},
        {"greyscale for colour", testJpeg("grey"), originalOf(colour), false, Decision::Refused,
         "has 1 colour components, image 1 has 3; --fit would convert it to colour and re-encode "
         "it"},
        {"colour for greyscale", colour, originalOf(testJpeg("grey")), false, Decision::Refused,
         "has 3 colour components, image 1 has 1; --fit would convert it to grey and re-encode "
         "it"},
        {"arithmetic for Huffman", testJpeg("arithmetic"), originalOf(colour), false,
         Decision::Refused,
         "is extended arithmetic-coded, image 1 is baseline; --fit would re-encode it"},
        {"Huffman for arithmetic", smallerColour, originalOf(testJpeg("arithmetic")), false,
         Decision::Refused,
         "is baseline, image 1 is extended arithmetic-coded; --fit would re-encode it"},
        {"extended for baseline", testJpeg("extended"), originalOf(colour), false,
         Decision::Refused, "is extended, image 1 is baseline; --fit would re-encode it"},
        {"baseline for progressive", reencoded(colour, 20), originalOf(testJpeg("progressive")),
         false, Decision::Refused, "is baseline, image 1 is progressive; --fit would re-encode it"},
        {"baseline for lossless", smallerColour, lossless, false, Decision::Refused,
         "is baseline, image 1 is lossless; --fit would re-encode it"},
        {"baseline for lossless, fitted", smallerColour, lossless, true, Decision::Refused,
         "image 1 is lossless with 8-bit samples, which --fit cannot encode"},
        {"8-bit for 12-bit", reencoded(colour, 20), twelveBit, false, Decision::Refused,
         "is baseline, image 1 is extended; --fit would re-encode it"},
        {"8-bit for 12-bit, fitted", reencoded(colour, 20), twelveBit, true, Decision::Refused,
         "image 1 is extended with 12-bit samples, which --fit cannot encode"},
        {"two bytes too many", tooLargeByTwo, originalOf(colour), false, Decision::Refused,
         "is 2 bytes larger than the 1,197 bytes image 1 holds; --fit would re-encode it"},
        {"too large once its JFIF segment is put first", exifTooLarge, originalOf(colour), false,
         Decision::Refused,
         "is 3 bytes larger than the 1,197 bytes image 1 holds; --fit would re-encode it"},
        {"the signature inside it", withSignature, originalOf(colour), false, Decision::Refused,
         "holds the JFIF signature again at byte 26, so it would be read as two textures; --fit "
         "would re-encode it"},
        {"cut inside its data", smallerColour.substr(0, smallerColour.size() - 40),
         originalOf(colour), true, Decision::Refused,
         "is not a whole JPEG: it ends at byte " + std::to_string(smallerColour.size() - 40) +
             ", before its end marker"},
        {"cut inside a segment", smallerColour.substr(0, 15), originalOf(colour), false,
         Decision::Refused, "is not a whole JPEG: it ends at byte 15, before its end marker"},
        {"a bad segment length", badLength, originalOf(colour), false, Decision::Refused,
         "is not a whole JPEG: bad segment length at byte 20"},
        {"not a JPEG at all", "GIF89a", originalOf(colour), false, Decision::Refused,
         "is not a whole JPEG: misplaced marker at byte 0"},
        {"damaged original", smallerColour, originalOf(badLength), false, Decision::Refused,
         "differs from image 1, which has no end marker before the next texture (damaged), so it "
         "cannot be replaced"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto judged =
            features::judgeReplacement(c.edited, c.original.info, c.original.bytes, c.fit);
        EXPECT_EQ(decisionText(judged), "refused: " + c.expected);
    }
}

TEST(ReplacementPlan, AnEditInAnAcceptedCodingGoesBackAsItIs)
{
    const std::string colour = testJpeg("colour");
    const std::string baseline = reencoded(colour, 20);
    const std::string progressive = reencoded(colour, 20, true);
    const std::string withSignature = signatureInside(reencoded(colour, 40));
    const std::vector<Case> cases = {
        {"baseline for extended", baseline, originalOf(testJpeg("extended")), false,
         Decision::PutBack, baseline},
        {"progressive for progressive", progressive, originalOf(testJpeg("progressive")), false,
         Decision::PutBack, progressive},
        {"trailing bytes behind an unchanged image", colour + "more", originalOf(colour), false,
         Decision::Unchanged, ""},
        {"trailing bytes behind a changed image", baseline + "more", originalOf(colour), false,
         Decision::PutBack, baseline},
        {"the signature inside it, fitted", withSignature, originalOf(colour), true,
         Decision::Fitted, ""},
        // An editor's grey save of a colour texture, and a colour save of a grey one: converted
        // by libjpeg and encoded again, even where the bytes would fit as they are.
        {"greyscale for colour, fitted", testJpeg("grey"), originalOf(colour), true,
         Decision::Fitted, ""},
        {"colour for greyscale, fitted", reencoded(colour, 30), originalOf(testJpeg("grey")), true,
         Decision::Fitted, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto judged =
            features::judgeReplacement(c.edited, c.original.info, c.original.bytes, c.fit);
        if (c.decision == Decision::Unchanged) {
            EXPECT_EQ(decisionText(judged), "unchanged");
            continue;
        }
        const auto* replacement = std::get_if<Replacement>(&judged);
        ASSERT_NE(replacement, nullptr) << decisionText(judged);
        if (c.decision == Decision::Fitted) {
            expectFitted(c, *replacement);
        } else {
            EXPECT_TRUE(replacement->bytes == c.expected);
            EXPECT_FALSE(replacement->quality.has_value());
            EXPECT_FALSE(replacement->jfifAdded);
        }
    }
}

// --fit keeps the original's coding and sampling and finds the highest quality from 30 to 95
// whose encoding fits in the original's room.
TEST(ReplacementPlan, FitFindsTheHighestQualityThatFits)
{
    const std::string noisy = testJpeg("noisy");
    // A small original of the same shape, padded to each room in turn.
    const Original base = originalOf(reencoded(testJpeg("colour"), 5));
    std::vector<std::size_t> sizes(101, 0);
    for (int quality = 30; quality <= 95; ++quality)
        sizes[quality] = fittedAt(noisy, base, quality).size();
    ASSERT_GT(sizes[30], base.bytes.size() + 5);
    // The highest quality whose encoding, by the referee, fits in `room`.
    const auto highestFitting = [&](std::size_t room) {
        int best = 0;
        for (int quality = 30; quality <= 95; ++quality)
            best = sizes[quality] <= room ? quality : best;
        return best;
    };
    for (int quality = 31; quality <= 95; ++quality) {
        ASSERT_GE(sizes[quality], sizes[quality - 1]) << "sizes fall as quality falls";
    }
    for (const int quality : {30, 31, 44, 62, 63, 80, 94, 95}) {
        // Each room just holds that quality; a byte less holds only a lower one.
        for (const std::size_t room : {sizes[quality], sizes[quality] - 1}) {
            const int expected = highestFitting(room);
            if (expected == 0)
                continue;
            SCOPED_TRACE("room " + std::to_string(room));
            const Original padded = originalOf(paddedTo(base.bytes, room));
            const auto judged = features::judgeReplacement(noisy, padded.info, padded.bytes, true);
            const auto* replacement = std::get_if<Replacement>(&judged);
            ASSERT_NE(replacement, nullptr) << decisionText(judged);
            EXPECT_EQ(replacement->quality, expected);
            expectFitted({"fitted", noisy, padded, true, Decision::Fitted, ""}, *replacement);
        }
    }
    // One byte less than quality 30 needs: nothing fits.
    const Original tight = originalOf(paddedTo(base.bytes, sizes[30] - 1));
    EXPECT_EQ(decisionText(features::judgeReplacement(noisy, tight.info, tight.bytes, true)),
              "refused: does not fit in the " + features::groupedNumber(sizes[30] - 1) +
                  " bytes image 1 holds even at quality 30 (" + features::groupedNumber(sizes[30]) +
                  " bytes)");
}

TEST(ReplacementPlan, FitKeepsTheOriginalsCodingAndSampling)
{
    const std::string noisy = testJpeg("noisy");
    const std::string noisyProgressive = testJpeg("noisy_progressive");
    const std::vector<Case> cases = {
        {"progressive", noisy, originalOf(testJpeg("progressive")), true, Decision::Fitted, ""},
        {"arithmetic", noisy, originalOf(testJpeg("arithmetic")), true, Decision::Fitted, ""},
        {"sampled 1x1", noisy, originalOf(testJpeg("sampling444")), true, Decision::Fitted, ""},
        {"extended, as baseline", noisy, originalOf(testJpeg("extended")), true, Decision::Fitted,
         ""},
        {"baseline, from a progressive edit", noisyProgressive,
         originalOf(paddedTo(testJpeg("colour"), 5000)), true, Decision::Fitted, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto judged =
            features::judgeReplacement(c.edited, c.original.info, c.original.bytes, c.fit);
        const auto* replacement = std::get_if<Replacement>(&judged);
        ASSERT_NE(replacement, nullptr) << decisionText(judged);
        expectFitted(c, *replacement);
        // Sequential arithmetic coding has only an extended frame; otherwise baseline.
        const JpegStructure& want = c.original.info.jpeg;
        const JpegCoding coding = imageInfo(replacement->bytes).jpeg.coding;
        EXPECT_EQ(coding, want.coding == JpegCoding::Progressive ? JpegCoding::Progressive
                          : want.arithmetic                      ? JpegCoding::Extended
                                                                 : JpegCoding::Baseline);
    }
}

// The folder of edited images read as the run reads it; the demo level is the source.
class EditFolder : public ::testing::Test
{
protected:
    void SetUp() override
    {
        dir = freshTestFolder();
        fs::create_directories(dir / "edit");
        for (int number = 1; number <= 11; ++number)
            images.push_back(demoInfo(number));
        std::error_code ec;
        source = RawFile::openForReading(demoLdb(), ec);
        ASSERT_FALSE(ec);
    }

    void edit(int number, const std::string& bytes)
    {
        writeBytes(dir / "edit" / imageName(static_cast<std::uint64_t>(number)), bytes);
    }

    features::PutBackRequest request() const { return {demoLdb(), dir / "edit", dir / "new.ldb"}; }

    // Plans `asked` as a run does: the folder read first, then judged against those of
    // `originals` (by default the level's) it has files for.
    std::optional<ExtractError> plan(const features::PutBackRequest& asked,
                                     features::RunEvents& events, features::PutBackOutcome& outcome,
                                     const std::vector<ImageInfo>* originals = nullptr) const
    {
        features::EditedFolder folder;
        if (auto error = features::openEditedFolder(asked, folder))
            return error;
        const std::vector<ImageInfo>& all = originals ? *originals : images;
        std::vector<ImageInfo> wanted;
        for (const ImageInfo& image : all) {
            if (folder.has(image.number))
                wanted.push_back(image);
        }
        return features::planReplacements(asked, folder, source, all.size(), wanted, events,
                                          outcome);
    }

    fs::path dir;
    std::vector<ImageInfo> images;
    RawFile source;
};

// Hears the comparing, and stops when told.
struct ComparingEvents : features::RunEvents
{
    std::vector<Progress> heard;
    int stopAfter = -1; // keepGoing() answers no once this many images are heard (-1: never)

    void onProgress(features::Phase phase, const Progress& progress) override
    {
        EXPECT_EQ(phase, features::Phase::Comparing);
        heard.push_back(progress);
    }
    bool keepGoing() override
    {
        return stopAfter < 0 || heard.size() < static_cast<std::size_t>(stopAfter);
    }
};

TEST_F(EditFolder, EveryEditedImageIsJudgedAgainstItsOriginal)
{
    const std::string smaller = reencoded(demoImage(1), 60);
    edit(1, smaller);
    edit(2, demoImage(2));
    edit(3, demoImage(1));
    edit(12, smaller);
    fs::create_directories(dir / "edit" / imageName(4));
    // Not image files at all, and a hidden one: none of them is told of.
    writeBytes(dir / "edit" / "notes.txt", "x");
    writeBytes(dir / "edit" / "index.html", "x");
    writeBytes(dir / "edit" / "Vorlesk_0003.jpg.bak", "x");
    writeBytes(dir / "edit" / ".Vorlesk_0006.jpg", "x");
    // Image files not named as an image is, as an editor may save them: each is named with the
    // name to give it, never passed over unsaid. (On Windows a name in another letter case is
    // the image's own name, the same file.)
    const std::string rename = "rename it Vorlesk_0003.jpg in that file's place";
    const std::string own = "is named almost as image 3, whose own file Vorlesk_0003.jpg is the "
                            "one read; if this is the edit, ";
    const std::string noTexture = "is an image file named as no texture is, so it is not read; "
                                  "name it as the texture it replaces is named (Vorlesk_0001.jpg, "
                                  "...)";
    std::vector<std::pair<std::string, std::string>> nearNames = {
        {"Vorlesk_.jpg", noTexture},
        {"Vorlesk_0000.jpg", "is named almost as image 0, but the level's textures are numbered 1 "
                             "to 11, so it is not read"},
        {"Vorlesk_00003.jpg", own + rename},
        {"Vorlesk_0003.JPG", own + rename},
        {"Vorlesk_0003.bmp", own + "save it as a JPEG named Vorlesk_0003.jpg in that file's place"},
        {"Vorlesk_0003.jpeg", own + rename},
        {"Vorlesk_0006 (copy).jpg",
         "is named almost as image 6, so it is not read; to put it back, rename it "
         "Vorlesk_0006.jpg"},
        {"Vorlesk_0007-edit.PNG", "is named almost as image 7, so it is not read; to put it back, "
                                  "rename it Vorlesk_0007.png"},
        {"Vorlesk_3.jpg", own + rename},
        {"Vorlesk_x.jpg", noTexture},
        {"vorlesk_0003.jpg", own + rename},
    };
#ifdef _WIN32
    nearNames.erase(nearNames.begin() + 3);
    nearNames.pop_back();
#endif
    for (const auto& [name, reason] : nearNames)
        writeBytes(dir / "edit" / name, smaller);
#ifndef _WIN32
    // Only the bytes in the folder go back, never a file a link there leads to (the command
    // line's case of an edited image that is a link out of its folder).
    writeBytes(dir / "outside.jpg", smaller);
    fs::create_symlink(dir / "outside.jpg", dir / "edit" / imageName(5));
#endif
#ifndef _WIN32
    const std::size_t files = 6; // numbered 1 to 5, and 12
#else
    const std::size_t files = 5;
#endif
    const auto told = [](const std::vector<features::Refusal>& named) {
        std::vector<std::string> lines;
        for (const features::Refusal& refusal : named)
            lines.push_back(std::to_string(refusal.number) + " " +
                            refusal.file.filename().string() + " " + refusal.reason);
        return lines;
    };
    for (const bool ignoreUnmatched : {false, true}) {
        SCOPED_TRACE(ignoreUnmatched ? "files that match no image passed over" : "all refused");
        ComparingEvents events;
        features::PutBackOutcome outcome;
        features::PutBackRequest asked = request(); // by default, every such file is refused
        if (ignoreUnmatched)
            asked.ignoreUnmatched = true;
        const auto error = plan(asked, events, outcome);
        ASSERT_FALSE(error.has_value()) << error->message;
        EXPECT_EQ(outcome.unchanged, 1u);
        ASSERT_EQ(outcome.replaced.size(), 1u);
        EXPECT_EQ(outcome.replaced[0].number, 1u);
        EXPECT_EQ(outcome.replaced[0].file, dir / "edit" / imageName(1));
        EXPECT_TRUE(outcome.replaced[0].bytes == smaller);
        std::vector<std::string> unmatched;
        for (const auto& [name, reason] : nearNames)
            unmatched.push_back("0 " + name + " " + reason);
        const std::string beyond =
            "12 Vorlesk_0012.jpg is numbered beyond the 11 textures in " + displayPath(demoLdb());
        std::vector<std::string> expected =
            ignoreUnmatched ? std::vector<std::string>{} : unmatched;
        expected.push_back("3 Vorlesk_0003.jpg is 200\u00d7200, image 3 is 160\u00d7120");
        expected.push_back("4 Vorlesk_0004.jpg is not a regular file");
#ifndef _WIN32
        expected.push_back("5 Vorlesk_0005.jpg is not a regular file");
#endif
        if (ignoreUnmatched) {
            unmatched.push_back(beyond);
            EXPECT_EQ(told(outcome.passedOver), unmatched);
        } else {
            expected.push_back(beyond);
            EXPECT_TRUE(outcome.passedOver.empty());
        }
        const std::vector<std::string> refusals = told(outcome.refused);
        EXPECT_EQ(refusals, expected);
        // Progress is heard for each numbered file, compared or refused.
        ASSERT_EQ(events.heard.size(), files);
        for (std::size_t i = 0; i < events.heard.size(); ++i) {
            EXPECT_EQ(events.heard[i].imagesCompleted, i + 1);
            EXPECT_EQ(events.heard[i].percent, static_cast<int>((i + 1) * 100 / files));
        }
        EXPECT_EQ(events.heard[0].bytesRead, demoEnd(1) + smaller.size());
    }
}

// Replacements' bytes are held in memory only up to the request's bound (never in a dry run);
// every replacement's length and checksum are known whether held or not.
TEST_F(EditFolder, WhatIsHeldIsBoundedAndEveryReplacementIsKnownByItsChecksum)
{
    const std::string first = reencoded(demoImage(1), 60);
    const std::string second = reencoded(demoImage(2), 60);
    edit(1, first);
    edit(2, second);
    struct Holding
    {
        const char* what;
        std::uint64_t held;
        bool dryRun;
        bool firstHeld;
        bool secondHeld;
    };
    const std::uint64_t both = first.size() + second.size();
    const Holding cases[] = {
        {"room for both", both, false, true, true},
        {"room for the first", both - 1, false, true, false},
        {"room for none", 0, false, false, false},
        {"a dry run", both, true, false, false},
    };
    std::optional<std::uint64_t> firstDigest;
    for (const Holding& c : cases) {
        SCOPED_TRACE(c.what);
        features::PutBackRequest asked = request();
        asked.heldBytes = c.held;
        asked.dryRun = c.dryRun;
        ComparingEvents events;
        features::PutBackOutcome outcome;
        ASSERT_FALSE(plan(asked, events, outcome));
        ASSERT_EQ(outcome.replaced.size(), 2u);
        const features::Replacement& one = outcome.replaced[0];
        const features::Replacement& two = outcome.replaced[1];
        EXPECT_EQ(one.length, first.size());
        EXPECT_EQ(two.length, second.size());
        EXPECT_TRUE(one.bytes == (c.firstHeld ? first : std::string()));
        EXPECT_TRUE(two.bytes == (c.secondHeld ? second : std::string()));
        EXPECT_NE(one.digest, two.digest);
        if (firstDigest) {
            EXPECT_EQ(one.digest, *firstDigest);
        }
        firstDigest = one.digest;
    }
}

TEST(ReplacementPlan, NearImageNamesAreThoseAnEditorMaySave)
{
    // Letter case does not tell names apart on Windows: there a name in another case is the
    // image's own.
#ifdef _WIN32
    constexpr bool kCaseBlind = true;
#else
    constexpr bool kCaseBlind = false;
#endif
    const std::pair<const char*, bool> cases[] = {
        {"Vorlesk_0003.jpg", false}, // an image's own name
        {"Vorlesk_12345.jpg", false},      {"Vorlesk_3.jpg", true},
        {"Vorlesk_003.jpg", true},         {"Vorlesk_00003.jpg", true},
        {"Vorlesk_0000.jpg", true},        {"Vorlesk_0003.JPG", !kCaseBlind},
        {"Vorlesk_0003.jpeg", true},       {"Vorlesk_0003.JPEG", true},
        {"VORLESK_0003.jpg", !kCaseBlind}, {"vorlesk_0003.jpg", !kCaseBlind},
        {"Vorlesk_.jpg", false},           {"Vorlesk_x3.jpg", false},
        {"Vorlesk_0003.png", false},       {"Vorlesk_0003.jpg.bak", false},
        {"Vorlesk_0003", false},           {"Vorlesk", false},
        {"Vorlesk_0003a.jpg", false},      {"Morlesk_0003.jpg", false},
        {"xVorlesk_0003.jpg", false},      {"index.html", false},
    };
    for (const auto& [name, near] : cases)
        EXPECT_EQ(features::nearImageName(name), near) << name;
}

TEST(ReplacementPlan, ImageFilesNotNamedAsAnImageAreNearMisses)
{
#ifdef _WIN32
    constexpr bool kCaseBlind = true;
#else
    constexpr bool kCaseBlind = false;
#endif
    struct NameCase
    {
        const char* name;
        bool miss;
        std::optional<std::uint64_t> number;
        bool jpegName;
    };
    constexpr std::uint64_t kMost = std::numeric_limits<std::uint64_t>::max();
    const NameCase cases[] = {
        // an image's own name, and files that are no images or hidden
        {"Vorlesk_0003.jpg", false, {}, false},
        {"Vorlesk_12345.jpg", false, {}, false},
        {"index.html", false, {}, false},
        {"textures.json", false, {}, false},
        {"Vorlesk_0003.jpg.bak", false, {}, false},
        {"Vorlesk_0003", false, {}, false},
        {".Vorlesk_0003.jpg", false, {}, false},
        {".png", false, {}, false},
        {"Vorlesk_0003.psd", false, {}, false},
        // an image's edit saved as PNG, named as the image with ".png"
        {"Vorlesk_0003.png", false, {}, false},
        {"Vorlesk_0003.PNG", false, {}, false},
        {"Vorlesk_12345.pNg", false, {}, false},
        {"vorlesk_0003.png", !kCaseBlind, 3, false},
        {"Vorlesk_3.png", true, 3, false},
        {"Vorlesk_0003.png.png", true, 3, false},
        // what editors and file managers save beside an image
        {"Vorlesk_0005 (copy).jpg", true, 5, true},
        {"Vorlesk_0006-edit.jpg", true, 6, true},
        {"Copy of Vorlesk_0007.JPEG", true, 7, true},
        {"vorlesk_8.Jpe", true, 8, true},
        {"Vorlesk_0009.jfif", true, 9, true},
        {"Vorlesk_0010.jpg.png", true, 10, false},
        {"VORLESK_0003.jpg", !kCaseBlind, 3, true},
        {"Vorlesk_0003.JPG", !kCaseBlind, 3, true},
        {"Vorlesk_3.bmp", true, 3, false},
        {"Vorlesk_3.gif", true, 3, false},
        {"Vorlesk_3.tga", true, 3, false},
        {"Vorlesk_3.TIF", true, 3, false},
        {"Vorlesk_3.tiff", true, 3, false},
        {"Vorlesk_3.webp", true, 3, false},
        {"Vorlesk_3.dds", true, 3, false},
        {"Vorlesk_0000.jpg", true, 0, true},
        {"Vorlesk_99999999999999999999999 (1).jpg", true, kMost, true},
        {"Vorlesk_18446744073709551615 (2).jpg", true, kMost, true},
        {"Vorlesk_18446744073709551614 (2).jpg", true, kMost - 1, true},
        // image files that carry no image's name: the stem without a digit after it
        {"wall.png", true, {}, false},
        {"Vorlesk_.jpg", true, {}, true},
        {"Vorlesk_x3.jpg", true, {}, true},
        {"Morlesk_0003.jpg", true, {}, true},
        {"Vorlesk_", false, {}, false},
        // the stem found again after a first one without digits
        {"Vorlesk_a Vorlesk_0004.jpg", true, 4, true},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.name);
        const auto miss = features::nearMiss(c.name);
        ASSERT_EQ(miss.has_value(), c.miss);
        if (!miss)
            continue;
        EXPECT_EQ(miss->name, fs::path(c.name));
        EXPECT_EQ(miss->number, c.number);
        EXPECT_EQ(miss->jpegName, c.jpegName);
    }
}

TEST(ReplacementPlan, ANearMissIsToldTheNameToGiveIt)
{
    struct ReasonCase
    {
        std::optional<std::uint64_t> number;
        bool jpegName;
        std::uint64_t images;
        bool ownFile;
        const char* reason;
    };
    const ReasonCase cases[] = {
        {{},
         true,
         11,
         false,
         "is an image file named as no texture is, so it is not read; name it as the texture it "
         "replaces is named (Vorlesk_0001.jpg, ...)"},
        {5, true, 11, false,
         "is named almost as image 5, so it is not read; to put it back, rename it "
         "Vorlesk_0005.jpg"},
        {11, false, 11, false,
         "is named almost as image 11, so it is not read; to put it back, save it as a JPEG named "
         "Vorlesk_0011.jpg"},
        {1, true, 1, true,
         "is named almost as image 1, whose own file Vorlesk_0001.jpg is the one read; if this is "
         "the edit, rename it Vorlesk_0001.jpg in that file's place"},
        {12345, false, 20000, true,
         "is named almost as image 12345, whose own file Vorlesk_12345.jpg is the one read; if "
         "this is the edit, save it as a JPEG named Vorlesk_12345.jpg in that file's place"},
        {12, true, 11, false,
         "is named almost as image 12, but the level's textures are numbered 1 to 11, so it is "
         "not read"},
        {0, true, 11, false,
         "is named almost as image 0, but the level's textures are numbered 1 to 11, so it is "
         "not read"},
        {1, true, 0, false,
         "is named almost as image 1, but the level holds no texture, so it is not read"},
    };
    for (const ReasonCase& c : cases) {
        features::NearMiss miss;
        miss.name = "edited.jpg";
        miss.number = c.number;
        miss.jpegName = c.jpegName;
        EXPECT_EQ(features::nearMissReason(miss, c.images, c.ownFile), c.reason);
    }
}

TEST(ReplacementPlan, APngEditIsNamedAsItsImageWithPng)
{
    const std::pair<const char*, std::optional<std::uint64_t>> cases[] = {
        {"Vorlesk_0002.png", 2},      {"Vorlesk_0002.PNG", 2},         {"Vorlesk_0002.Png", 2},
        {"Vorlesk_12345.png", 12345}, {"Vorlesk_0002.jpg", {}},        {"Vorlesk_2.png", {}},
        {"Vorlesk_00002.png", {}},    {"Vorlesk_0000.png", {}},        {"Vorlesk_0002.pn", {}},
        {"Vorlesk_0002.pngx", {}},    {"Vorlesk_0002 (copy).png", {}}, {".png", {}},
        {"Vorlesk_0002.png.jpg", {}}, {"xVorlesk_0002.png", {}},
    };
    for (const auto& [name, number] : cases)
        EXPECT_EQ(features::pngEditNumber(name), number) << name;
}

TEST(ReplacementPlan, ANearMissOfAPngIsToldToBeRenamedAsAPng)
{
    struct ReasonCase
    {
        const char* name;
        bool ownFile;
        bool ownPng;
        const char* reason;
    };
    const ReasonCase cases[] = {
        {"Vorlesk_5.png", false, false,
         "is named almost as image 5, so it is not read; to put it back, rename it "
         "Vorlesk_0005.png"},
        {"Vorlesk_5.png", true, false,
         "is named almost as image 5, whose own file Vorlesk_0005.jpg is the one read; if this is "
         "the edit, rename it Vorlesk_0005.png in that file's place"},
        {"Vorlesk_5.png", true, true,
         "is named almost as image 5, whose own file Vorlesk_0005.png is the one read; if this is "
         "the edit, rename it Vorlesk_0005.png in that file's place"},
        {"Vorlesk_5.jpg", true, true,
         "is named almost as image 5, whose own file Vorlesk_0005.png is the one read; if this is "
         "the edit, rename it Vorlesk_0005.jpg in that file's place"},
        {"Vorlesk_5.bmp", false, false,
         "is named almost as image 5, so it is not read; to put it back, save it as a JPEG named "
         "Vorlesk_0005.jpg"},
    };
    for (const ReasonCase& c : cases) {
        SCOPED_TRACE(c.name);
        const auto miss = features::nearMiss(c.name);
        ASSERT_TRUE(miss);
        EXPECT_EQ(miss->pngName, std::string(c.name).find(".png") != std::string::npos);
        EXPECT_EQ(features::nearMissReason(*miss, 11, c.ownFile, c.ownPng), c.reason);
    }
}

TEST_F(EditFolder, AFileLargerThanAnyTextureIsNotReadIn)
{
    constexpr std::uint64_t kLargest = std::uint64_t{256} << 20;
    const std::pair<std::uint64_t, std::string> cases[] = {
        {kLargest + 1, "is 268,435,457 bytes, more than any texture can be"},
        {kLargest, "is not a whole JPEG: misplaced marker at byte 0"},
    };
    for (const auto& [size, reason] : cases) {
        SCOPED_TRACE(size);
        {
            std::ofstream(dir / "edit" / imageName(1), std::ios::binary | std::ios::trunc);
        }
        fs::resize_file(dir / "edit" / imageName(1), size);
        ComparingEvents events;
        features::PutBackOutcome outcome;
        ASSERT_FALSE(plan(request(), events, outcome));
        ASSERT_EQ(outcome.refused.size(), 1u);
        EXPECT_EQ(outcome.refused[0].reason, reason);
    }
}

TEST_F(EditFolder, AStopEndsTheComparingWithNothingMoreJudged)
{
    for (int number = 1; number <= 4; ++number)
        edit(number, demoImage(number));
    for (const int stopAfter : {0, 2}) {
        SCOPED_TRACE(stopAfter);
        ComparingEvents events;
        events.stopAfter = stopAfter;
        features::PutBackOutcome outcome;
        EXPECT_FALSE(plan(request(), events, outcome));
        EXPECT_EQ(outcome.unchanged, static_cast<std::uint64_t>(stopAfter));
        EXPECT_EQ(events.heard.size(), static_cast<std::size_t>(stopAfter));
    }
}

// Counts the questions asked, and answers no from the chosen one on.
struct CountingEvents : features::RunEvents
{
    int asked = 0;
    int stopFrom = 0; // 0: never

    void onProgress(features::Phase, const Progress&) override {}
    bool keepGoing() override { return stopFrom == 0 || ++asked < stopFrom; }
};

// A stop at any moment of an edit's judgement, while it is decoded or encoded again to fit,
// leaves it unjudged: neither refused nor planned.
TEST_F(EditFolder, AStopWhileAnEditIsDecodedOrEncodedJudgesNothing)
{
    struct StopCase
    {
        const char* what;
        std::string edited;
        bool fit;
    };
    const StopCase cases[] = {
        {"decoded", reencoded(demoImage(1), 60), false},
        {"encoded again to fit", reencoded(demoImage(1), 100), true},
    };
    for (const StopCase& c : cases) {
        SCOPED_TRACE(c.what);
        edit(1, c.edited);
        features::PutBackRequest asked = request();
        asked.fit = c.fit;
        CountingEvents counted;
        counted.stopFrom = std::numeric_limits<int>::max();
        features::PutBackOutcome whole;
        ASSERT_FALSE(plan(asked, counted, whole));
        ASSERT_EQ(whole.replaced.size(), 1u);
        ASSERT_TRUE(whole.refused.empty());
        ASSERT_GT(counted.asked, 10) << "the judgement asks as it goes";
        // Every question where there are few, else a spread of them through the judgement.
        const int step = std::max(1, counted.asked / 120);
        for (int from = 1; from <= counted.asked; from += step) {
            CountingEvents events;
            events.stopFrom = from;
            features::PutBackOutcome outcome;
            ASSERT_FALSE(plan(asked, events, outcome)) << "stopped at question " << from;
            ASSERT_TRUE(outcome.refused.empty())
                << "stopped at question " << from << ": " << outcome.refused.front().reason;
            ASSERT_TRUE(outcome.replaced.empty()) << "stopped at question " << from;
            ASSERT_EQ(outcome.unchanged, 0u) << "stopped at question " << from;
        }
    }
}

// An edited image that cannot be read is a failure, never a refusal of an empty image: here
// one that is gone by the time it is read.
TEST_F(EditFolder, AnEditedImageThatCannotBeReadFailsThePlan)
{
    edit(1, demoImage(1));
    edit(2, demoImage(2));
    struct VanishingImage : ComparingEvents
    {
        fs::path second;
        bool keepGoing() override
        {
            fs::remove(second);
            return true;
        }
    } events;
    events.second = dir / "edit" / imageName(2);
    features::PutBackOutcome outcome;
    const auto error = plan(request(), events, outcome);
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->kind, ErrorKind::SourceRead);
    EXPECT_EQ(error->file, dir / "edit" / imageName(2));
    EXPECT_EQ(error->message.rfind("Cannot read the edited image", 0), 0u) << error->message;
    EXPECT_TRUE(outcome.refused.empty());
    EXPECT_EQ(outcome.unchanged, 1u);
}

TEST_F(EditFolder, AFolderOrSourceThatCannotBeReadFailsThePlan)
{
    ComparingEvents events;
    features::PutBackOutcome outcome;
    features::PutBackRequest missing = request();
    missing.folder = dir / "missing";
    auto error = plan(missing, events, outcome);
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->kind, ErrorKind::SourceOpen);
    EXPECT_EQ(error->file, dir / "missing");
    EXPECT_EQ(error->message.rfind("Cannot read the folder of edited images", 0), 0u)
        << error->message;

    // The source ends before the original does.
    edit(11, demoImage(1));
    std::vector<ImageInfo> beyond = images;
    beyond[10].offset = fs::file_size(demoLdb()) - 10;
    error = plan(request(), events, outcome, &beyond);
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->kind, ErrorKind::SourceRead);
    EXPECT_NE(error->message.find("Cannot read the source file"), std::string::npos)
        << error->message;
}

} // namespace
} // namespace glintmark::featurestest
