// A new level made of the source's own bytes and the replaced images: where the system copies
// ranges, the bytes between replaced images never pass through the program, and whatever the
// system does (copies, stops copying, finds the source shorter, fails) the level is right or
// is not kept.
#include "features/putback/LevelCopy.h"

#include "FeaturesTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace glintmark::featurestest {
namespace {

namespace fs = std::filesystem;
using features::Replacement;

constexpr std::uint64_t kShare = std::uint64_t{64} << 10;

struct Going : features::RunEvents
{
};

// What the system does when asked to copy a range.
enum class System
{
    Copies,        // every range
    Never,         // no range at all
    StopsAfterOne, // one range, then no more
    EndsEarly,     // finds the source shorter than asked
    Fails,         // a write fails
};

// A new level gathered in memory, its ranges copied by a pretend system.
struct Target : FileWriter
{
    System system = System::Copies;
    std::string bytes;
    std::uint64_t throughProgram = 0;                            // bytes given to write()
    std::vector<std::pair<std::uint64_t, std::uint64_t>> copies; // [from, to) of the source

    bool write(std::string_view more) override
    {
        bytes.append(more);
        throughProgram += more.size();
        return true;
    }

    RangeCopy copyRange(const RawFile& source, std::uint64_t offset, std::uint64_t count) override
    {
        if (system == System::Never || (system == System::StopsAfterOne && !copies.empty()))
            return RangeCopy::Unsupported;
        if (system == System::Fails)
            return RangeCopy::Failed;
        const std::uint64_t take = system == System::EndsEarly ? count / 2 : count;
        std::string range(static_cast<std::size_t>(take), '\0');
        std::error_code ec;
        EXPECT_EQ(source.readAt(offset, range.data(), range.size(), ec), range.size());
        bytes += range;
        copies.emplace_back(offset, offset + take);
        return take < count ? RangeCopy::Short : RangeCopy::Copied;
    }
};

TEST(LevelCopy, TheSystemCopiesWhatNoImageChangesAndTheLevelIsRightWhateverItDoes)
{
    const NewLevel level = replacedLevel();
    ASSERT_GE(level.replaced.size(), 6U);
    const fs::path dir = freshTestFolder();
    const fs::path sourcePath = dir / "level.ldb";
    writeBytes(sourcePath, level.source);
    std::error_code ec;
    const RawFile source = RawFile::openForReading(sourcePath, ec);
    ASSERT_FALSE(ec);
    const FileIdentity sourceId = source.identity(ec);
    const fs::path into = dir / "new.ldb";
    std::uint64_t signatures = 0;
    for (std::size_t at = level.source.find(kSignature); at != std::string::npos;
         at = level.source.find(kSignature, at + 1))
        ++signatures;
    // What the program must read itself: each replaced image and a signature's length on
    // either side.
    std::uint64_t aroundImages = 0;
    for (const Replacement& range : level.replaced)
        aroundImages += range.end + 2 * (kSignature.size() - 1);

    const struct
    {
        System system;
        bool made;
        std::string error; // the start of what it says when it gives up
    } rows[] = {
        {System::Copies, true, ""},
        {System::Never, true, ""},
        {System::StopsAfterOne, true, ""},
        {System::EndsEarly, false,
         "The source file \"" + sourcePath.string() + "\" became shorter"},
        {System::Fails, false, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.system));
        std::vector<Replacement> replaced = level.replaced;
        features::LevelParts parts{
            sourcePath, into, source, sourceId, signatures, replaced, [](Replacement&) {
                return std::optional<ExtractError>{};
            }};
        Target target;
        target.system = row.system;
        Going events;
        bool stopped = false;
        std::optional<ExtractError> error;
        EXPECT_EQ(features::copyLevel(parts, target, events, stopped, error), row.made);
        EXPECT_FALSE(stopped);
        EXPECT_EQ(error.has_value(), !row.error.empty());
        if (error) {
            EXPECT_EQ(error->message.rfind(row.error, 0), 0U) << error->message;
        }
        if (!row.made)
            continue;
        EXPECT_TRUE(target.bytes == level.written);
        switch (row.system) {
        case System::Copies: {
            EXPECT_EQ(target.throughProgram, aroundImages);
            // Cut where shared extents begin and end: what is not on a boundary is the ends of
            // the stretches between images.
            std::uint64_t unaligned = 0;
            for (const auto& [from, to] : target.copies) {
                if (from % kShare != 0 || to % kShare != 0)
                    unaligned += to - from;
                EXPECT_TRUE(from % kShare == 0 || to % kShare == 0 || to - from < kShare);
            }
            EXPECT_LE(unaligned, 2 * kShare * (level.replaced.size() + 1));
            break;
        }
        case System::Never:
            EXPECT_TRUE(target.copies.empty());
            EXPECT_EQ(target.throughProgram, level.written.size());
            break;
        default:
            EXPECT_EQ(target.copies.size(), 1U);
            EXPECT_GT(target.throughProgram, aroundImages);
        }
    }
}

} // namespace
} // namespace glintmark::featurestest
