// The check of a new level as its bytes are written: only the replaced ranges may change, each
// must hold a whole image that decodes followed by zero bytes, and the signatures stay put,
// wherever the blocks it is given happen to end.
#include "FeaturesTestSupport.h"

#include "features/putback/NewLevelCheck.h"

#include <gtest/gtest.h>

namespace glintmark::featurestest {
namespace {

using features::NewLevelCheck;
using features::Replacement;

std::vector<std::uint64_t> signaturesIn(const std::string& bytes)
{
    std::vector<std::uint64_t> found;
    for (std::size_t hit = bytes.find(kSignature); hit != std::string::npos;
         hit = bytes.find(kSignature, hit + 1))
        found.push_back(hit);
    return found;
}

// The check of `written` fed in blocks of `block` bytes, against a source that the scan found
// `signatures` signatures in (by default, as many as it has).
std::optional<std::string> check(const NewLevel& level, const std::string& written,
                                 std::size_t block, std::optional<std::uint64_t> signatures = {})
{
    NewLevelCheck checker(level.source.size(),
                          signatures.value_or(signaturesIn(level.source).size()), level.replaced);
    for (std::size_t from = 0; from < written.size(); from += block) {
        const std::size_t count = std::min(block, written.size() - from);
        checker.feed(level.source.data() + from, written.data() + from, count);
    }
    return checker.finish();
}

TEST(NewLevelCheck, EachKindOfFaultIsFoundWhereverTheBlocksEnd)
{
    const NewLevel level = replacedLevel();
    ASSERT_GE(level.replaced.size(), 6u);
    const Replacement& first = level.replaced[0];
    const Replacement& second = level.replaced[1];
    struct Fault
    {
        std::string what; // what the problem says
        std::size_t at;
        std::string bytes;
        // What it may say instead: the first of two problems found is the one reported, and in
        // blocks shorter than the signature, the changed byte is found first.
        std::string orElse = "";
    };
    // The command line's faults, and more of each kind.
    const std::vector<Fault> faults = {
        {"byte 500 changed outside the replaced images", 500, "x"},
        {"it has a signature at byte 700 that the source has not", 700, signature(),
         "byte 700 changed outside the replaced images"},
        {"it has a signature at byte " + std::to_string(first.offset + first.end - 50) +
             " that the source has not",
         first.offset + first.end - 50, signature()},
        {"image " + std::to_string(first.number) +
             " is not followed by zero bytes up to its old end",
         first.offset + first.bytes.size() + 3, "z"},
        {"", 0, ""},
        {"byte " + std::to_string(first.offset - 1) + " changed outside the replaced images",
         first.offset - 1, "\x01"},
        {"byte " + std::to_string(first.offset + first.end) +
             " changed outside the replaced images",
         first.offset + first.end, "\x01"},
        {"byte " + std::to_string(level.source.size() - 1) + " changed outside the replaced images",
         level.source.size() - 1, "\x01"},
        {"image " + std::to_string(first.number) + " is not followed by zero bytes",
         first.offset + first.end - 1, "z"},
        {"image " + std::to_string(second.number) + " does not decode where it was put back: ",
         second.offset + second.bytes.size() - 40, std::string(4, '\xA5')},
        {"image " + std::to_string(second.number) + " is not whole where it was put back",
         second.offset + second.bytes.size() - 2, std::string(2, '\0')},
        {"the signature at byte " + std::to_string(second.offset) + " is missing",
         second.offset + 6, "j"},
    };
    for (const std::size_t block : {std::size_t{1} << 20, std::size_t{4099}, std::size_t{10},
                                    std::size_t{9}, std::size_t{3}}) {
        for (const Fault& fault : faults) {
            SCOPED_TRACE(fault.what + (" in blocks of " + std::to_string(block)));
            std::string written = level.written;
            written.replace(fault.at, fault.bytes.size(), fault.bytes);
            const std::optional<std::string> problem = check(level, written, block);
            if (fault.bytes.empty()) {
                EXPECT_EQ(problem, std::nullopt);
            } else {
                ASSERT_TRUE(problem.has_value());
                const bool expected = problem->rfind(fault.what, 0) == 0 ||
                                      (!fault.orElse.empty() && *problem == fault.orElse &&
                                       block < kSignature.size());
                EXPECT_TRUE(expected) << *problem;
            }
        }
    }
}

TEST(NewLevelCheck, ASignatureAcrossTwoBlocksIsFoundOnce)
{
    const NewLevel level = replacedLevel();
    const std::uint64_t at = level.replaced[0].offset;
    // Blocks that end at each byte inside the first replaced image's signature.
    for (std::size_t cut = 1; cut < kSignature.size(); ++cut) {
        SCOPED_TRACE(cut);
        NewLevelCheck checker(level.source.size(), signaturesIn(level.source).size(),
                              level.replaced);
        const std::size_t ends[] = {at + cut, level.written.size()};
        std::size_t from = 0;
        for (const std::size_t end : ends) {
            checker.feed(level.source.data() + from, level.written.data() + from, end - from);
            from = end;
        }
        EXPECT_EQ(checker.finish(), std::nullopt);
    }
}

TEST(NewLevelCheck, ALevelThatEndsEarlyIsNotSound)
{
    const NewLevel level = replacedLevel();
    const Replacement& last = level.replaced.back();
    // Cut inside the last replaced image: it was never written whole.
    const std::string inside = level.written.substr(0, last.offset + 100);
    EXPECT_EQ(check(level, inside, 4099),
              "image " + std::to_string(last.number) + " was not written whole");
    // Cut behind it, before the last signature: the level is short, and a signature short.
    const std::vector<std::uint64_t> signatures = signaturesIn(level.source);
    ASSERT_GT(signatures.back(), last.offset + last.end);
    const std::string before = level.written.substr(0, signatures.back());
    const std::string size = std::to_string(level.source.size());
    EXPECT_EQ(check(level, before, 4099),
              "it is " + std::to_string(before.size()) + " bytes long, the source " + size);
    // Whole, with as many signatures as it should have, but the scan found more or fewer.
    const std::uint64_t count = signatures.size();
    for (const std::uint64_t scanned : {count + 1, count - 1}) {
        EXPECT_EQ(check(level, level.written, 4099, scanned),
                  "it has " + std::to_string(count) + " signatures where the source has " +
                      std::to_string(scanned));
    }
}

TEST(NewLevelCheck, TheFirstProblemIsTheOneReported)
{
    const NewLevel level = replacedLevel();
    std::string written = level.written;
    written[900] = 'x';
    written[500] = 'y';
    EXPECT_EQ(check(level, written, 4099), "byte 500 changed outside the replaced images");
    EXPECT_EQ(check(level, written, 300), "byte 500 changed outside the replaced images");
}

} // namespace
} // namespace glintmark::featurestest

namespace glintmark::featurestest {
namespace {

// The level fed as the system's copy gives it: the bytes between replaced images copied unseen,
// each replaced image read with `seam` bytes on either side; `fault` changes one byte read.
std::optional<std::string> checkCopied(const NewLevel& level, std::uint64_t seam,
                                       std::optional<std::uint64_t> fault = {})
{
    NewLevelCheck checker(level.source.size(), 0, level.replaced);
    std::string written = level.written;
    if (fault)
        written[*fault] ^= 0x5A;
    std::uint64_t at = 0;
    for (const Replacement& range : level.replaced) {
        const std::uint64_t from = std::max(at, range.offset - seam);
        checker.copied(from - at);
        const std::uint64_t to = range.offset + range.end + seam;
        checker.feed(level.source.data() + from, written.data() + from, to - from);
        at = to;
    }
    checker.copied(level.source.size() - at);
    return checker.finish();
}

TEST(NewLevelCheck, CopiedBytesMustKeepASignatureAwayFromEveryReplacedImage)
{
    const NewLevel level = replacedLevel();
    const Replacement& first = level.replaced.front();
    EXPECT_EQ(checkCopied(level, kSignature.size() - 1), std::nullopt);
    EXPECT_EQ(checkCopied(level, 2 * kSignature.size()), std::nullopt);
    EXPECT_EQ(checkCopied(level, kSignature.size() - 2),
              "bytes of image " + std::to_string(first.number) + " were copied unchecked");
    // What is read is still checked.
    EXPECT_EQ(checkCopied(level, 20, first.offset - 5),
              "byte " + std::to_string(first.offset - 5) + " changed outside the replaced images");
    const std::uint64_t zeroAt = first.offset + first.bytes.size() + 1;
    EXPECT_EQ(
        checkCopied(level, 20, zeroAt)
            .value_or("")
            .rfind("image " + std::to_string(first.number) + " is not followed by zero bytes", 0),
        0U);
}

} // namespace
} // namespace glintmark::featurestest
