// Putting edited images back into a new level: what is written, what the events hear, and that
// a refusal, a failure or a stop leaves nothing behind.
#include "FeaturesTestSupport.h"

#include "engine/io/PathText.h"
#include "features/putback/PutBack.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace glintmark::featurestest {
namespace {

namespace fs = std::filesystem;
using features::Phase;
using features::PutBackOutcome;
using features::PutBackRequest;
using features::PutBackStatus;

// Hears every phase's progress in order, and stops when `stop` says so.
struct Recorder : features::RunEvents
{
    std::vector<std::pair<Phase, Progress>> heard;
    std::function<bool(const Recorder&)> stop;

    void onProgress(Phase phase, const Progress& progress) override
    {
        heard.emplace_back(phase, progress);
    }
    bool keepGoing() override { return !stop || !stop(*this); }

    bool heardPhase(Phase phase) const
    {
        return std::any_of(heard.begin(), heard.end(),
                           [phase](const auto& h) { return h.first == phase; });
    }
};

// A level of a few block lengths: the sample's images among seeded bytes of the game's own, with
// images across the copy's block boundaries and near-signatures in between.
LevelBuilder generatedLevel()
{
    LevelBuilder level(11, {0xFF, 4093});
    level.filler(1000);
    for (int number = 1; number <= 11; ++number) {
        if (number == 1 || number == 7) // across the first and second mebibyte
            level.fillerUpTo((std::size_t{1} << 20) * (number == 1 ? 1 : 2) - 900);
        level.image(demoImage(number)).filler(300);
    }
    return level;
}

class PutBackFolder : public ::testing::Test
{
protected:
    void SetUp() override
    {
        dir = freshTestFolder();
        fs::create_directories(dir / "edit");
        writeBytes(dir / "level.ldb", readBytes(demoLdb()));
    }

    void edit(int number, const std::string& bytes)
    {
        writeBytes(dir / "edit" / imageName(static_cast<std::uint64_t>(number)), bytes);
    }

    PutBackRequest request() const { return {dir / "level.ldb", dir / "edit", dir / "new.ldb"}; }

    // Nothing but the source and the edited images: no new level, no hidden file.
    void expectNothingLeft() const
    {
        EXPECT_EQ(entriesIn(dir), (std::vector<std::string>{"edit", "level.ldb"}));
        EXPECT_TRUE(readBytes(dir / "level.ldb") == readBytes(demoLdb()));
    }

    fs::path dir;
};

TEST_F(PutBackFolder, TheNewLevelIsTheSourceWithOnlyTheReplacedRangesChanged)
{
    const LevelBuilder level = generatedLevel();
    const std::string& source = level.bytes();
    writeBytes(dir / "level.ldb", source);
    // Every baseline image encoded again at a lower quality, where that makes it smaller.
    std::string expected = source;
    std::uint64_t replaced = 0;
    for (int number = 1; number <= 11; ++number) {
        const std::string original = demoImage(number);
        const std::size_t at = level.offset(static_cast<std::size_t>(number - 1));
        const std::string edited = reencoded(original, 25);
        if (imageInfo(original).jpeg.coding != JpegCoding::Baseline ||
            edited.size() > original.size()) {
            edit(number, original);
            continue;
        }
        edit(number, edited);
        expected.replace(at, original.size(),
                         edited + std::string(original.size() - edited.size(), '\0'));
        ++replaced;
    }
    ASSERT_GE(replaced, 6u);
    // All replacements held in memory from the comparing to the writing, none (each read and
    // encoded again when the copy reaches it), or some.
    for (const std::uint64_t held :
         {PutBackRequest{}.heldBytes, std::uint64_t{0}, std::uint64_t{3000}}) {
        SCOPED_TRACE("held " + std::to_string(held));
        fs::remove(dir / "new.ldb");
        // What a put-back killed outright left: the next one into the same name removes it.
        writeBytes(dir / ".new.ldb.part", std::string(3000, 'x'));
        PutBackRequest asked = request();
        asked.heldBytes = held;
        Recorder events;
        const PutBackOutcome outcome = features::putBack(asked, events);
        ASSERT_EQ(outcome.status, PutBackStatus::Written)
            << (outcome.error ? outcome.error->message : "");
        EXPECT_EQ(outcome.images, 11u);
        EXPECT_EQ(outcome.replaced.size(), replaced);
        EXPECT_EQ(outcome.unchanged, 11 - replaced);
        EXPECT_TRUE(outcome.refused.empty());
        EXPECT_TRUE(readBytes(dir / "new.ldb") == expected);
        EXPECT_TRUE(readBytes(dir / "level.ldb") == source);
        EXPECT_EQ(entriesIn(dir), (std::vector<std::string>{"edit", "level.ldb", "new.ldb"}));
        // Once written, no replacement's bytes are held any more; their lengths are known.
        for (const features::Replacement& image : outcome.replaced) {
            EXPECT_TRUE(image.bytes.empty()) << image.number;
            EXPECT_EQ(image.length, readBytes(image.file).size()) << image.number;
        }

        // The phases come in order, each one's progress never going back, the writing to the
        // end.
        int lastPhase = -1;
        Progress last;
        for (const auto& [phase, progress] : events.heard) {
            ASSERT_GE(static_cast<int>(phase), lastPhase);
            if (static_cast<int>(phase) == lastPhase) {
                EXPECT_GE(progress.percent, last.percent);
                EXPECT_GE(progress.bytesRead, last.bytesRead);
            }
            lastPhase = static_cast<int>(phase);
            last = progress;
        }
        EXPECT_TRUE(events.heardPhase(Phase::Reading));
        EXPECT_TRUE(events.heardPhase(Phase::Comparing));
        EXPECT_FALSE(events.heardPhase(Phase::Decoding));
        EXPECT_EQ(events.heard.back().first, Phase::Writing);
        EXPECT_EQ(events.heard.back().second.percent, 100);
        EXPECT_EQ(events.heard.back().second.bytesRead, source.size());
        EXPECT_EQ(events.heard.back().second.sourceSize, source.size());
    }
}

// What is written is what was compared: an edited image, or the source, that changes once the
// comparing is done fails the put-back, naming it, with nothing left behind.
TEST_F(PutBackFolder, AFileThatChangesAfterTheComparingFailsThePutBack)
{
    const LevelBuilder level = generatedLevel();
    writeBytes(dir / "level.ldb", level.bytes());
    // Image 7 lies past the first mebibyte, so the copy reaches it after its first block.
    // With a comment after its JFIF segment, so that an edit of the same length holding the same
    // bytes in another order can be made: one the checksum must tell apart too.
    const std::string plain = reencoded(demoImage(7), 40);
    const std::string smaller = plain.substr(0, 20) +
                                std::string("\xFF\xFE\x00\x04"
                                            "ab",
                                            6) +
                                plain.substr(20);
    std::string reordered = smaller;
    std::swap(reordered[24], reordered[25]);
    const std::string other = reencoded(demoImage(7), 41);
    struct Case
    {
        const char* what;
        fs::path file;    // changed once the comparing is done
        std::string with; // to these bytes
        std::uint64_t held;
        std::string message; // how the message begins; empty: written
    };
    const fs::path edited = dir / "edit" / imageName(7);
    const std::string changedEdit =
        "The edited image \"" + displayPath(edited) + "\" changed while the new level was written";
    const std::string changedSource = "\"" + displayPath(dir / "new.ldb") +
                                      "\" was not put in place: a check of what was written found "
                                      "that the source changed while it was read";
    const std::vector<Case> cases = {
        {"the edit, not held", edited, other, 0, changedEdit},
        {"the edit, held: what was compared is written", edited, other, PutBackRequest{}.heldBytes,
         ""},
        {"the edit, to the same bytes", edited, smaller, 0, ""},
        {"the edit, to its bytes in another order", edited, reordered, 0, changedEdit},
        {"the source", dir / "level.ldb", level.bytes(), 0, changedSource},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(dir / "new.ldb");
        edit(7, smaller);
        PutBackRequest asked = request();
        asked.heldBytes = c.held;
        Recorder events;
        bool changed = false;
        events.stop = [&](const Recorder& r) {
            if (!changed && r.heardPhase(Phase::Writing)) {
                changed = true;
                // Another time stamp, so that a change of the same length is seen too.
                writeBytes(c.file, c.with);
                fs::last_write_time(c.file, fs::last_write_time(c.file) + std::chrono::hours(1));
            }
            return false;
        };
        const PutBackOutcome outcome = features::putBack(asked, events);
        writeBytes(dir / "level.ldb", level.bytes());
        if (c.message.empty()) {
            EXPECT_EQ(outcome.status, PutBackStatus::Written);
            EXPECT_TRUE(fs::exists(dir / "new.ldb"));
            continue;
        }
        ASSERT_EQ(outcome.status, PutBackStatus::Failed);
        ASSERT_TRUE(outcome.error.has_value());
        EXPECT_EQ(outcome.error->message.rfind(c.message, 0), 0u) << outcome.error->message;
        EXPECT_EQ(entriesIn(dir), (std::vector<std::string>{"edit", "level.ldb"}));
    }
}

TEST_F(PutBackFolder, ADryRunOrARefusalWritesNothing)
{
    const std::string smaller = reencoded(demoImage(1), 60);
    struct Case
    {
        const char* what;
        bool dryRun;
        bool withTarget;
        std::string edited1;
        PutBackStatus status;
    };
    const Case cases[] = {
        {"a dry run", true, true, smaller, PutBackStatus::DryRun},
        {"a dry run without a new level", true, false, smaller, PutBackStatus::DryRun},
        {"a refusal", false, true, demoImage(2), PutBackStatus::Refused},
        {"a refusal in a dry run", true, true, demoImage(2), PutBackStatus::Refused},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        edit(1, c.edited1);
        PutBackRequest asked = request();
        asked.dryRun = c.dryRun;
        if (!c.withTarget)
            asked.into.clear();
        Recorder events;
        const PutBackOutcome outcome = features::putBack(asked, events);
        EXPECT_EQ(outcome.status, c.status);
        EXPECT_FALSE(outcome.error.has_value());
        EXPECT_EQ(outcome.images, 11u);
        EXPECT_EQ(outcome.replaced.size(), c.status == PutBackStatus::DryRun ? 1u : 0u);
        EXPECT_EQ(outcome.refused.size(), c.status == PutBackStatus::Refused ? 1u : 0u);
        EXPECT_FALSE(events.heardPhase(Phase::Writing));
        expectNothingLeft();
    }
}

// Asked to stop at any point, nothing at all is left behind (the command line's case of a stop
// during the write among them).
TEST_F(PutBackFolder, AStopAtAnyPointLeavesNothingBehind)
{
    edit(1, reencoded(demoImage(1), 60));
    struct Case
    {
        const char* what;
        std::function<bool(const Recorder&)> stop;
    };
    const auto inPhase = [](Phase phase) {
        return [phase](const Recorder& r) { return r.heardPhase(phase); };
    };
    const std::vector<Case> cases = {
        {"before anything", [](const Recorder&) { return true; }},
        {"while reading", inPhase(Phase::Reading)},
        {"while comparing", inPhase(Phase::Comparing)},
        {"during the write", inPhase(Phase::Writing)},
        {"after the last block",
         [](const Recorder& r) {
             return !r.heard.empty() && r.heard.back().first == Phase::Writing &&
                    r.heard.back().second.percent == 100;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Recorder events;
        events.stop = c.stop;
        const PutBackOutcome outcome = features::putBack(request(), events);
        EXPECT_EQ(outcome.status, PutBackStatus::Stopped);
        EXPECT_FALSE(outcome.error.has_value());
        expectNothingLeft();
    }
}

// The new level is refused before anything is read or written when it would land on the source
// (the command line's cases of the new level over the source, and a link to it).
// Every name the new level may take is checked before anything is read or written.
TEST_F(PutBackFolder, ANewLevelThatWouldReplaceTheSourceIsRefused)
{
    const std::string edited = reencoded(demoImage(1), 60);
    edit(1, edited);
    writeBytes(dir / "edit" / "Vorlesk_0003.JPG", "an edit saved in capitals");
    struct Case
    {
        const char* what;
        fs::path into; // empty: a link to the source at the usual name
        const char* says;
    };
    const std::string amongEdits = "that name belongs to the edited images in ";
    const Case cases[] = {
        {"new level over the source", dir / "level.ldb", "is the source file itself"},
        {"new level a link to the source", {}, "or leads to it"},
        {"new level over an edited image", dir / "edit" / imageName(1), amongEdits.c_str()},
        {"new level over a near name", dir / "edit" / "Vorlesk_0003.JPG", amongEdits.c_str()},
        {"new level at a name an edit could take", dir / "edit" / imageName(7), amongEdits.c_str()},
        {"new level at a name a PNG edit could take", dir / "edit" / "Vorlesk_0007.PNG",
         amongEdits.c_str()},
        {"new level at a hidden part name", dir / "edit" / ".Vorlesk_0001.jpg.part",
         amongEdits.c_str()},
        {"the same through another spelling of the folder", dir / "edit" / "." / imageName(1),
         amongEdits.c_str()},
#ifndef _WIN32
        {"new level at a device", "/dev/null", "a device, a pipe or a socket has that name"},
#endif
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PutBackRequest asked = request();
        if (c.into.empty()) {
#ifdef _WIN32
            continue; // links need rights that a Windows user mostly lacks
#else
            fs::create_symlink(dir / "level.ldb", dir / "new.ldb");
#endif
        } else {
            asked.into = c.into;
        }
        Recorder events;
        const PutBackOutcome outcome = features::putBack(asked, events);
        EXPECT_EQ(outcome.status, PutBackStatus::Failed);
        ASSERT_TRUE(outcome.error.has_value());
        EXPECT_NE(outcome.error->message.find(c.says), std::string::npos) << outcome.error->message;
        EXPECT_TRUE(events.heard.empty()) << "refused before anything was read";
        EXPECT_TRUE(readBytes(dir / "level.ldb") == readBytes(demoLdb()));
        EXPECT_TRUE(readBytes(dir / "edit" / imageName(1)) == edited);
        EXPECT_EQ(readBytes(dir / "edit" / "Vorlesk_0003.JPG"), "an edit saved in capitals");
        EXPECT_FALSE(fs::exists(dir / "edit" / imageName(7)));
        EXPECT_FALSE(fs::exists(dir / "edit" / ".Vorlesk_0001.jpg.part"));
        EXPECT_EQ(fs::is_symlink(dir / "new.ldb"), c.into.empty());
        fs::remove(dir / "new.ldb");
    }
#ifndef _WIN32
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
#endif
    // A new level with any other name in that folder is fine.
    fs::remove(dir / "edit" / "Vorlesk_0003.JPG");
    PutBackRequest beside = request();
    beside.into = dir / "edit" / "new.ldb";
    Recorder events;
    EXPECT_EQ(features::putBack(beside, events).status, PutBackStatus::Written);
}

TEST_F(PutBackFolder, ASourceThatCannotBeReadFails)
{
    fs::create_directories(dir / "folder.ldb");
    struct Case
    {
        const char* what;
        fs::path source;
        ErrorKind kind;
        const char* says;
    };
    writeBytes(dir / "empty.ldb", "");
    const Case cases[] = {
        {"missing", dir / "missing.ldb", ErrorKind::SourceOpen, "Cannot open the source file"},
        {"a folder", dir / "folder.ldb", ErrorKind::SourceOpen, ""},
        // The new level takes the source's size: none would give an empty level, also for a
        // file that holds more than it reports.
        {"of size 0", dir / "empty.ldb", ErrorKind::SourceOpen, "it reports a size of 0 bytes"},
#ifdef __linux__
        {"reporting size 0 but holding more", "/proc/self/cmdline", ErrorKind::SourceOpen,
         "it reports a size of 0 bytes"},
#endif
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PutBackRequest asked = request();
        asked.source = c.source;
        Recorder events;
        const PutBackOutcome outcome = features::putBack(asked, events);
        EXPECT_EQ(outcome.status, PutBackStatus::Failed);
        ASSERT_TRUE(outcome.error.has_value());
        EXPECT_EQ(outcome.error->kind, c.kind);
        EXPECT_EQ(outcome.error->file, c.source);
        EXPECT_NE(outcome.error->message.find(c.says), std::string::npos) << outcome.error->message;
        EXPECT_FALSE(fs::exists(dir / "new.ldb"));
    }
#ifndef _WIN32
    // A source that cannot be read by position, such as a pipe, cannot be put back into.
    ASSERT_EQ(::mkfifo((dir / "pipe.ldb").c_str(), 0600), 0);
    PutBackRequest asked = request();
    asked.source = dir / "pipe.ldb";
    Recorder events;
    const PutBackOutcome outcome = features::putBack(asked, events);
    EXPECT_EQ(outcome.status, PutBackStatus::Failed);
    ASSERT_TRUE(outcome.error.has_value());
    EXPECT_NE(outcome.error->message.find("Cannot put images back into"), std::string::npos)
        << outcome.error->message;
#endif
}

TEST_F(PutBackFolder, AFolderOfEditedImagesThatCannotBeReadFails)
{
    PutBackRequest asked = request();
    asked.folder = dir / "missing";
    Recorder events;
    const PutBackOutcome outcome = features::putBack(asked, events);
    EXPECT_EQ(outcome.status, PutBackStatus::Failed);
    ASSERT_TRUE(outcome.error.has_value());
    EXPECT_EQ(outcome.error->file, dir / "missing");
    expectNothingLeft();
}

// A source that becomes shorter while it is read fails the put-back and leaves nothing behind:
// while the edited images are compared with their originals, or while the new level is written.
TEST_F(PutBackFolder, ASourceThatShrinksMeanwhileFailsAndLeavesNothing)
{
    const LevelBuilder level = generatedLevel();
    struct Case
    {
        const char* what;
        Phase when;
        std::uint64_t keep; // bytes of the source left
        const char* says;
    };
    const Case cases[] = {
        {"while comparing", Phase::Reading, 1000, "Cannot read the source file"},
        {"while writing", Phase::Writing, std::uint64_t{3} << 19,
         "became shorter while it was read"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeBytes(dir / "level.ldb", level.bytes());
        edit(1, reencoded(demoImage(1), 60));
        Recorder events;
        bool shrunk = false;
        events.stop = [&](const Recorder& r) {
            if (!shrunk && !r.heard.empty() && r.heard.back().first == c.when &&
                (c.when == Phase::Writing || r.heard.back().second.percent == 100)) {
                fs::resize_file(dir / "level.ldb", c.keep);
                shrunk = true;
            }
            return false;
        };
        const PutBackOutcome outcome = features::putBack(request(), events);
        EXPECT_TRUE(shrunk);
        EXPECT_EQ(outcome.status, PutBackStatus::Failed);
        ASSERT_TRUE(outcome.error.has_value());
        EXPECT_EQ(outcome.error->kind, ErrorKind::SourceRead);
        EXPECT_EQ(outcome.error->file, dir / "level.ldb");
        EXPECT_NE(outcome.error->message.find(c.says), std::string::npos) << outcome.error->message;
        EXPECT_EQ(entriesIn(dir), (std::vector<std::string>{"edit", "level.ldb"}));
    }
}

} // namespace
} // namespace glintmark::featurestest
