// The plan of one replacement: what a put-back would make of one edited file against one
// texture of a level, read now, before anything is written.
#include "FeaturesTestSupport.h"

#include "features/putback/EditPlan.h"
#include "support/Referees.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace glintmark::featurestest {
namespace {

namespace fs = std::filesystem;
using Verdict = features::EditPlan::Verdict;

constexpr int kNumber = 3;

struct PlanCase
{
    const char* what;
    std::function<void(const fs::path& dir, const fs::path& edit)> make; // writes the edit
    Verdict verdict;
    std::string reason{}; // found in the plan's reason
    bool fit = false;
    bool quality = false;      // an encoding quality is given
    std::int64_t length = -1;  // the bytes that go in, when known (-1: at most the original's)
    bool levelChanged = false; // the level no longer holds the texture at its place
};

TEST(EditPlan, EachEditIsJudgedAsAPutBackWouldJudgeIt)
{
    if (!testsupport::sha256sumHere())
        GTEST_SKIP() << "no sha256sum to referee the texture's digest here";
    const std::string original = demoImage(kNumber).substr(0, demoEnd(kNumber));
    const Referee was = referee(original);
    const std::string smaller = reencoded(original, 30);
    ASSERT_LT(smaller.size(), original.size());
    const std::string larger = reencoded(original, 100);
    ASSERT_GT(larger.size(), original.size());
    const auto write = [](const std::string& bytes) {
        return [bytes](const fs::path&, const fs::path& edit) { writeBytes(edit, bytes); };
    };
    const std::vector<PlanCase> cases = {
        {"the texture's own bytes", write(original), Verdict::Unchanged},
        {"a smaller encoding of it", write(smaller), Verdict::Fits, "", false, false,
         static_cast<std::int64_t>(smaller.size())},
        {"more bytes than its place", write(larger), Verdict::Refused, "--fit"},
        {"more bytes than its place, with --fit", write(larger), Verdict::Encoded, "", true, true},
        {"noise that fits at no quality, with --fit", write(noiseJpeg(was.width, was.height)),
         Verdict::Refused, "even at quality", true},
        {"another size", write(noiseJpeg(was.width + 8, was.height)), Verdict::Refused,
         std::to_string(was.width + 8)},
        {"not an image", write("\xFF\xD8\xFF\xE0 no more"), Verdict::Refused},
        {"no file", [](const fs::path&, const fs::path&) {}, Verdict::Failed, "edit.jpg"},
#ifndef _WIN32
        {"a link to the texture",
         [original](const fs::path& dir, const fs::path& edit) {
             writeBytes(dir / "real.jpg", original);
             fs::create_symlink(dir / "real.jpg", edit);
         },
         Verdict::Refused, "is not a regular file"},
#endif
        {"a level changed since it was listed", write(smaller), Verdict::Failed,
         "no longer holds this texture at image 3", false, false, -1, true},
    };
    const fs::path dir = freshTestFolder();
    writeBytes(dir / "t.jpg", original);
    const auto texture = features::digestFromHex(testsupport::sha256sumOf(dir / "t.jpg"));
    ASSERT_TRUE(texture.has_value());
    for (const PlanCase& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path at = freshTestFolder();
        std::string level = readBytes(demoLdb());
        if (c.levelChanged)
            level[demoOffset(kNumber) + 200] =
                static_cast<char>(level[demoOffset(kNumber) + 200] ^ 1);
        writeBytes(at / "level.ldb", level);
        fs::create_directories(at / "my edits");
        const fs::path edit = at / "my edits" / "edit.jpg";
        c.make(at, edit);
        const features::EditPlan plan =
            features::planEdit(edit, at / "level.ldb", demoInfo(kNumber), c.fit, texture);
        EXPECT_EQ(plan.verdict, c.verdict) << plan.reason;
        EXPECT_NE(plan.reason.find(c.reason), std::string::npos) << plan.reason;
        EXPECT_EQ(plan.quality.has_value(), c.quality);
        if (c.verdict == Verdict::Fits || c.verdict == Verdict::Encoded) {
            if (c.length >= 0) {
                EXPECT_EQ(plan.length, static_cast<std::uint64_t>(c.length));
            }
            EXPECT_GT(plan.length, 0u);
            EXPECT_LE(plan.length, original.size());
        }
        if (c.verdict == Verdict::Refused || c.verdict == Verdict::Failed) {
            EXPECT_FALSE(plan.reason.empty());
        }
        // Nothing is written anywhere.
        EXPECT_TRUE(readBytes(at / "level.ldb") == level);
    }
}

// A PNG is encoded in the texture's coding, whatever --fit says, at the quality it names; the
// level's file need not be opened again to say so.
TEST(EditPlan, APngIsEncodedAtTheQualityItNames)
{
    if (!testsupport::imageToolsHere())
        GTEST_SKIP() << "needs ImageMagick's convert and djpeg, its referees";
    const fs::path dir = freshTestFolder();
    const std::string original = demoImage(kNumber).substr(0, demoEnd(kNumber));
    writeBytes(dir / "t.jpg", original);
    writeBytes(dir / "level.ldb", readBytes(demoLdb()));
    ASSERT_TRUE(testsupport::runTool("djpeg -pnm " + testsupport::shellQuoted(dir / "t.jpg") +
                                     " | convert - -negate " +
                                     testsupport::shellQuoted(dir / "edit.png")));
    const features::EditPlan plan =
        features::planEdit(dir / "edit.png", dir / "level.ldb", demoInfo(kNumber), false, {});
    EXPECT_EQ(plan.verdict, Verdict::Encoded) << plan.reason;
    ASSERT_TRUE(plan.quality.has_value());
    EXPECT_GE(*plan.quality, 1);
    EXPECT_LE(*plan.quality, 100);
    EXPECT_LE(plan.length, original.size());
}

} // namespace
} // namespace glintmark::featurestest
