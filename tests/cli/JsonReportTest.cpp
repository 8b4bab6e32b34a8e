#include "cli/report/JsonReport.h"

#include "FailingStream.h"
#include "ReportInputs.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sstream>
#include <string>
#include <vector>

namespace glintmark::clitest {
namespace {

using cli::JsonReport;
using nlohmann::json;

const std::filesystem::path kSource = "levels/a.ldb";
const std::filesystem::path kFolder = "out/a";

// The report of one completed source holding `images`, parsed.
json reportOf(const std::vector<CheckedImage>& images, RunMode mode = RunMode::ListOnly)
{
    std::ostringstream out;
    JsonReport report(out, mode);
    report.beginSource(kSource, kFolder);
    for (const CheckedImage& checked : images)
        report.image(checked);
    report.endSource(outcome(kSource, kFolder, RunStatus::Completed, images.size()));
    report.finish();
    return json::parse(out.str());
}

json imageJson(const CheckedImage& checked)
{
    return reportOf({checked})["sources"][0]["images"][0];
}

TEST(JsonReport, ImageFieldsComeFromItsFrameHeader)
{
    struct Case
    {
        JpegStructure jpeg;
        json expected;
    };
    JpegStructure grey = framed(640, 480, 5000, JpegCoding::Extended);
    grey.components = 1;
    grey.precision = 12;
    JpegStructure arithmetic = framed(32, 16, 5000, JpegCoding::Progressive);
    arithmetic.arithmetic = true;
    JpegStructure lossless = framed(7, 9, 5000, JpegCoding::Lossless);
    lossless.components = 4;
    lossless.precision = 16;
    const Case cases[] = {
        {framed(200, 100, 5000),
         {{"width", 200},
          {"height", 100},
          {"components", 3},
          {"precision", 8},
          {"coding", "baseline"},
          {"progressive", false},
          {"arithmetic", false}}},
        {grey,
         {{"width", 640},
          {"height", 480},
          {"components", 1},
          {"precision", 12},
          {"coding", "extended"},
          {"progressive", false},
          {"arithmetic", false}}},
        {arithmetic,
         {{"width", 32},
          {"height", 16},
          {"components", 3},
          {"precision", 8},
          {"coding", "progressive"},
          {"progressive", true},
          {"arithmetic", true}}},
        {lossless,
         {{"width", 7},
          {"height", 9},
          {"components", 4},
          {"precision", 16},
          {"coding", "lossless"},
          {"progressive", false},
          {"arithmetic", false}}},
        // Without a frame header there is nothing to tell, not even zeros.
        {broken(JpegStructure{}, JpegProblem::NoFrame, 2),
         {{"width", nullptr},
          {"height", nullptr},
          {"components", nullptr},
          {"precision", nullptr},
          {"coding", nullptr},
          {"progressive", nullptr},
          {"arithmetic", nullptr}}},
    };
    for (const Case& c : cases) {
        const json got = imageJson(image(3, 700, 5000, c.jpeg));
        SCOPED_TRACE(got.dump());
        for (const auto& [key, value] : c.expected.items())
            EXPECT_EQ(got.at(key), value) << key;
    }
}

TEST(JsonReport, ImageFieldsTellWhereItIsHowItEndsAndWhatBrokeIt)
{
    struct Case
    {
        CheckedImage image;
        json expected;
    };
    CheckedImage trimmed = image(2, 17'000, 900, framed(8, 8, 700));
    trimmed.written = 700;
    const Case cases[] = {
        {image(1, 3455, 17679, framed(200, 200, 17679)),
         {{"number", 1},
          {"name", "Vorlesk_0001.jpg"},
          {"offset", 3455},
          {"size", 17679},
          {"end", 17679},
          {"written", 17679},
          {"status", "whole"},
          {"problem", nullptr}}},
        {trimmed,
         {{"number", 2},
          {"name", "Vorlesk_0002.jpg"},
          {"offset", 17'000},
          {"size", 900},
          {"end", 700},
          {"written", 700},
          {"status", "trailing"},
          {"problem", nullptr}}},
        {image(12345, 0, 5000, broken(framed(8, 8, 0), JpegProblem::CutInScan, 4990)),
         {{"number", 12345},
          {"name", "Vorlesk_12345.jpg"},
          {"end", nullptr},
          {"written", 5000},
          {"status", "cut-short"},
          {"problem",
           {{"kind", "cut-in-scan"}, {"at", 4990}, {"message", "cut inside the image data"}}}}},
        {image(4, 10, 30, broken(JpegStructure{}, JpegProblem::CutInSegment, 30)),
         {{"end", nullptr},
          {"status", "cut-short"},
          {"problem",
           {{"kind", "cut-in-segment"}, {"at", 30}, {"message", "cut inside a segment"}}}}},
        {image(5, 99, 800, broken(framed(8, 8, 0), JpegProblem::BadLength, 20)),
         {{"status", "damaged"},
          {"problem", {{"kind", "bad-length"}, {"at", 20}, {"message", "bad segment length"}}}}},
        {image(6, 99, 800, broken(framed(8, 8, 0), JpegProblem::BadMarker, 612)),
         {{"status", "damaged"},
          {"problem", {{"kind", "bad-marker"}, {"at", 612}, {"message", "misplaced marker"}}}}},
        {image(7, 99, 800, broken(JpegStructure{}, JpegProblem::BadFrame, 25)),
         {{"status", "damaged"},
          {"problem", {{"kind", "bad-frame"}, {"at", 25}, {"message", "bad frame header"}}}}},
        {image(8, 99, 800, broken(framed(8, 8, 0), JpegProblem::NoScan, 400)),
         {{"status", "damaged"},
          {"problem", {{"kind", "no-scan"}, {"at", 400}, {"message", "no image data"}}}}},
    };
    for (const Case& c : cases) {
        const json got = imageJson(c.image);
        SCOPED_TRACE(got.dump());
        for (const auto& [key, value] : c.expected.items())
            EXPECT_EQ(got.at(key), value) << key;
    }
}

TEST(JsonReport, DecodeFieldsOnlyForImagesACheckLookedAt)
{
    const CheckedImage whole = image(1, 0, 900, framed(8, 8, 900));
    struct Case
    {
        const char* what;
        CheckedImage image;
        json expected; // null: neither field is there
    };
    const Case cases[] = {
        {"not checked, or the run stopped first", whole, nullptr},
        {"decodes", decoded(whole, true), {{"decodes", true}, {"decode_error", nullptr}}},
        {"does not decode",
         decoded(whole, false, "Premature end of JPEG file"),
         {{"decodes", false}, {"decode_error", "Premature end of JPEG file"}}},
        {"over a limit",
         decoded(whole, std::nullopt, "Not decoded: it claims 60000x60000"),
         {{"decodes", nullptr}, {"decode_error", "Not decoded: it claims 60000x60000"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const json got = imageJson(c.image);
        if (c.expected.is_null()) {
            EXPECT_FALSE(got.contains("decodes"));
            EXPECT_FALSE(got.contains("decode_error"));
            continue;
        }
        EXPECT_EQ(got.at("decodes"), c.expected["decodes"]);
        EXPECT_EQ(got.at("decode_error"), c.expected["decode_error"]);
    }
}

TEST(JsonReport, SeveralSourcesFormOneDocument)
{
    std::ostringstream out;
    JsonReport report(out, RunMode::Write);
    report.beginSource("levels/a.ldb", "out/a");
    report.image(image(1, 10, 900, framed(8, 8, 900)));
    report.image(image(2, 910, 90, framed(8, 8, 80)));
    report.endSource(outcome("levels/a.ldb", "out/a", RunStatus::Completed, 2, 3));
    report.beginSource("levels/b.ldb", "out/b");
    LevelOutcome failed = outcome("levels/b.ldb", "out/b", RunStatus::Failed, 0);
    failed.result.error = ExtractError{ErrorKind::SourceOpen, "levels/b.ldb",
                                       "Cannot open \"levels/b.ldb\": No such file or directory"};
    report.endSource(failed);
    report.beginSource("levels/c.ldb", "out/c");
    report.image(image(1, 0, 50, broken(JpegStructure{}, JpegProblem::CutInSegment, 50)));
    report.endSource(outcome("levels/c.ldb", "out/c", RunStatus::Stopped, 1));
    report.finish();

    const json document = json::parse(out.str());
    EXPECT_EQ(document["mode"], "extract");
    const json& sources = document["sources"];
    ASSERT_EQ(sources.size(), 3u);
    const json a = sources[0];
    EXPECT_EQ(a["source"], "levels/a.ldb");
    EXPECT_EQ(a["output"], "out/a");
    ASSERT_EQ(a["images"].size(), 2u);
    EXPECT_EQ(a["images"][0]["number"], 1);
    EXPECT_EQ(a["images"][1]["number"], 2);
    EXPECT_EQ(a["status"], "completed");
    EXPECT_EQ(a["count"], 2);
    EXPECT_EQ(a["stale"], 3);
    EXPECT_TRUE(a["error"].is_null());

    const json b = sources[1];
    EXPECT_EQ(b["source"], "levels/b.ldb");
    EXPECT_EQ(b["images"], json::array());
    EXPECT_EQ(b["status"], "failed");
    EXPECT_EQ(b["count"], 0);
    EXPECT_EQ(b["stale"], 0);
    EXPECT_EQ(b["error"], json({{"kind", "source-open"},
                                {"file", "levels/b.ldb"},
                                {"message", "Cannot open \"levels/b.ldb\": No such file or "
                                            "directory"}}));

    const json c = sources[2];
    EXPECT_EQ(c["output"], "out/c");
    EXPECT_EQ(c["images"].size(), 1u);
    EXPECT_EQ(c["status"], "stopped");
    EXPECT_EQ(c["count"], 1);
}

TEST(JsonReport, IsOneWholeDocumentAfterFinishHoweverTheRunWent)
{
    struct Case
    {
        const char* what;
        RunMode mode;
        int sources;
        int images;
        RunStatus status;
        std::string expectedMode;
    };
    const Case cases[] = {
        {"no sources", RunMode::ListOnly, 0, 0, RunStatus::Completed, "list"},
        {"no sources", RunMode::Write, 0, 0, RunStatus::Completed, "extract"},
        {"no images", RunMode::ListOnly, 1, 0, RunStatus::Completed, "list"},
        {"failed before reading", RunMode::Write, 1, 0, RunStatus::Failed, "extract"},
        {"failed part way", RunMode::Write, 2, 3, RunStatus::Failed, "extract"},
        {"stopped", RunMode::ListOnly, 2, 1, RunStatus::Stopped, "list"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::ostringstream out;
        JsonReport report(out, c.mode);
        for (int s = 0; s < c.sources; ++s) {
            report.beginSource(kSource, kFolder);
            for (int i = 1; i <= c.images; ++i)
                report.image(image(i, 0, 10, framed(1, 1, 10)));
            report.endSource(outcome(kSource, kFolder, c.status, c.images));
        }
        report.finish();
        const std::string text = out.str();
        ASSERT_TRUE(json::accept(text)) << text;
        const json document = json::parse(text);
        EXPECT_EQ(document["mode"], c.expectedMode);
        ASSERT_EQ(document["sources"].size(), static_cast<std::size_t>(c.sources));
        for (const json& source : document["sources"])
            EXPECT_EQ(source["images"].size(), static_cast<std::size_t>(c.images));
        EXPECT_EQ(text.back(), '\n');
    }
}

TEST(JsonReport, WritesEachImageAsItComesAndFlushesAtTheEnd)
{
    CountingBuffer buffer;
    std::ostream out(&buffer);
    JsonReport report(out, RunMode::ListOnly);
    report.beginSource(kSource, kFolder);
    report.image(image(7, 0, 10, framed(1, 1, 10)));
    EXPECT_NE(buffer.taken().find("\"number\":7"), std::string::npos) << buffer.taken();
    report.endSource(outcome(kSource, kFolder, RunStatus::Completed, 1));
    const int before = buffer.flushes();
    report.finish();
    EXPECT_GT(buffer.flushes(), before);
    EXPECT_TRUE(json::accept(buffer.taken()));
}

TEST(JsonReport, EachImageIsALineOfItsOwn)
{
    std::ostringstream out;
    JsonReport report(out, RunMode::ListOnly);
    report.beginSource("levels/a.ldb", "out/a");
    report.image(image(1, 10, 20, framed(1, 1, 20)));
    report.endSource(outcome("levels/a.ldb", "out/a", RunStatus::Completed, 1));
    report.beginSource("levels/b.ldb", "out/b");
    report.image(image(1, 0, 20, framed(2, 1, 20)));
    report.image(image(2, 20, 5, broken(JpegStructure{}, JpegProblem::CutInSegment, 5)));
    report.endSource(outcome("levels/b.ldb", "out/b", RunStatus::Completed, 2));
    report.beginSource("levels/c.ldb", "out/c");
    report.endSource(outcome("levels/c.ldb", "out/c", RunStatus::Completed, 0));
    report.finish();
    EXPECT_EQ(out.str(), R"({
  "mode": "list",
  "sources": [
    {
      "source": "levels/a.ldb",
      "output": "out/a",
      "images": [
        {"number":1,"name":"Vorlesk_0001.jpg","offset":10,"size":20,"width":1,"height":1,"components":3,"precision":8,"coding":"baseline","progressive":false,"arithmetic":false,"end":20,"written":20,"status":"whole","problem":null}
      ],
      "status": "completed",
      "count": 1,
      "stale": 0,
      "error": null
    },
    {
      "source": "levels/b.ldb",
      "output": "out/b",
      "images": [
        {"number":1,"name":"Vorlesk_0001.jpg","offset":0,"size":20,"width":2,"height":1,"components":3,"precision":8,"coding":"baseline","progressive":false,"arithmetic":false,"end":20,"written":20,"status":"whole","problem":null},
        {"number":2,"name":"Vorlesk_0002.jpg","offset":20,"size":5,"width":null,"height":null,"components":null,"precision":null,"coding":null,"progressive":null,"arithmetic":null,"end":null,"written":5,"status":"cut-short","problem":{"kind":"cut-in-segment","at":5,"message":"cut inside a segment"}}
      ],
      "status": "completed",
      "count": 2,
      "stale": 0,
      "error": null
    },
    {
      "source": "levels/c.ldb",
      "output": "out/c",
      "images": [],
      "status": "completed",
      "count": 0,
      "stale": 0,
      "error": null
    }
  ]
}
)");
}

TEST(JsonReport, NamesStayUtf8)
{
    std::ostringstream out;
    JsonReport report(out, RunMode::Write);
    const std::filesystem::path level(u8"levels/\u00e4rger.ldb");
    report.beginSource(level, std::filesystem::path(u8"out/\u00e4rger"));
    report.endSource(outcome(level, "out", RunStatus::Completed, 0));
    report.finish();
    EXPECT_NE(out.str().find("\"source\": \"levels/\xC3\xA4rger.ldb\""), std::string::npos);
    EXPECT_NE(out.str().find("\"output\": \"out/\xC3\xA4rger\""), std::string::npos);
}

#ifndef _WIN32
// Paths keep their bytes, escaped as the texture index escapes names; a message is text for
// people, where such a byte is a replacement character.
TEST(JsonReport, PathsThatAreNotUtf8KeepTheirBytesEscaped)
{
    std::ostringstream out;
    JsonReport report(out, RunMode::Write);
    report.beginSource("levels/\xFF.ldb", "out/\xFF");
    LevelOutcome failed = outcome("levels/\xFF.ldb", "out/\xFF", RunStatus::Failed, 0);
    failed.result.error = ExtractError{ErrorKind::SourceRead, "levels/\xFF.ldb",
                                       "Cannot read \"levels/\xFF.ldb\": Input/output error"};
    report.endSource(failed);
    report.finish();
    const json source = json::parse(out.str())["sources"][0];
    EXPECT_EQ(source["source"], "levels/\\xFF.ldb");
    EXPECT_EQ(source["output"], "out/\\xFF");
    EXPECT_EQ(source["error"]["file"], "levels/\\xFF.ldb");
    EXPECT_EQ(source["error"]["message"],
              "Cannot read \"levels/\xEF\xBF\xBD.ldb\": Input/output error");
}
#endif

} // namespace
} // namespace glintmark::clitest
