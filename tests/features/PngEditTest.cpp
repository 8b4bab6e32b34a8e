// Putting back an edit saved as PNG: what goes into the new level (libjpeg's own encoding of the
// PNG's pixels as convert reads them, at the highest quality that fits, decoding as djpeg
// decodes it), what is refused and why, a PNG beside its JPEG, the file read again for the
// writing, and a stop while it is decoded.
#include "FeaturesTestSupport.h"

#include "engine/io/PathText.h"
#include "features/putback/PutBack.h"
#include "support/Referees.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <map>

namespace glintmark::featurestest {
namespace {

namespace fs = std::filesystem;
using features::Phase;
using features::PutBackOutcome;
using features::PutBackRequest;
using features::PutBackStatus;
using testsupport::convertPicture;
using testsupport::djpegPicture;
using testsupport::runTool;
using testsupport::shellQuoted;
using testsupport::ToolPicture;

// Hears every phase, and stops or changes files when told.
struct Events : features::RunEvents
{
    std::vector<Phase> phases;
    std::function<bool()> stop;
    void onProgress(Phase phase, const Progress&) override { phases.push_back(phase); }
    bool keepGoing() override { return !stop || !stop(); }
};

// The mean difference between two pictures' samples; a large number when their shapes differ.
double meanDifference(const ToolPicture& a, const ToolPicture& b)
{
    if (a.pixels.size() != b.pixels.size() || a.pixels.empty())
        return 1e9;
    double sum = 0;
    for (std::size_t i = 0; i < a.pixels.size(); ++i)
        sum += std::abs(int{a.pixels[i]} - int{b.pixels[i]});
    return sum / static_cast<double>(a.pixels.size());
}

// The referee's view of pixels convert read, ready for refereeEncode.
Referee asDecoded(const ToolPicture& picture)
{
    Referee decoded;
    decoded.width = picture.width;
    decoded.height = picture.height;
    decoded.pixels = picture.pixels;
    decoded.pixelComponents = picture.components;
    decoded.pixelColourSpace = picture.components == 1 ? 1 : 2; // JCS_GRAYSCALE, JCS_RGB
    return decoded;
}

class PngEdit : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!testsupport::imageToolsHere())
            GTEST_SKIP() << "needs ImageMagick's convert and djpeg and cjpeg, its referees";
        dir = freshTestFolder();
        fs::create_directories(dir / "edit");
        fs::create_directories(dir / "work");
        writeBytes(dir / "level.ldb", readBytes(demoLdb()));
        for (const int number : {3, 4, 7, 8}) {
            const fs::path jpeg = dir / "work" / ("t" + std::to_string(number) + ".jpg");
            writeBytes(jpeg, demoImage(number));
            ASSERT_TRUE(
                runTool("djpeg -pnm -outfile " +
                        shellQuoted(dir / "work" / ("t" + std::to_string(number) + ".pnm")) + " " +
                        shellQuoted(jpeg)));
        }
    }

    // Writes `name` in the folder of edits: convert's PNG of texture `number` (as djpeg decodes
    // it) with `arguments`.
    void png(const std::string& name, int number, const std::string& arguments)
    {
        ASSERT_TRUE(runTool("convert " +
                            shellQuoted(dir / "work" / ("t" + std::to_string(number) + ".pnm")) +
                            " " + arguments + shellQuoted(dir / "edit" / name)))
            << arguments;
    }

    PutBackRequest request(bool fit = false) const
    {
        PutBackRequest asked{dir / "level.ldb", dir / "edit", dir / "new.ldb"};
        asked.fit = fit;
        return asked;
    }

    // The written image `number` is libjpeg's encoding of the PNG `png` at the reported quality,
    // in the original's coding and sampling, the highest quality that fits; it decodes (djpeg)
    // close to the PNG's pixels.
    void expectPutBack(const features::Replacement& replacement, int number, const fs::path& png)
    {
        ASSERT_EQ(replacement.number, static_cast<std::uint64_t>(number));
        EXPECT_EQ(replacement.file, png);
        ASSERT_TRUE(replacement.quality.has_value());
        const int quality = *replacement.quality;
        EXPECT_GE(quality, 30);
        EXPECT_LE(quality, 95);
        const std::string level = readBytes(dir / "new.ldb");
        const std::uint64_t offset = demoOffset(number);
        const std::uint64_t end = demoEnd(number);
        ASSERT_EQ(level.size(), readBytes(demoLdb()).size());
        const std::string written = level.substr(offset, replacement.length);
        EXPECT_EQ(replacement.length, replacement.bytes.size());
        EXPECT_TRUE(written == replacement.bytes);
        EXPECT_LE(written.size(), end);
        EXPECT_EQ(level.substr(offset + written.size(), end - written.size()),
                  std::string(end - written.size(), '\0'));

        const Referee original = referee(demoImage(number));
        const Referee mine = referee(written);
        EXPECT_TRUE(mine.clean()) << mine.message;
        EXPECT_EQ(mine.quality, quality);
        EXPECT_EQ(mine.progressive, original.progressive);
        EXPECT_EQ(mine.sampling, original.sampling);
        EXPECT_EQ(mine.components, original.components);

        const std::optional<ToolPicture> pixels = convertPicture(png, original.components);
        ASSERT_TRUE(pixels);
        RefereeEncoding settings;
        settings.quality = quality;
        settings.progressive = original.progressive;
        settings.sampling = original.sampling;
        EXPECT_TRUE(refereeEncode(asDecoded(*pixels), settings) == written);
        if (quality < 95) {
            settings.quality = quality + 1;
            EXPECT_GT(refereeEncode(asDecoded(*pixels), settings).size(), end);
        }

        writeBytes(dir / "work" / "written.jpg", written);
        const std::optional<ToolPicture> decoded = djpegPicture(dir / "work" / "written.jpg");
        ASSERT_TRUE(decoded);
        const std::optional<ToolPicture> before =
            djpegPicture(dir / "work" / ("t" + std::to_string(number) + ".jpg"));
        ASSERT_TRUE(before);
        EXPECT_LT(meanDifference(*decoded, *pixels), 12.0);
        // Every edit here negates the texture: what is written is not the original.
        EXPECT_GT(meanDifference(*decoded, *before), 40.0);
    }

    fs::path dir;
};

TEST_F(PngEdit, APngEditIsEncodedAsItsTextureIsOrRefusedWithTheReason)
{
    const std::string hole = "-alpha on -channel A -fx \"(i==5&&j==5)?0:1\" +channel";
    struct File
    {
        std::string name;
        int texture;           // the texture convert starts from
        std::string arguments; // convert's; empty: the texture's own JPEG bytes
    };
    struct Case
    {
        const char* what;
        std::vector<File> files;
        bool fit;
        std::string putBack; // the file put back, if any
        int number;          // the image it goes into
        std::map<std::string, std::string> refused;
        std::uint64_t unchanged;
        std::size_t planned = 0; // replacements planned, refused with the rest
    };
    const std::string twoEdits = "are two edits of image 3; keep one";
    const std::vector<Case> cases = {
        {"RGB", {{"Vorlesk_0003.png", 3, "-negate PNG24:"}}, false, "Vorlesk_0003.png", 3, {}, 0},
        {"RGB, with --fit",
         {{"Vorlesk_0003.png", 3, "-negate PNG24:"}},
         true,
         "Vorlesk_0003.png",
         3,
         {},
         0},
        {"the extension in capitals",
         {{"Vorlesk_0003.PNG", 3, "-negate PNG24:"}},
         false,
         "Vorlesk_0003.PNG",
         3,
         {},
         0},
        {"into a progressive texture",
         {{"Vorlesk_0004.png", 4, "-negate PNG24:"}},
         false,
         "Vorlesk_0004.png",
         4,
         {},
         0},
        {"into a texture sampled 1x1",
         {{"Vorlesk_0007.png", 7, "-negate PNG24:"}},
         false,
         "Vorlesk_0007.png",
         7,
         {},
         0},
        {"grey into a grey texture",
         {{"Vorlesk_0008.png", 8, "-negate PNG:"}},
         false,
         "Vorlesk_0008.png",
         8,
         {},
         0},
        {"a palette",
         {{"Vorlesk_0003.png", 3, "-negate -colors 64 PNG8:"}},
         false,
         "Vorlesk_0003.png",
         3,
         {},
         0},
        {"16-bit",
         {{"Vorlesk_0003.png", 3, "-negate -depth 16 PNG48:"}},
         false,
         "Vorlesk_0003.png",
         3,
         {},
         0},
        {"RGBA, all opaque",
         {{"Vorlesk_0003.png", 3, "-negate -alpha opaque PNG32:"}},
         false,
         "Vorlesk_0003.png",
         3,
         {},
         0},
        {"interlaced",
         {{"Vorlesk_0003.png", 3, "-negate -interlace PNG PNG24:"}},
         false,
         "Vorlesk_0003.png",
         3,
         {},
         0},
        {"grey into a colour texture, with --fit",
         {{"Vorlesk_0003.png", 3, "-negate -colorspace Gray -type Grayscale PNG:"}},
         true,
         "Vorlesk_0003.png",
         3,
         {},
         0},
        {"colour into a grey texture, with --fit",
         {{"Vorlesk_0008.png", 8, "-negate -type TrueColor PNG24:"}},
         true,
         "Vorlesk_0008.png",
         8,
         {},
         0},
        {"grey into a colour texture",
         {{"Vorlesk_0003.png", 3, "-negate -colorspace Gray -type Grayscale PNG:"}},
         false,
         "",
         3,
         {{"Vorlesk_0003.png", "has 1 colour components, image 3 has 3; --fit would convert it to "
                               "colour and re-encode it"}},
         0},
        {"colour into a grey texture",
         {{"Vorlesk_0008.png", 8, "-negate -type TrueColor PNG24:"}},
         false,
         "",
         8,
         {{"Vorlesk_0008.png", "has 3 colour components, image 8 has 1; --fit would convert it to "
                               "grey and re-encode it"}},
         0},
        {"one transparent pixel",
         {{"Vorlesk_0003.png", 3, hole + " PNG32:"}},
         true,
         "",
         3,
         {{"Vorlesk_0003.png", "has transparent pixels; a texture holds none: flatten it onto a "
                               "background and save it again"}},
         0},
        {"another size",
         {{"Vorlesk_0003.png", 3, "-resize 50% PNG24:"}},
         true,
         "",
         3,
         {{"Vorlesk_0003.png", "is 80\u00d760, image 3 is 160\u00d7120"}},
         0},
        {"a JPEG named as a PNG",
         {{"Vorlesk_0003.png", 3, ""}},
         true,
         "",
         3,
         {{"Vorlesk_0003.png", "does not decode as PNG: Not a PNG file"}},
         0},
        {"the texture's own JPEG beside the PNG",
         {{"Vorlesk_0003.jpg", 3, ""}, {"Vorlesk_0003.png", 3, "-negate PNG24:"}},
         false,
         "Vorlesk_0003.png",
         3,
         {},
         0},
        {"a changed JPEG beside the PNG",
         {{"Vorlesk_0003.jpg", 3, "-negate -quality 50 JPEG:"},
          {"Vorlesk_0003.png", 3, "-negate PNG24:"}},
         true,
         "",
         3,
         {{"Vorlesk_0003.jpg", "and Vorlesk_0003.png " + twoEdits},
          {"Vorlesk_0003.png", "and Vorlesk_0003.jpg " + twoEdits}},
         0},
        {"a refused JPEG beside the PNG",
         {{"Vorlesk_0003.jpg", 3, "-resize 50% JPEG:"}, {"Vorlesk_0003.png", 3, "-negate PNG24:"}},
         false,
         "",
         3,
         {{"Vorlesk_0003.jpg", "and Vorlesk_0003.png " + twoEdits},
          {"Vorlesk_0003.png", "and Vorlesk_0003.jpg " + twoEdits}},
         0},
        {"a copy of a PNG edit",
         {{"Vorlesk_0003 (copy).png", 3, "-negate PNG24:"}},
         false,
         "",
         3,
         {{"Vorlesk_0003 (copy).png", "is named almost as image 3, so it is not read; to put it "
                                      "back, rename it Vorlesk_0003.png"}},
         0},
        {"a near name beside a PNG edit",
         {{"Vorlesk_3.png", 3, "-negate PNG24:"}, {"Vorlesk_0003.png", 3, "-negate PNG24:"}},
         false,
         "",
         3,
         {{"Vorlesk_3.png", "is named almost as image 3, whose own file Vorlesk_0003.png is the "
                            "one read; if this is the edit, rename it Vorlesk_0003.png in that "
                            "file's place"}},
         0,
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(dir / "edit");
        fs::create_directories(dir / "edit");
        fs::remove(dir / "new.ldb");
        for (const File& file : c.files) {
            if (file.arguments.empty())
                writeBytes(dir / "edit" / file.name, demoImage(file.texture));
            else
                png(file.name, file.texture, file.arguments);
        }
        // Held from the comparing, and read and encoded again for the writing.
        for (const std::uint64_t held : {PutBackRequest{}.heldBytes, std::uint64_t{0}}) {
            SCOPED_TRACE(held);
            fs::remove(dir / "new.ldb");
            PutBackRequest asked = request(c.fit);
            asked.heldBytes = held;
            Events events;
            PutBackOutcome outcome = features::putBack(asked, events);
            std::map<std::string, std::string> refused;
            for (const features::Refusal& refusal : outcome.refused)
                refused[displayPath(refusal.file.filename())] = refusal.reason;
            EXPECT_EQ(refused, c.refused);
            EXPECT_EQ(outcome.unchanged, c.unchanged);
            if (c.putBack.empty()) {
                EXPECT_EQ(outcome.status, PutBackStatus::Refused);
                EXPECT_EQ(outcome.replaced.size(), c.planned);
                EXPECT_FALSE(fs::exists(dir / "new.ldb"));
                continue;
            }
            ASSERT_EQ(outcome.status, PutBackStatus::Written);
            ASSERT_EQ(outcome.replaced.size(), 1u);
            features::Replacement& replacement = outcome.replaced[0];
            if (replacement.bytes.empty())
                replacement.bytes =
                    readBytes(dir / "new.ldb").substr(replacement.offset, replacement.length);
            expectPutBack(replacement, c.number, dir / "edit" / c.putBack);
        }
    }
}

TEST_F(PngEdit, APngLargerThanTheImageLimitIsRefusedBeforeItIsDecoded)
{
    // A texture of 800x700 colour pixels: 1,680,000 bytes, over a limit of 1 MiB.
    ASSERT_TRUE(
        runTool("convert -size 800x700 gradient:red-blue ppm:- | cjpeg -quality 50 -outfile " +
                shellQuoted(dir / "work" / "large.jpg")));
    const std::string large = readBytes(dir / "work" / "large.jpg");
    LevelBuilder level(5);
    level.filler(100).image(large).filler(100);
    writeBytes(dir / "level.ldb", level.bytes());
    ASSERT_TRUE(runTool("convert " + shellQuoted(dir / "work" / "large.jpg") +
                        " -negate PNG24:" + shellQuoted(dir / "edit" / "Vorlesk_0001.png")));
    const std::pair<const char*, std::string> cases[] = {
        {"GLINTMARK_CHECK_IMAGE_MIB",
         "does not decode as PNG: its 1680000 bytes of pixels are more than the image limit of "
         "1048576 bytes (GLINTMARK_CHECK_IMAGE_MIB) allows"},
        {"GLINTMARK_CHECK_MEMORY_MIB",
         "does not decode as PNG: its 1682400 bytes of pixels are more than the memory limit of "
         "1048576 bytes (GLINTMARK_CHECK_MEMORY_MIB) allows"},
    };
    for (const auto& [variable, reason] : cases) {
        SCOPED_TRACE(variable);
        const ScopedEnvironment limit(variable, "1");
        Events events;
        const PutBackOutcome outcome = features::putBack(request(), events);
        EXPECT_EQ(outcome.status, PutBackStatus::Refused);
        ASSERT_EQ(outcome.refused.size(), 1u);
        EXPECT_EQ(outcome.refused[0].reason, reason);
        EXPECT_FALSE(fs::exists(dir / "new.ldb"));
    }
    // Within the limits, it goes back.
    Events events;
    EXPECT_EQ(features::putBack(request(), events).status, PutBackStatus::Written);
}

TEST_F(PngEdit, APngThatChangesBeforeItIsReadAgainFailsThePutBack)
{
    png("Vorlesk_0003.png", 3, "-negate PNG24:");
    const std::string first = readBytes(dir / "edit" / "Vorlesk_0003.png");
    png("other.png", 3, "-negate -blur 0x2 PNG24:");
    const std::string other = readBytes(dir / "edit" / "other.png");
    fs::remove(dir / "edit" / "other.png");
    // The same pixels in a PNG of other bytes (another compression) encode to the same bytes.
    png("same.png", 3, "-negate -define png:compression-level=1 PNG24:");
    const std::string samePixels = readBytes(dir / "edit" / "same.png");
    fs::remove(dir / "edit" / "same.png");
    ASSERT_NE(samePixels, first);
    const fs::path edited = dir / "edit" / "Vorlesk_0003.png";
    const std::pair<std::string, bool> cases[] = {{other, false}, {samePixels, true}};
    for (const auto& [with, written] : cases) {
        SCOPED_TRACE(written);
        writeBytes(edited, first);
        fs::remove(dir / "new.ldb");
        PutBackRequest asked = request();
        asked.heldBytes = 0;
        Events events;
        bool changed = false;
        events.stop = [&, &with = with] {
            if (!changed && !events.phases.empty() && events.phases.back() == Phase::Writing) {
                changed = true;
                writeBytes(edited, with);
                fs::last_write_time(edited, fs::last_write_time(edited) + std::chrono::hours(1));
            }
            return false;
        };
        const PutBackOutcome outcome = features::putBack(asked, events);
        EXPECT_TRUE(changed);
        if (written) {
            EXPECT_EQ(outcome.status, PutBackStatus::Written);
            continue;
        }
        ASSERT_EQ(outcome.status, PutBackStatus::Failed);
        ASSERT_TRUE(outcome.error);
        EXPECT_EQ(outcome.error->message, "The edited image \"" + displayPath(edited) +
                                              "\" changed while the new level was written; "
                                              "nothing was put in place");
        EXPECT_FALSE(fs::exists(dir / "new.ldb"));
    }
}

TEST_F(PngEdit, AStopWhileAPngIsDecodedLeavesNothing)
{
    png("Vorlesk_0003.png", 3, "-negate PNG24:");
    for (const int answers : {2, 5, 60}) {
        SCOPED_TRACE(answers);
        int asked = 0;
        int afterNo = 0;
        Events events;
        events.stop = [&] {
            if (asked++ < answers)
                return false;
            ++afterNo;
            return true;
        };
        const PutBackOutcome outcome = features::putBack(request(), events);
        EXPECT_EQ(outcome.status, PutBackStatus::Stopped);
        EXPECT_TRUE(outcome.replaced.empty());
        EXPECT_TRUE(outcome.refused.empty());
        // The decoding ends at the first no, and the run soon after: not a row more is read.
        EXPECT_LE(afterNo, 3);
        EXPECT_EQ(entriesIn(dir), (std::vector<std::string>{"edit", "level.ldb", "work"}));
    }
}

} // namespace
} // namespace glintmark::featurestest
