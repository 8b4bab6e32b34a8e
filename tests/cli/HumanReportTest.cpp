#include "cli/report/HumanReport.h"

#include "CliTestSupport.h"
#include "FailingStream.h"
#include "ReportInputs.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace glintmark::clitest {
namespace {

namespace fs = std::filesystem;
using cli::errorLines;
using cli::HumanReport;
using cli::interruptedLine;
using cli::summaryLine;

// A source name that names no file: its size is unknown, so the columns take their least width.
const fs::path kSource = "levels/a.ldb";
const fs::path kFolder = "out/a";

// The image most rows show: small enough for the narrowest columns.
CheckedImage smallImage()
{
    return image(7, 512, 300, framed(16, 8, 300));
}

std::string utf8(const fs::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// What a list-mode report writes for `images` of `source`, up to the end of its run.
std::string listed(const fs::path& source, const std::vector<CheckedImage>& images, bool decoding)
{
    std::ostringstream out;
    HumanReport report(out, RunMode::ListOnly, false, decoding);
    report.beginSource(source, kFolder);
    for (const CheckedImage& checked : images)
        report.image(checked);
    report.endSource(outcome(source, kFolder, RunStatus::Completed, images.size()));
    report.finish();
    return out.str();
}

TEST(HumanReport, ListTableColumnsAreAsWideAsTheSourceSizeAllows)
{
    struct Case
    {
        std::optional<std::uintmax_t> sourceSize; // none: no such file
        std::string head;
        std::string row;
    };
    const Case cases[] = {
        {std::nullopt, "image  offset  size  dimensions  status",
         "    7     512   300        16x8  whole"},
        {999'999, "image  offset    size  dimensions  status",
         "    7     512     300        16x8  whole"},
        {1'000'000, " image   offset     size  dimensions  status",
         "     7      512      300        16x8  whole"},
        {123'456'789, "   image     offset       size  dimensions  status",
         "       7        512        300        16x8  whole"},
    };
    const fs::path dir = freshTestFolder();
    for (const Case& c : cases) {
        fs::path source = dir / "missing.ldb";
        if (c.sourceSize) {
            source = dir / ("level" + std::to_string(*c.sourceSize) + ".ldb");
            writeBytes(source, "");
            fs::resize_file(source, *c.sourceSize);
        }
        SCOPED_TRACE(utf8(source));
        EXPECT_EQ(listed(source, {smallImage()}, false), utf8(source) + "\n" + c.head + "\n" +
                                                             c.row + "\n1 texture found in " +
                                                             utf8(source) + "\n");
    }
}

TEST(HumanReport, ListRowsShowDimensionsAndStatus)
{
    struct Case
    {
        CheckedImage image;
        std::string row;
    };
    const JpegStructure none;
    const Case cases[] = {
        {image(1, 40, 900, framed(200, 200, 900)), "    1      40   900     200x200  whole"},
        {image(2, 940, 1000, framed(8, 8, 959)),
         "    2     940  1000         8x8  trailing: 41 bytes"},
        {image(3, 1940, 5000, broken(framed(160, 120, 5000), JpegProblem::CutInScan, 4000)),
         "    3    1940  5000     160x120  cut short: cut inside the image data at byte 4000"},
        {image(4, 6940, 100, broken(none, JpegProblem::CutInSegment, 100)),
         "    4    6940   100           -  cut short: cut inside a segment at byte 100"},
        {image(5, 7040, 2000, broken(framed(9999, 9999, 2000), JpegProblem::BadLength, 20)),
         "    5    7040  2000   9999x9999  damaged: bad segment length at byte 20"},
        {image(6, 9040, 300, broken(none, JpegProblem::NoFrame, 2)),
         "    6    9040   300           -  damaged: no frame header at byte 2"},
        {image(99999, 999999, 9999, framed(1, 1, 9999)), "99999  999999  9999         1x1  whole"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.row);
        EXPECT_EQ(listed(kSource, {c.image}, false),
                  "levels/a.ldb\nimage  offset  size  dimensions  status\n" + c.row +
                      "\n1 texture found in levels/a.ldb\n");
    }
}

TEST(HumanReport, ListAfterACheckSaysWhetherEachImageDecodesAndWhyNot)
{
    struct Case
    {
        CheckedImage image;
        std::string row;
    };
    const CheckedImage whole = image(1, 40, 900, framed(200, 200, 900));
    const CheckedImage damaged =
        image(2, 940, 1000, broken(framed(8, 8, 1000), JpegProblem::BadLength, 20));
    const std::string overLimit =
        "Not decoded: it claims 60000x60000 pixels of 3 components, 10800000000 bytes decoded";
    const Case cases[] = {
        {decoded(whole, true), "    1      40   900     200x200  yes      whole"},
        {decoded(whole, false, "Premature end of JPEG file"),
         "    1      40   900     200x200  no       whole; the decoder says: Premature end of "
         "JPEG file"},
        {decoded(damaged, false, "Corrupt JPEG data: bad Huffman code"),
         "    2     940  1000         8x8  no       damaged: bad segment length at byte 20; the "
         "decoder says: Corrupt JPEG data: bad Huffman code"},
        // Over a decoding limit: no verdict, but the limit it is over.
        {decoded(whole, std::nullopt, overLimit),
         "    1      40   900     200x200  -        whole; " + overLimit},
        // The run stopped before this image was decoded.
        {decoded(whole, std::nullopt), "    1      40   900     200x200  -        whole"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.row);
        const std::string out = listed(kSource, {c.image}, true);
        EXPECT_EQ(out.substr(0, out.find("1 texture found")),
                  "levels/a.ldb\nimage  offset  size  dimensions  decodes  status\n" + c.row +
                      "\n");
    }
}

TEST(HumanReport, EndOfSourceWritesTheSummaryWhenCompletedAndNotQuiet)
{
    const std::string head = "levels/a.ldb\nimage  offset  size  dimensions  status\n";
    const std::string row = "    7     512   300        16x8  whole\n";
    struct Case
    {
        const char* what;
        RunMode mode;
        bool quiet;
        RunStatus status;
        int images;
        std::string expected;
    };
    const Case cases[] = {
        {"list, no images", RunMode::ListOnly, false, RunStatus::Completed, 0,
         head + "0 textures found in levels/a.ldb\n"},
        {"list, quiet, no images", RunMode::ListOnly, true, RunStatus::Completed, 0, head},
        {"list", RunMode::ListOnly, false, RunStatus::Completed, 2,
         head + row + row + "2 textures found in levels/a.ldb\n"},
        {"list, quiet", RunMode::ListOnly, true, RunStatus::Completed, 2, head + row + row},
        {"list, failed at once", RunMode::ListOnly, false, RunStatus::Failed, 0, ""},
        {"list, failed later", RunMode::ListOnly, false, RunStatus::Failed, 1, head + row},
        {"list, stopped", RunMode::ListOnly, false, RunStatus::Stopped, 1, head + row},
        {"write", RunMode::Write, false, RunStatus::Completed, 2,
         "2 textures extracted from levels/a.ldb into out/a\n"},
        {"write, quiet", RunMode::Write, true, RunStatus::Completed, 2, ""},
        {"write, failed", RunMode::Write, false, RunStatus::Failed, 2, ""},
        {"write, stopped", RunMode::Write, false, RunStatus::Stopped, 2, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::ostringstream out;
        HumanReport report(out, c.mode, c.quiet, false);
        report.beginSource(kSource, kFolder);
        for (int i = 0; i < c.images; ++i)
            report.image(smallImage());
        report.endSource(outcome(kSource, kFolder, c.status, c.images));
        report.finish();
        EXPECT_EQ(out.str(), c.expected);
    }
}

TEST(HumanReport, EachSourceGetsATableOfItsOwnWidths)
{
    const fs::path large = freshTestFolder() / "large.ldb";
    writeBytes(large, "");
    fs::resize_file(large, 1'000'000);
    std::ostringstream out;
    HumanReport report(out, RunMode::ListOnly, false, false);
    for (const fs::path& source : {large, kSource}) {
        report.beginSource(source, kFolder);
        report.image(smallImage());
        report.endSource(outcome(source, kFolder, RunStatus::Completed, 1));
    }
    report.finish();
    EXPECT_EQ(out.str(), utf8(large) + "\n" +
                             " image   offset     size  dimensions  status\n"
                             "     7      512      300        16x8  whole\n"
                             "1 texture found in " +
                             utf8(large) +
                             "\n"
                             "levels/a.ldb\n"
                             "image  offset  size  dimensions  status\n"
                             "    7     512   300        16x8  whole\n"
                             "1 texture found in levels/a.ldb\n");
}

TEST(HumanReport, EachSourceAndTheRunEndWithTheOutputFlushed)
{
    for (const RunMode mode : {RunMode::ListOnly, RunMode::Write}) {
        CountingBuffer buffer;
        std::ostream out(&buffer);
        HumanReport report(out, mode, false, false);
        report.beginSource(kSource, kFolder);
        report.image(smallImage());
        const int beforeEnd = buffer.flushes();
        report.endSource(outcome(kSource, kFolder, RunStatus::Failed, 1));
        const int afterEnd = buffer.flushes();
        EXPECT_GT(afterEnd, beforeEnd) << "a failed source's lines leave before its error";
        report.finish();
        EXPECT_GT(buffer.flushes(), afterEnd);
    }
}

// `whole` images that decode, `damaged` ones that do not, `unchecked` ones over a decoding limit
// and `undecided` ones the run never decoded.
std::vector<CheckedImage> verdicts(int whole, int damaged, int unchecked, int undecided)
{
    const CheckedImage any = smallImage();
    std::vector<CheckedImage> images;
    images.insert(images.end(), whole, decoded(any, true));
    images.insert(images.end(), damaged, decoded(any, false, "Premature end of JPEG file"));
    images.insert(images.end(), unchecked, decoded(any, std::nullopt, "Not decoded: too large"));
    images.insert(images.end(), undecided, decoded(any, std::nullopt));
    return images;
}

TEST(HumanReportLines, SummaryLineCountsTexturesStaleImagesAndVerdicts)
{
    struct Case
    {
        RunMode mode;
        std::uint64_t count;
        std::uint64_t stale;
        std::vector<CheckedImage> images;
        std::string expected;
    };
    const Case cases[] = {
        {RunMode::ListOnly, 0, 0, {}, "0 textures found in levels/a.ldb"},
        {RunMode::ListOnly, 1, 0, {}, "1 texture found in levels/a.ldb"},
        {RunMode::ListOnly, 2, 0, {}, "2 textures found in levels/a.ldb"},
        {RunMode::Write, 1, 0, {}, "1 texture extracted from levels/a.ldb into out/a"},
        {RunMode::Write, 42, 0, {}, "42 textures extracted from levels/a.ldb into out/a"},
        {RunMode::Write,
         2,
         1,
         {},
         "2 textures extracted from levels/a.ldb into out/a; 1 older ones numbered beyond them "
         "were left in place"},
        {RunMode::Write, 42, 0, verdicts(40, 2, 0, 0),
         "42 textures extracted from levels/a.ldb into out/a; 40 decode, 2 do not decode"},
        {RunMode::ListOnly, 42, 0, verdicts(40, 2, 0, 0),
         "42 textures found in levels/a.ldb; 40 decode, 2 do not decode"},
        {RunMode::ListOnly, 3, 0, verdicts(0, 3, 0, 0),
         "3 textures found in levels/a.ldb; 0 decode, 3 do not decode"},
        {RunMode::ListOnly, 3, 0, verdicts(1, 1, 1, 0),
         "3 textures found in levels/a.ldb; 1 decodes, 1 does not decode, 1 not checked"},
        {RunMode::ListOnly, 2, 0, verdicts(0, 0, 2, 0),
         "2 textures found in levels/a.ldb; 0 decode, 0 do not decode, 2 not checked"},
        // Images kept for a gallery are not decoded: no verdicts to count.
        {RunMode::Write, 3, 0, verdicts(0, 0, 0, 3),
         "3 textures extracted from levels/a.ldb into out/a"},
        {RunMode::ListOnly, 3, 0, verdicts(1, 0, 0, 2),
         "3 textures found in levels/a.ldb; 1 decodes, 0 do not decode"},
        {RunMode::Write, 2, 3, verdicts(1, 1, 0, 0),
         "2 textures extracted from levels/a.ldb into out/a; 3 older ones numbered beyond them "
         "were left in place; 1 decodes, 1 does not decode"},
    };
    for (const Case& c : cases) {
        LevelOutcome level = outcome(kSource, kFolder, RunStatus::Completed, c.count, c.stale);
        level.images = c.images;
        EXPECT_EQ(summaryLine(level, c.mode), c.expected);
    }
}

TEST(HumanReportLines, ErrorLinesGiveTheErrorAndWhatWasKept)
{
    const ExtractError readError{ErrorKind::SourceRead, kSource,
                                 "Cannot read \"levels/a.ldb\": Input/output error"};
    struct Case
    {
        RunMode mode;
        RunStatus status;
        std::uint64_t count;
        std::optional<ExtractError> error;
        std::string expected;
    };
    const std::string failed = "glintmark-cli: Cannot read \"levels/a.ldb\": Input/output error\n";
    const Case cases[] = {
        {RunMode::Write, RunStatus::Completed, 3, std::nullopt, ""},
        {RunMode::ListOnly, RunStatus::Completed, 3, std::nullopt, ""},
        {RunMode::Write, RunStatus::Failed, 0, readError, failed},
        {RunMode::Write, RunStatus::Failed, 1, readError,
         failed + "glintmark-cli: 1 texture extracted from levels/a.ldb into out/a before the "
                  "failure\n"},
        {RunMode::Write, RunStatus::Failed, 3, readError,
         failed + "glintmark-cli: 3 textures extracted from levels/a.ldb into out/a before the "
                  "failure\n"},
        {RunMode::ListOnly, RunStatus::Failed, 3, readError, failed},
        {RunMode::ListOnly, RunStatus::Stopped, 0, std::nullopt,
         "glintmark-cli: levels/a.ldb: the run stopped before the end\n"},
        {RunMode::Write, RunStatus::Stopped, 2, std::nullopt,
         "glintmark-cli: levels/a.ldb: the run stopped before the end\n"
         "glintmark-cli: 2 textures extracted from levels/a.ldb into out/a before the failure\n"},
    };
    for (const Case& c : cases) {
        LevelOutcome level = outcome(kSource, kFolder, c.status, c.count);
        level.result.error = c.error;
        EXPECT_EQ(errorLines(level, c.mode), c.expected);
    }
}

TEST(HumanReportLines, InterruptedLineSaysWhatWasKept)
{
    struct Case
    {
        RunMode mode;
        std::uint64_t count;
        const char* signal;
        std::string expected;
    };
    const Case cases[] = {
        {RunMode::ListOnly, 5, "SIGINT",
         "glintmark-cli: interrupted by SIGINT while reading levels/a.ldb\n"},
        {RunMode::Write, 0, "SIGTERM",
         "glintmark-cli: interrupted by SIGTERM; kept 0 textures extracted from levels/a.ldb "
         "into out/a\n"},
        {RunMode::Write, 1, "SIGHUP",
         "glintmark-cli: interrupted by SIGHUP; kept 1 texture extracted from levels/a.ldb into "
         "out/a\n"},
        {RunMode::Write, 12, "signal 7",
         "glintmark-cli: interrupted by signal 7; kept 12 textures extracted from levels/a.ldb "
         "into out/a\n"},
    };
    for (const Case& c : cases) {
        const LevelOutcome level = outcome(kSource, kFolder, RunStatus::Stopped, c.count);
        EXPECT_EQ(interruptedLine(level, c.mode, c.signal), c.expected);
    }
}

} // namespace
} // namespace glintmark::clitest
