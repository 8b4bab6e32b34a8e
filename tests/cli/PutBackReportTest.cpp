#include "cli/report/PutBackReport.h"

#include "FailingStream.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sstream>
#include <string>

namespace glintmark::clitest {
namespace {

using cli::reportPutBack;
using features::PutBackOutcome;
using features::PutBackRequest;
using features::PutBackStatus;
using features::Refusal;
using features::Replacement;
using nlohmann::json;

PutBackRequest request(bool dryRun = false)
{
    PutBackRequest asked;
    asked.source = "levels/castle.ldb";
    asked.folder = "castle";
    asked.into = dryRun ? "" : "castle-new.ldb";
    asked.dryRun = dryRun;
    return asked;
}

Replacement replacement(std::uint64_t number, std::uint64_t offset, std::uint64_t end,
                        std::size_t length, std::optional<int> quality = std::nullopt,
                        bool jfifAdded = false)
{
    Replacement image;
    image.number = number;
    std::string digits = std::to_string(number);
    digits.insert(0, digits.size() < 4 ? 4 - digits.size() : 0, '0');
    image.file = "castle/Vorlesk_" + digits + ".jpg";
    image.offset = offset;
    image.end = end;
    image.length = length; // its bytes are no longer held once written
    image.quality = quality;
    image.jfifAdded = jfifAdded;
    return image;
}

PutBackOutcome done(PutBackStatus status, std::uint64_t images, std::uint64_t unchanged)
{
    PutBackOutcome outcome;
    outcome.status = status;
    outcome.images = images;
    outcome.unchanged = unchanged;
    return outcome;
}

struct Printed
{
    std::string out;
    std::string err;
};

Printed printed(const PutBackRequest& asked, const PutBackOutcome& outcome, bool asJson, bool quiet)
{
    std::ostringstream out;
    std::ostringstream err;
    reportPutBack(asked, outcome, asJson, quiet, out, err);
    return {out.str(), err.str()};
}

TEST(PutBackReport, TableGivesEachReplacementsRoomAndQuality)
{
    PutBackOutcome outcome = done(PutBackStatus::Written, 141, 139);
    outcome.replaced.push_back(replacement(12, 500'000, 40'000, 38'120));
    outcome.replaced.push_back(replacement(3, 20'000, 1'234'567, 999, 87, true));
    outcome.replaced.push_back(replacement(140, 90'000'000, 999, 999, 30));
    const Printed run = printed(request(), outcome, false, false);
    // The numbers are written as --list writes them, without separators, each column as wide as
    // its longest entry; the spare bytes are the original's less the edit's.
    EXPECT_EQ(run.out, "image  original  edited    spare  quality  file\n"
                       "   12     40000   38120     1880        -  Vorlesk_0012.jpg\n"
                       "    3   1234567     999  1233568       87  Vorlesk_0003.jpg\n"
                       "  140       999     999        0       30  Vorlesk_0140.jpg\n"
                       "3 textures put back from castle into castle-new.ldb; 139 unchanged, of 141 "
                       "textures in levels/castle.ldb\n");
    EXPECT_EQ(run.err, "");
}

TEST(PutBackReport, OutputByStatusQuietAndDryRun)
{
    const std::string head = "image  original  edited  spare  quality  file\n";
    const std::string row = "    7      2000    1500    500        -  Vorlesk_0007.jpg\n";
    struct Case
    {
        const char* what;
        PutBackStatus status;
        bool dryRun;
        int replaced;
        std::uint64_t unchanged;
        std::uint64_t images;
        bool quiet;
        std::string expected;
    };
    const Case cases[] = {
        {"one put back", PutBackStatus::Written, false, 1, 0, 1, false,
         head + row +
             "1 texture put back from castle into castle-new.ldb; 0 unchanged, of 1 texture in "
             "levels/castle.ldb\n"},
        {"quiet: errors only", PutBackStatus::Written, false, 1, 0, 1, true, ""},
        {"nothing changed", PutBackStatus::Written, false, 0, 5, 12, false,
         "0 textures put back from castle into castle-new.ldb; 5 unchanged, of 12 textures in "
         "levels/castle.ldb\n"},
        {"nothing changed, quiet", PutBackStatus::Written, false, 0, 5, 12, true, ""},
        {"dry run", PutBackStatus::DryRun, true, 1, 5, 12, false,
         head + row +
             "1 texture would be put back from castle; 5 unchanged, of 12 textures in "
             "levels/castle.ldb (dry run: nothing written)\n"},
        {"dry run, two", PutBackStatus::DryRun, true, 2, 5, 12, false,
         head + row + row +
             "2 textures would be put back from castle; 5 unchanged, of 12 textures in "
             "levels/castle.ldb (dry run: nothing written)\n"},
        {"dry run, quiet", PutBackStatus::DryRun, true, 1, 5, 12, true, ""},
        {"refused", PutBackStatus::Refused, false, 1, 5, 12, false, ""},
        {"failed", PutBackStatus::Failed, false, 1, 5, 12, false, ""},
        {"stopped", PutBackStatus::Stopped, true, 1, 5, 12, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PutBackOutcome outcome = done(c.status, c.images, c.unchanged);
        for (int i = 0; i < c.replaced; ++i)
            outcome.replaced.push_back(replacement(7, 8'000, 2'000, 1'500));
        EXPECT_EQ(printed(request(c.dryRun), outcome, false, c.quiet).out, c.expected);
    }
}

TEST(PutBackReport, RefusalsAndErrorsGoToStandardError)
{
    const Refusal larger{12, "castle/Vorlesk_0012.jpg",
                         "is 1,234 bytes larger than the 40,000 bytes image 12 holds; --fit "
                         "would re-encode it"};
    const Refusal beyond{0, "castle/Vorlesk_0999.jpg", "names no image of levels/castle.ldb"};
    const ExtractError lost{ErrorKind::SourceRead, "levels/castle.ldb",
                            "Cannot read \"levels/castle.ldb\": Input/output error"};
    struct Case
    {
        const char* what;
        PutBackStatus status;
        bool dryRun;
        std::vector<Refusal> refused;
        std::optional<ExtractError> error;
        std::string expected;
    };
    const std::string largerLine =
        "glintmark-cli: castle/Vorlesk_0012.jpg is 1,234 bytes larger than the 40,000 bytes image "
        "12 holds; --fit would re-encode it\n";
    const std::string beyondLine =
        "glintmark-cli: castle/Vorlesk_0999.jpg names no image of levels/castle.ldb\n";
    const Case cases[] = {
        {"written", PutBackStatus::Written, false, {}, std::nullopt, ""},
        {"one refused",
         PutBackStatus::Refused,
         false,
         {larger},
         std::nullopt,
         largerLine +
             "glintmark-cli: castle-new.ldb was not written: an edited texture cannot go back\n"},
        {"two refused",
         PutBackStatus::Refused,
         false,
         {larger, beyond},
         std::nullopt,
         largerLine + beyondLine +
             "glintmark-cli: castle-new.ldb was not written: 2 edited textures cannot go back\n"},
        {"one refused, dry run",
         PutBackStatus::Refused,
         true,
         {beyond},
         std::nullopt,
         beyondLine +
             "glintmark-cli: nothing would be written: an edited texture cannot go back\n"},
        {"failed",
         PutBackStatus::Failed,
         false,
         {},
         lost,
         "glintmark-cli: Cannot read \"levels/castle.ldb\": Input/output error\n"},
        {"stopped", PutBackStatus::Stopped, false, {}, std::nullopt, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PutBackOutcome outcome = done(c.status, 141, 0);
        outcome.refused = c.refused;
        outcome.error = c.error;
        for (const bool asJson : {false, true}) {
            CountingBuffer buffer;
            std::ostream err(&buffer);
            std::ostringstream out;
            reportPutBack(request(c.dryRun), outcome, asJson, false, out, err);
            EXPECT_EQ(buffer.taken(), c.expected);
            EXPECT_GT(buffer.flushes(), 0) << "the reasons leave before the report";
        }
    }
}

TEST(PutBackReport, JsonHoldsTheRequestTheOutcomeAndEachImage)
{
    PutBackOutcome outcome = done(PutBackStatus::Written, 141, 139);
    outcome.replaced.push_back(replacement(12, 500'000, 40'000, 38'120));
    outcome.replaced.push_back(replacement(3, 20'000, 1'234'567, 999, 87, true));
    const Printed run = printed(request(), outcome, true, true);
    EXPECT_EQ(run.err, "");
    const json document = json::parse(run.out);
    EXPECT_EQ(document["source"], "levels/castle.ldb");
    EXPECT_EQ(document["folder"], "castle");
    EXPECT_EQ(document["into"], "castle-new.ldb");
    EXPECT_EQ(document["dry_run"], false);
    EXPECT_EQ(document["status"], "written");
    EXPECT_EQ(document["images"], 141);
    EXPECT_EQ(document["unchanged"], 139);
    EXPECT_EQ(document["replaced"], json::parse(R"([
        {"number": 12, "file": "castle/Vorlesk_0012.jpg", "offset": 500000, "end": 40000,
         "length": 38120, "slack": 1880, "quality": null, "jfif_added": false},
        {"number": 3, "file": "castle/Vorlesk_0003.jpg", "offset": 20000, "end": 1234567,
         "length": 999, "slack": 1233568, "quality": 87, "jfif_added": true}
    ])"));
    EXPECT_EQ(document["refused"], json::array());
    EXPECT_TRUE(document["error"].is_null());
}

TEST(PutBackReport, JsonHoldsRefusalsErrorsAndTheStatusByName)
{
    struct Case
    {
        PutBackStatus status;
        bool dryRun;
        const char* name;
    };
    const Case cases[] = {
        {PutBackStatus::Written, false, "written"}, {PutBackStatus::DryRun, true, "dry-run"},
        {PutBackStatus::Refused, false, "refused"}, {PutBackStatus::Failed, false, "failed"},
        {PutBackStatus::Stopped, true, "stopped"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PutBackOutcome outcome = done(c.status, 9, 1);
        outcome.refused.push_back({0, "castle/Vorlesk_0999.jpg", "names no image"});
        outcome.refused.push_back({4, "castle/Vorlesk_0004.jpg", "does not decode: bad"});
        outcome.error = ExtractError{ErrorKind::ImageWrite, ".castle-new.ldb.part",
                                     "Cannot write \".castle-new.ldb.part\": File too large"};
        const json document = json::parse(printed(request(c.dryRun), outcome, true, false).out);
        EXPECT_EQ(document["status"], c.name);
        EXPECT_EQ(document["dry_run"], c.dryRun);
        EXPECT_EQ(document["into"], c.dryRun ? json(nullptr) : json("castle-new.ldb"));
        EXPECT_EQ(document["images"], 9);
        EXPECT_EQ(document["unchanged"], 1);
        EXPECT_EQ(document["replaced"], json::array());
        EXPECT_EQ(document["refused"], json::parse(R"([
            {"number": 0, "file": "castle/Vorlesk_0999.jpg", "reason": "names no image"},
            {"number": 4, "file": "castle/Vorlesk_0004.jpg", "reason": "does not decode: bad"}
        ])"));
        EXPECT_EQ(document["error"],
                  json({{"kind", "image-write"},
                        {"file", ".castle-new.ldb.part"},
                        {"message", "Cannot write \".castle-new.ldb.part\": File too large"}}));
    }
}

TEST(PutBackReport, JsonKeepsNamesInUtf8)
{
    PutBackRequest asked = request();
    asked.folder = std::filesystem::path(u8"schlo\u00df");
    PutBackOutcome outcome = done(PutBackStatus::Written, 1, 0);
    outcome.replaced.push_back(replacement(1, 0, 100, 90));
    outcome.replaced.back().file = std::filesystem::path(u8"schlo\u00df/Vorlesk_0001.jpg");
    const std::string out = printed(asked, outcome, true, false).out;
    EXPECT_NE(out.find("\"folder\": \"schlo\xC3\x9F\""), std::string::npos) << out;
    EXPECT_NE(out.find("\"file\": \"schlo\xC3\x9F/Vorlesk_0001.jpg\""), std::string::npos) << out;
    EXPECT_EQ(json::parse(out)["folder"], "schlo\xC3\x9F");
}

} // namespace
} // namespace glintmark::clitest
