#include "EngineTestSupport.h"

#include "engine/Extraction.h"
#include "engine/jpeg/JpegReader.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

using namespace enginetest;
using glintmark::JpegCoding;
using glintmark::JpegProblem;
using glintmark::JpegStatus;
using glintmark::JpegStructure;

constexpr unsigned kWidth = 45;
constexpr unsigned kHeight = 29;

// A real JPEG, encoded by cjpeg at build time (make_test_jpegs.py names them).
std::string encoded(const std::string& name)
{
    return readFile(fs::path(GLINTMARK_TEST_JPEGS) / (name + ".jpg"));
}

std::string segment(unsigned char code, const std::string& body)
{
    const std::size_t length = body.size() + 2;
    return std::string{'\xFF', static_cast<char>(code), static_cast<char>(length >> 8),
                       static_cast<char>(length & 0xFF)} +
           body;
}

// Where the segment with marker `code` starts in `jpeg`.
std::size_t find(const std::string& jpeg, unsigned char code)
{
    return jpeg.find(std::string{'\xFF', static_cast<char>(code)}, 2);
}

// An image with an Exif block whose thumbnail is itself a JPEG (with its own end marker),
// placed behind the JFIF header as cameras do. The thumbnail carries no JFIF header.
std::string withExifThumbnail(const std::string& jpeg)
{
    std::string thumbnail = encoded("thumbnail");
    thumbnail.erase(2, find(thumbnail, 0xDB) - 2);
    const std::string tiff("MM\0\x2A\0\0\0\x08\0\0", 10);
    const std::string exif = segment(0xE1, std::string("Exif\0\0", 6) + tiff + thumbnail);
    return jpeg.substr(0, 20) + exif + jpeg.substr(20);
}

std::string withoutSegment(std::string jpeg, unsigned char code)
{
    const std::size_t at = find(jpeg, code);
    const std::size_t length =
        (static_cast<unsigned char>(jpeg[at + 2]) << 8) | static_cast<unsigned char>(jpeg[at + 3]);
    return jpeg.erase(at, length + 2);
}

std::string replaced(std::string bytes, std::size_t at, const std::string& with)
{
    return bytes.replace(at, with.size(), with);
}

struct ReaderCase
{
    const char* name;
    std::string bytes;
    unsigned width;
    unsigned components;
    JpegCoding coding;
    std::optional<std::uint64_t> end;
    JpegProblem problem;
    JpegStatus status;
    unsigned minScans = 1;
    bool arithmetic = false;
};

const std::vector<ReaderCase>& readerCases()
{
    static const std::vector<ReaderCase> cases = [] {
        using enum JpegProblem;
        using enum JpegStatus;
        const std::string plain = encoded("baseline");
        const std::string exif = withExifThumbnail(plain);
        // Junk after the end marker, a zero byte included (sizeof keeps it in the string).
        static constexpr char kJunk[] = "\xFF\xD9 record 17 \xFF\xD8\xFF\x00 tail";
        const std::string junk(kJunk, sizeof kJunk - 1);
        const std::size_t dqt = find(plain, 0xDB);
        const std::size_t sof = find(plain, 0xC0);
        const std::size_t sos = find(plain, 0xDA);
        const std::uint64_t n = plain.size();
        const std::string restarts = encoded("restarts");
        const std::string frame = plain.substr(sof, 19);
        // The height left to a DNL segment behind the first scan.
        const std::string dnl = replaced(plain, sof + 5, std::string(2, '\0')).substr(0, n - 2) +
                                segment(0xDC, std::string("\0\x1D", 2)) + "\xFF\xD9";
        std::vector<ReaderCase> all = {
            {"baseline 4:2:0", plain, kWidth, 3, JpegCoding::Baseline, n, None, Whole},
            {"baseline 4:4:4",
             encoded("sampling444"),
             kWidth,
             3,
             JpegCoding::Baseline,
             {},
             None,
             Whole},
            {"progressive",
             encoded("progressive"),
             kWidth,
             3,
             JpegCoding::Progressive,
             {},
             None,
             Whole,
             5},
            {"restart markers",
             encoded("restarts"),
             kWidth,
             3,
             JpegCoding::Baseline,
             {},
             None,
             Whole},
            {"eighth restart marker",
             replaced(restarts, restarts.find("\xFF\xD0", find(restarts, 0xDA)), "\xFF\xD7"),
             kWidth,
             3,
             JpegCoding::Baseline,
             {},
             None,
             Whole},
            {"fill bytes before a marker",
             plain.substr(0, dqt) + "\xFF" + plain.substr(dqt),
             kWidth,
             3,
             JpegCoding::Baseline,
             {},
             None,
             Whole},
            {"height from a DNL segment", dnl, kWidth, 3, JpegCoding::Baseline, {}, None, Whole},
            {"greyscale", encoded("greyscale"), kWidth, 1, JpegCoding::Baseline, {}, None, Whole},
            {"arithmetic",
             encoded("arithmetic"),
             kWidth,
             3,
             JpegCoding::Extended,
             {},
             None,
             Whole,
             1,
             true},
            {"exif thumbnail", exif, kWidth, 3, JpegCoding::Baseline, exif.size(), None, Whole},
            {"bytes after the end", plain + junk, kWidth, 3, JpegCoding::Baseline, n, None,
             Trailing},
            {"cut inside a segment",
             plain.substr(0, dqt + 30),
             0,
             0,
             JpegCoding::Unknown,
             {},
             CutInSegment,
             CutShort,
             0},
            {"cut inside the data",
             plain.substr(0, n - 40),
             kWidth,
             3,
             JpegCoding::Baseline,
             {},
             CutInScan,
             CutShort},
            {"bad segment length",
             replaced(plain, dqt + 2, std::string("\0\x30", 2)),
             0,
             0,
             JpegCoding::Unknown,
             {},
             BadLength,
             Damaged,
             0},
            {"length below two",
             replaced(plain, dqt + 2, std::string(2, '\0')),
             0,
             0,
             JpegCoding::Unknown,
             {},
             BadLength,
             Damaged,
             0},
            {"length of one",
             replaced(plain, dqt + 2, std::string("\0\x01", 2)),
             0,
             0,
             JpegCoding::Unknown,
             {},
             BadLength,
             Damaged,
             0},
            {"second frame header",
             plain.substr(0, sof) + frame + plain.substr(sof),
             kWidth,
             3,
             JpegCoding::Baseline,
             {},
             BadMarker,
             Damaged,
             0},
            {"second start marker",
             replaced(plain, dqt, "\xFF\xD8"),
             0,
             0,
             JpegCoding::Unknown,
             {},
             BadMarker,
             Damaged,
             0},
            {"restart among segments",
             replaced(plain, sos, "\xFF\xD3"),
             kWidth,
             3,
             JpegCoding::Baseline,
             {},
             BadMarker,
             Damaged,
             0},
            {"no frame header",
             withoutSegment(plain, 0xC0),
             0,
             0,
             JpegCoding::Unknown,
             {},
             NoFrame,
             Damaged,
             0},
            {"frame header of the wrong length",
             replaced(plain, sof + 3, "\x12"),
             0,
             0,
             JpegCoding::Unknown,
             {},
             BadFrame,
             Damaged,
             0},
            {"end before any data",
             plain.substr(0, sos) + "\xFF\xD9",
             kWidth,
             3,
             JpegCoding::Baseline,
             {},
             NoScan,
             Damaged,
             0},
        };
        for (ReaderCase& c : all) {
            if (c.status == Whole && !c.end)
                c.end = c.bytes.size();
        }
        return all;
    }();
    return cases;
}

// What the reader finds when the image comes in blocks of `blockSize` bytes.
JpegStructure readInBlocks(const std::string& bytes, std::size_t blockSize)
{
    glintmark::JpegReader reader;
    reader.reset();
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    for (std::size_t at = 0; at < bytes.size(); at += blockSize)
        reader.feed(data + at, std::min(blockSize, bytes.size() - at));
    return reader.structure();
}

void expectCase(const ReaderCase& c, const JpegStructure& found, std::uint64_t size)
{
    EXPECT_EQ(found.width, c.width);
    EXPECT_EQ(found.height, c.width == 0 ? 0 : kHeight);
    EXPECT_EQ(found.components, c.components);
    EXPECT_EQ(found.coding, c.coding);
    EXPECT_EQ(found.arithmetic, c.arithmetic);
    EXPECT_EQ(found.hasFrame, c.width != 0);
    EXPECT_GE(found.scans, c.minScans);
    if (c.minScans <= 1) {
        EXPECT_LE(found.scans, 1u);
    }
    EXPECT_EQ(found.end, c.end);
    EXPECT_EQ(found.problem, c.problem);
    EXPECT_EQ(glintmark::jpegStatus(found, size), c.status);
    const bool cut = c.problem == JpegProblem::CutInScan || c.problem == JpegProblem::CutInSegment;
    if (c.problem != JpegProblem::None) {
        EXPECT_EQ(found.problemAt == c.bytes.size(), cut) << found.problemAt;
    }
}

// One-byte blocks split every marker, length and header; the others fall anywhere.
TEST(JpegReader, FollowsRealImagesInBlocksOfAnySize)
{
    for (const ReaderCase& c : readerCases()) {
        for (const std::size_t blockSize : {std::size_t{1}, std::size_t{2}, std::size_t{3},
                                            std::size_t{7}, std::size_t{64}, c.bytes.size()}) {
            SCOPED_TRACE(std::string(c.name) + ", blocks of " + std::to_string(blockSize));
            expectCase(c, readInBlocks(c.bytes, blockSize), c.bytes.size());
        }
    }
}

// In a run, every image is read as the source streams past, and trimming writes it only
// through its end marker. Each case opens with the JFIF signature, so one source holds all.
TEST(JpegReader, ExtractionReportsEachImageAndTrimsAtItsEnd)
{
    std::string stream = "lead-in";
    for (const ReaderCase& c : readerCases())
        stream += c.bytes;
    TempDir dir;
    writeFile(dir / "level.ldb", stream);
    const auto& cases = readerCases();
    for (const bool trim : {false, true}) {
        for (const std::size_t blockSize : {std::size_t{5}, glintmark::kDefaultBlockSize}) {
            SCOPED_TRACE(std::string(trim ? "trimmed" : "whole") + ", blocks of " +
                         std::to_string(blockSize));
            const fs::path out = dir / (std::to_string(trim) + std::to_string(blockSize));
            fs::create_directory(out);
            glintmark::ExtractJob job = makeJob(dir / "level.ldb", out, blockSize);
            job.trim = trim;
            Recorder recorder;
            glintmark::runExtraction(job, &recorder);
            ASSERT_EQ(recorder.images.size(), cases.size());
            for (std::size_t i = 0; i < cases.size(); ++i) {
                SCOPED_TRACE(cases[i].name);
                const glintmark::ImageInfo& image = recorder.images[i];
                expectCase(cases[i], image.jpeg, image.size);
                const std::string written = readFile(image.file);
                EXPECT_EQ(written.size(),
                          trim && image.jpeg.end ? *image.jpeg.end : cases[i].bytes.size());
                EXPECT_EQ(written, cases[i].bytes.substr(0, written.size()));
            }
        }
    }
}

} // namespace
