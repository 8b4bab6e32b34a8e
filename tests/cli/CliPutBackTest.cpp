// Edited textures put back into a copy of a level: what is accepted, what is refused, and that
// nothing but the replaced images changes.
#include "CliTestSupport.h"
#include "JpegCheck.h"

#include "engine/io/PathText.h"
#include "engine/jpeg/JpegReader.h"
#include "features/putback/JpegEncode.h"
#include "features/putback/NewLevelCheck.h"
#include "features/putback/PutBack.h"
#include "support/Referees.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <map>
#include <random>
#include <sstream>

#include <jpeglib.h>

namespace glintmark::clitest {
namespace {

namespace fs = std::filesystem;
using glintmark::features::DecodedImage;
using glintmark::features::EncodeSettings;

std::string encodedAgain(const std::string& jpeg, int quality,
                         JpegCoding coding = JpegCoding::Baseline)
{
    DecodedImage pixels(reinterpret_cast<const unsigned char*>(jpeg.data()), jpeg.size());
    EncodeSettings settings;
    settings.quality = quality;
    settings.coding = coding;
    return pixels.encode(settings).value_or(std::string());
}

// A picture of seeded noise, which no quality setting makes small, encoded at quality 100.
std::string noiseJpeg(unsigned width, unsigned height)
{
    std::mt19937 random(7);
    std::vector<unsigned char> pixels(std::size_t{width} * height * 3);
    for (unsigned char& value : pixels)
        value = static_cast<unsigned char>(random());
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &out, &size);
    info.image_width = width;
    info.image_height = height;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 100, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < height) {
        JSAMPROW row = pixels.data() + std::size_t{info.next_scanline} * width * 3;
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::string bytes(reinterpret_cast<const char*>(out), size);
    std::free(out);
    return bytes;
}

JpegStructure structureOf(const std::string& jpeg)
{
    JpegReader reader;
    reader.feed(reinterpret_cast<const unsigned char*>(jpeg.data()), jpeg.size());
    return reader.structure();
}

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

std::uint64_t offsetOf(int number)
{
    return demoManifest()["images"][number - 1]["offset"];
}

std::uint64_t endOf(int number)
{
    return demoManifest()["images"][number - 1]["jpegSize"];
}

// Image `number` of the sample through its end marker.
std::string demoImage(int number)
{
    return readBytes(demoLdb()).substr(offsetOf(number), endOf(number));
}

// The sample with image 5 cut inside its data, as a torn download leaves it.
fs::path cutShortDemo(const fs::path& dir)
{
    std::string ldb = readBytes(demoLdb());
    ldb.erase(offsetOf(5) + endOf(5) - 30, offsetOf(6) - (offsetOf(5) + endOf(5) - 30));
    writeBytes(dir / "cut.ldb", ldb);
    return dir / "cut.ldb";
}

// Checks that `written` is `source` with `image` (offset, end) replaced by `expected` (or, when
// empty, by some image that decodes to the original's dimensions) and zero bytes behind it.
void expectReplaced(const std::string& source, const std::string& written, std::uint64_t offset,
                    std::uint64_t end, const std::string& expected)
{
    ASSERT_EQ(written.size(), source.size());
    EXPECT_TRUE(written.compare(0, offset, source, 0, offset) == 0);
    EXPECT_TRUE(written.compare(offset + end, std::string::npos, source, offset + end) == 0);
    const std::string range = written.substr(offset, end);
    const JpegStructure jpeg = structureOf(range);
    ASSERT_TRUE(jpeg.end.has_value());
    if (!expected.empty()) {
        EXPECT_EQ(range.substr(0, *jpeg.end), expected);
    }
    EXPECT_EQ(range.find_first_not_of('\0', *jpeg.end), std::string::npos);
    EXPECT_TRUE(decodeJpeg(range.substr(0, *jpeg.end)).decoded);
    EXPECT_EQ(structureOf(range).coding, structureOf(source.substr(offset, end)).coding);
}

TEST(CliPutBack, EachEditedTextureIsPutBackOrRefusedWithItsReason)
{
    const std::string original = demoImage(1);
    const std::string smaller = encodedAgain(original, 60);
    // Start of image, then a JFIF segment of version 1.01 without a thumbnail.
    const std::string jfif =
        signature() + std::string("\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00", 10);
    struct Case
    {
        const char* what;
        int number;                    // the edited file; 0 for none
        std::string file;              // what it holds
        std::vector<std::string> more; // further arguments
        std::string expected;          // what is put back; empty when encoded again
        const char* refusal;           // part of the reason, or null when it goes back
        const char* special = "";      // "cut-short" source, "stop", new level "at source", "link",
                                       // the edited image a link out of its folder ("image link"),
                                       // "dry run"
    };
    std::string sameLength = original;
    sameLength[15] = '\x7F'; // its horizontal pixel density
    const std::string tooLarge = paddedTo(smaller, original.size() + 1);
    const std::string progressive = encodedAgain(original, 60, JpegCoding::Progressive);
    const std::string exif = exifFirst(smaller);
    const std::vector<Case> cases = {
        {"smaller", 1, smaller, {}, smaller, nullptr},
        {"same length", 1, sameLength, {}, sameLength, nullptr},
        {"exactly its end",
         1,
         paddedTo(smaller, original.size()),
         {},
         paddedTo(smaller, original.size()),
         nullptr},
        {"one byte too many",
         1,
         tooLarge,
         {},
         "",
         "Vorlesk_0001.jpg is 1 byte larger than the 17,638 bytes image 1 holds; --fit would "
         "re-encode it"},
        {"one byte too many, fitted", 1, tooLarge, {"--fit"}, "", nullptr},
        {"too large even at the lowest quality",
         6,
         noiseJpeg(24, 12),
         {"--fit"},
         "",
         "Vorlesk_0006.jpg does not fit in the 392 bytes image 6 holds even at quality 30"},
        {"other dimensions",
         1,
         demoImage(2),
         {},
         "",
         "Vorlesk_0001.jpg is 8\u00d78, image 1 is 200\u00d7200"},
        {"progressive for baseline",
         1,
         progressive,
         {},
         "",
         "Vorlesk_0001.jpg is progressive, image 1 is baseline; --fit would re-encode it"},
        {"progressive for baseline, fitted", 1, progressive, {"--fit"}, "", nullptr},
        {"Exif first", 1, exif, {}, jfif + exif.substr(2), nullptr},
        {"not decoding", 1, strayRestart(original), {}, "", "Vorlesk_0001.jpg does not decode: "},
        {"cut-short original",
         5,
         demoImage(5),
         {},
         "",
         "differs from image 5, which has no end marker before the next texture (cut-short)",
         "cut-short"},
        {"a stop during the write", 1, smaller, {}, "", "", "stop"},
        {"new level over the source", 1, smaller, {}, "", "is the source file itself", "at source"},
        {"new level a link to the source", 1, smaller, {}, "", "or leads to it", "link"},
        {"edited image a link out of its folder",
         1,
         smaller,
         {},
         "",
         "Vorlesk_0001.jpg is not a regular file",
         "image link"},
        {"unchanged", 0, "", {}, "", nullptr},
        {"a dry run", 1, smaller, {"--list"}, "", nullptr, "dry run"},
        {"numbered beyond the level",
         12,
         smaller,
         {},
         "",
         "Vorlesk_0012.jpg is numbered beyond the 11 textures in"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path dir = freshTestFolder();
        const std::string special = c.special;
        fs::path level = demoLdb();
        if (special == "cut-short") {
            level = cutShortDemo(dir);
        } else if (special == "at source" || special == "link") {
            level = dir / "level.ldb";
            fs::copy_file(demoLdb(), level);
        }
        ASSERT_EQ(runWith({"-q", "-o", (dir / "edit").string(), level.string()}).code, 0);
        if (special == "image link") {
#ifdef _WIN32
            continue; // links need rights that a Windows user mostly lacks
#endif
            // Only the bytes in the folder go back, never a file a link there leads to.
            writeBytes(dir / "outside.jpg", c.file);
            fs::remove(dir / "edit" / imageName(c.number));
            fs::create_symlink(dir / "outside.jpg", dir / "edit" / imageName(c.number));
        } else if (c.number != 0) {
            writeBytes(dir / "edit" / imageName(c.number), c.file);
        }
        const fs::path into = special == "at source" ? level : dir / "new.ldb";
        if (special == "link") {
#ifdef _WIN32
            continue; // links need rights that a Windows user mostly lacks
#endif
            fs::create_symlink(level, into);
        }
        if (special == "stop") {
            // Asked to stop once the copy has begun: nothing at all is left behind.
            struct StopAtWriting : features::RunEvents
            {
                bool writing = false;
                void onProgress(features::Phase phase, const Progress&) override
                {
                    writing = writing || phase == features::Phase::Writing;
                }
                bool keepGoing() override { return !writing; }
            } events;
            const features::PutBackOutcome outcome =
                features::putBack({level, dir / "edit", dir / "new.ldb"}, events);
            EXPECT_EQ(outcome.status, features::PutBackStatus::Stopped);
            EXPECT_TRUE(events.writing);
            EXPECT_EQ(fileNames(dir), std::vector<std::string>{});
            EXPECT_EQ(hiddenIn(dir), std::vector<std::string>{});
            continue;
        }
        std::vector<std::string> args = {"--json", "--put-back", (dir / "edit").string(), "--into",
                                         into.string()};
        args.insert(args.end(), c.more.begin(), c.more.end());
        args.push_back(level.string());
        const CliRun run = runWith(args);
        const auto report = nlohmann::json::parse(run.out);
        EXPECT_EQ(hiddenIn(dir), std::vector<std::string>{});
        if (c.refusal) {
            // Refused before anything was written: the source and whatever sat at the new
            // level's name are as they were.
            EXPECT_EQ(run.code, 1);
            EXPECT_EQ(report["status"],
                      special.empty() || special == "cut-short" || special == "image link"
                          ? "refused"
                          : "failed");
            EXPECT_NE(run.err.find(c.refusal), std::string::npos) << run.err;
            EXPECT_EQ(fs::is_symlink(dir / "new.ldb"), special == "link");
            EXPECT_EQ(fs::exists(dir / "new.ldb"), special == "link");
            if (special == "at source" || special == "link") {
                EXPECT_TRUE(readBytes(level) == readBytes(demoLdb()));
            } else {
                EXPECT_NE(run.err.find("new.ldb was not written"), std::string::npos) << run.err;
            }
            continue;
        }
        ASSERT_EQ(run.code, 0) << run.err;
        if (special == "dry run") {
            // All of it but the writing: what would go back, and nothing written.
            EXPECT_EQ(report["status"], "dry-run");
            EXPECT_EQ(report["dry_run"], true);
            EXPECT_EQ(report["replaced"].size(), 1u);
            EXPECT_EQ(fileNames(dir), std::vector<std::string>{});
            continue;
        }
        const std::string source = readBytes(level);
        const std::string written = readBytes(dir / "new.ldb");
        if (c.number == 0) {
            EXPECT_EQ(written, source);
            EXPECT_EQ(report["unchanged"], 11);
            continue;
        }
        ASSERT_EQ(report["replaced"].size(), 1u);
        const auto& replaced = report["replaced"][0];
        EXPECT_EQ(replaced["slack"], endOf(1) - replaced["length"].get<std::uint64_t>());
        EXPECT_EQ(replaced["quality"].is_number(), c.expected.empty());
        expectReplaced(source, written, offsetOf(1), endOf(1), c.expected);
    }
}

// An image file not named as an image is, as an editor saves one, is refused with the name to
// give it; with --ignore-unmatched it is named as passed over (not with -q), and in the JSON
// report, and the put-back goes on.
TEST(CliPutBack, AnImageFileNamedAsNoImageIsToldEvenWhenPassedOver)
{
    const fs::path dir = freshTestFolder();
    ASSERT_EQ(runWith({"-q", "-o", (dir / "edit").string(), demoLdb().string()}).code, 0);
    const fs::path copy = dir / "edit" / "Vorlesk_0002 (copy).jpg";
    writeBytes(copy, encodedAgain(demoImage(2), 60));
    writeBytes(dir / "edit" / imageName(1), encodedAgain(demoImage(1), 60));
    const std::string told = displayPath(copy) +
                             " is named almost as image 2, whose own file Vorlesk_0002.jpg is the "
                             "one read; if this is the edit, rename it Vorlesk_0002.jpg in that "
                             "file's place";
    struct Case
    {
        const char* what;
        std::vector<std::string> more;
        int code;
        std::string err; // all of standard error
        bool written;
    };
    const std::string into = (dir / "new.ldb").string();
    const std::vector<Case> cases = {
        {"refused",
         {},
         1,
         "glintmark-cli: " + told + "\nglintmark-cli: " + into +
             " was not written: an edited texture cannot go back\n",
         false},
        {"passed over",
         {"--ignore-unmatched"},
         0,
         "glintmark-cli: " + told + " (passed over: --ignore-unmatched)\n",
         true},
        {"passed over, quietly", {"--ignore-unmatched", "-q"}, 0, "", true},
        {"passed over, in the JSON report", {"--ignore-unmatched", "--json"}, 0, "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(dir / "new.ldb");
        std::vector<std::string> args = {"--put-back", (dir / "edit").string(), "--into", into};
        args.insert(args.end(), c.more.begin(), c.more.end());
        args.push_back(demoLdb().string());
        const CliRun run = runWith(args);
        EXPECT_EQ(run.code, c.code);
        EXPECT_EQ(run.err, c.err);
        EXPECT_EQ(fs::exists(dir / "new.ldb"), c.written);
        // Quiet, nothing but errors: not the table, not the summary.
        if (!c.more.empty() && c.more.back() == "-q") {
            EXPECT_EQ(run.out, "");
        }
        if (c.more.size() == 2 && c.more[1] == "--json") {
            const auto report = nlohmann::json::parse(run.out);
            ASSERT_EQ(report["passed_over"].size(), 1u);
            EXPECT_EQ(report["passed_over"][0]["file"], displayPath(copy));
            EXPECT_EQ(report["passed_over"][0]["number"], 0);
            EXPECT_EQ(report["passed_over"][0]["reason"],
                      told.substr(displayPath(copy).size() + 1));
            EXPECT_EQ(report["refused"].size(), 0u);
            EXPECT_EQ(report["unchanged"], 10);
        }
    }
}

// A level that becomes shorter while it is read fails the put-back, and the failure names it.
TEST(CliPutBack, ALevelThatShrinksWhileItIsListedFailsNamingIt)
{
    struct ShrinkOnFirstBlock : features::RunEvents
    {
        fs::path level;
        bool shrunk = false;
        void onProgress(features::Phase phase, const Progress&) override
        {
            if (phase == features::Phase::Reading && !shrunk) {
                fs::resize_file(level, 100);
                shrunk = true;
            }
        }
    };
    const fs::path dir = freshTestFolder();
    LevelBuilder level(5);
    level.plainImage(1000).filler(std::size_t{200} << 10).plainImage(500);
    writeBytes(dir / "level.ldb", level.bytes());
    fs::create_directory(dir / "edit");
    ShrinkOnFirstBlock events;
    events.level = dir / "level.ldb";
    const features::PutBackOutcome outcome =
        features::putBack({dir / "level.ldb", dir / "edit", dir / "new.ldb"}, events);

    ASSERT_TRUE(events.shrunk);
    EXPECT_EQ(outcome.status, features::PutBackStatus::Failed);
    ASSERT_TRUE(outcome.error.has_value());
    EXPECT_EQ(outcome.error->kind, ErrorKind::SourceRead);
    EXPECT_EQ(outcome.error->file, dir / "level.ldb");
    EXPECT_NE(
        outcome.error->message.find("\"" + (dir / "level.ldb").string() + "\" became shorter"),
        std::string::npos)
        << outcome.error->message;
    EXPECT_FALSE(fs::exists(dir / "new.ldb"));
    EXPECT_EQ(hiddenIn(dir), std::vector<std::string>{});
}

// A level of a few block lengths: the sample's images among seeded bytes of the game's own, with
// images across the copy's block boundaries and near-signatures in between.
std::string generatedLevel()
{
    LevelBuilder level(11, {0xFF, 4093});
    level.filler(1000);
    for (int number = 1; number <= 11; ++number) {
        if (number == 1 || number == 7) // across the first and second mebibyte
            level.fillerUpTo((std::size_t{1} << 20) * (number == 1 ? 1 : 2) - 900);
        level.image(demoImage(number)).filler(300);
    }
    return level.bytes();
}

TEST(CliPutBack, TheNewLevelIsTheSourceWithOnlyTheReplacedRangesChanged)
{
    const fs::path dir = freshTestFolder();
    const std::string source = generatedLevel();
    writeBytes(dir / "level.ldb", source);
    ASSERT_EQ(runWith({"-q", "-o", (dir / "edit").string(), (dir / "level.ldb").string()}).code, 0);

    // Every baseline image encoded again at a lower quality, where that makes it smaller.
    std::string expected = source;
    std::vector<features::Replacement> replaced;
    std::uint64_t at = 0;
    for (int number = 1; number <= 11; ++number) {
        const std::string original = demoImage(number);
        at = source.find(original, at);
        const std::string edited = encodedAgain(original, 25);
        if (structureOf(original).coding != JpegCoding::Baseline || edited.size() > original.size())
            continue;
        writeBytes(dir / "edit" / imageName(number), edited);
        expected.replace(at, original.size(),
                         edited + std::string(original.size() - edited.size(), '\0'));
        replaced.push_back({static_cast<std::uint64_t>(number),
                            {},
                            at,
                            original.size(),
                            edited,
                            {},
                            false,
                            edited.size()});
    }
    ASSERT_GE(replaced.size(), 6u);
    const CliRun run = runWith({"--put-back", (dir / "edit").string(), "--into",
                                (dir / "new.ldb").string(), (dir / "level.ldb").string()});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_TRUE(readBytes(dir / "new.ldb") == expected);

    // The check before the new level is put in place finds each kind of fault, wherever the
    // blocks it is given happen to end.
    struct Fault
    {
        const char* what;
        std::size_t at;
        std::string bytes;
    };
    const std::vector<Fault> faults = {
        {"changed outside", 500, "x"},
        {"a signature at byte 700", 700, signature()},
        {"zero bytes", replaced[0].offset + replaced[0].bytes.size() + 3, "z"},
        {"", 0, ""},
    };
    std::vector<std::uint64_t> signatures;
    for (std::size_t hit = source.find(kSignature); hit != std::string::npos;
         hit = source.find(kSignature, hit + 1))
        signatures.push_back(hit);
    for (const Fault& fault : faults) {
        SCOPED_TRACE(fault.what);
        std::string written = expected;
        written.replace(fault.at, fault.bytes.size(), fault.bytes);
        features::NewLevelCheck check(source.size(), signatures.size(), replaced);
        for (std::size_t from = 0; from < written.size(); from += 4099) {
            const std::size_t count = std::min<std::size_t>(4099, written.size() - from);
            check.feed(source.data() + from, written.data() + from, count);
        }
        const std::optional<std::string> problem = check.finish();
        if (fault.bytes.empty()) {
            EXPECT_EQ(problem, std::nullopt);
        } else {
            EXPECT_NE(problem.value_or("").find(fault.what), std::string::npos)
                << problem.value_or("no problem found");
        }
    }
}

// A game folder: each level takes the edits in its own folder of the extraction, and with
// --everywhere every level takes an edit wherever its original stands; what is written, said and
// refused, and the exit code.
TEST(CliPutBack, AGameFolderTakesItsEditsIntoTheLevelsThatHoldTheirOriginals)
{
    const fs::path dir = freshTestFolder();
    const std::string shared = demoImage(1);
    const std::string edited = encodedAgain(shared, 60);
    const std::string other = encodedAgain(shared, 40);
    ASSERT_LT(edited.size(), shared.size());
    // Level, its textures; each extracted into out/<level without .ldb>.
    const std::vector<std::pair<std::string, std::vector<std::string>>> game = {
        {"a.ldb", {shared, demoImage(2)}},
        {"maps/castle.ldb", {demoImage(3), shared}},
        {"maps/plain.ldb", {demoImage(2)}},
    };
    std::map<std::string, LevelBuilder> levels;
    for (const auto& [relative, textures] : game) {
        LevelBuilder level(static_cast<std::uint32_t>(relative.size()));
        level.filler(300);
        for (const std::string& texture : textures)
            level.image(texture).filler(100);
        fs::create_directories((dir / "game" / relative).parent_path());
        writeBytes(dir / "game" / relative, level.bytes());
        fs::path folder = dir / "out" / relative;
        folder.replace_extension();
        fs::create_directories(folder);
        for (std::size_t i = 0; i < level.imageCount(); ++i)
            writeBytes(folder / imageName(i + 1), level.expectedFile(i));
        levels.emplace(relative, level);
    }
    writeBytes(dir / "out" / "a" / imageName(1), edited);
    const std::string editPath = (dir / "out" / "a" / imageName(1)).string();
    const std::string castleEdit = (dir / "out" / "maps" / "castle" / imageName(2)).string();

    struct Case
    {
        const char* what;
        std::vector<std::string> args;
        int code;
        std::vector<std::string> written; // the new levels, by relative path
        std::vector<std::string> said;    // on standard output, or (exit code 1) its errors
        bool conflict = false;            // castle's copy of the texture edited otherwise
        bool orphan = false;              // images in a folder of no level (one renamed since)
        bool foreign = false;             // a folder of the user's stands at the new levels' place
    };
    const std::string into = (dir / "new").string();
    const std::string gameDir = (dir / "game").string();
    const std::string out = (dir / "out").string();
    const std::string orphan = (dir / "out" / "gone").string();
    const std::vector<Case> cases = {
        {"everywhere",
         {"--put-back", out, "--everywhere", "--into", into, gameDir},
         0,
         {"a.ldb", "maps/castle.ldb"},
         {editPath + " -> a.ldb image 1; maps/castle.ldb image 2\n",
          "1 edited texture went into 2 levels under " + into + "; 1 level unchanged"}},
        {"its own level only, the unchanged ones named",
         {"--put-back", out, "--into", into, "-v", gameDir},
         0,
         {"a.ldb"},
         {editPath + " -> a.ldb image 1\n", "unchanged: maps/castle.ldb\n",
          "unchanged: maps/plain.ldb\n"}},
        {"dry run",
         {"--put-back", out, "--everywhere", "--list", gameDir},
         0,
         {},
         {"maps/castle.ldb image 2", "would go into 2 levels", "(dry run: nothing written)"}},
        {"json",
         {"--put-back", out, "--everywhere", "--json", "--into", into, gameDir},
         0,
         {"a.ldb", "maps/castle.ldb"},
         {}},
        {"two edits of one texture",
         {"--put-back", out, "--everywhere", "--into", into, gameDir},
         1,
         {},
         {castleEdit + " is another edit of the texture that " + editPath + " edits",
          "no level was written under " + into},
         true},
        {"everywhere into one level",
         {"--put-back", out + "/a", "--everywhere", "--into", into + ".ldb", gameDir + "/a.ldb"},
         2,
         {},
         {"--everywhere puts textures back into a game folder"}},
        {"a folder of no level",
         {"--put-back", out, "--into", into, gameDir},
         1,
         {},
         {orphan + " holds 1 image file, but it is the folder of no level in " + gameDir +
              " (no gone.ldb there)",
          "no level was written under " + into},
         false,
         true},
        {"a folder of no level, passed over",
         {"--put-back", out, "--ignore-unmatched", "--into", into, gameDir},
         0,
         {"a.ldb"},
         {"1 edited texture went into 1 level"},
         false,
         true},
        {"the new levels' place taken by a folder of the user's",
         {"--put-back", out, "--everywhere", "--into", into, gameDir},
         1,
         {},
         {"The new levels would replace the folder \"" + into + "\", which no put-back made",
          "choose a new folder, or move that one away first"},
         false,
         false,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(dir / "new");
        fs::remove_all(dir / "out" / "gone");
        if (c.orphan) {
            fs::create_directories(dir / "out" / "gone");
            writeBytes(dir / "out" / "gone" / imageName(1), edited);
        }
        writeBytes(castleEdit, c.conflict ? other : levels.at("maps/castle.ldb").expectedFile(1));
        if (c.foreign) {
            fs::create_directories(dir / "new");
            writeBytes(dir / "new" / "mine.txt", "mine");
        }
        const CliRun run = runWith(c.args);
        EXPECT_EQ(hiddenIn(dir), std::vector<std::string>{});
        if (c.foreign) {
            EXPECT_EQ(readBytes(dir / "new" / "mine.txt"), "mine");
        }
        EXPECT_EQ(run.code, c.code) << run.err;
        std::vector<std::string> written;
        for (const auto& [relative, level] : levels) {
            if (fs::exists(dir / "new" / relative))
                written.push_back(relative);
        }
        EXPECT_EQ(written, c.written);
        for (const fs::path& folder : {dir / "new", dir / "new" / "maps"}) {
            if (fs::exists(folder)) {
                // The record of the put-back that made the folder aside.
                std::vector<std::string> hidden = hiddenIn(folder);
                std::erase(hidden, ".glintmark-put-back.json");
                EXPECT_EQ(hidden, std::vector<std::string>{});
            }
        }
        for (const std::string& relative : written) {
            std::string expected = levels.at(relative).bytes();
            for (std::size_t i = 0; i < levels.at(relative).imageCount(); ++i) {
                if (levels.at(relative).image(i) == shared)
                    expected.replace(levels.at(relative).offset(i), shared.size(),
                                     edited + std::string(shared.size() - edited.size(), '\0'));
            }
            EXPECT_TRUE(readBytes(dir / "new" / relative) == expected) << relative;
        }
        for (const std::string& line : c.said)
            EXPECT_NE((c.code == 0 ? run.out : run.err).find(line), std::string::npos)
                << line << "\nout:\n"
                << run.out << "err:\n"
                << run.err;
        // Passed over, the folder is still named.
        EXPECT_EQ(run.err.find(orphan + " holds 1 image file") != std::string::npos, c.orphan)
            << run.err;
        EXPECT_EQ(run.err.find("(passed over: --ignore-unmatched)") != std::string::npos,
                  c.orphan && c.code == 0)
            << run.err;
        if (c.args[3] == "--json") {
            const nlohmann::json report = nlohmann::json::parse(run.out);
            EXPECT_EQ(report["status"], "written");
            EXPECT_EQ(report["edits"][0]["file"], editPath);
            EXPECT_EQ(report["edits"][0]["places"],
                      nlohmann::json::parse(R"([{"level": "a.ldb", "numbers": [1]},
                                                {"level": "maps/castle.ldb", "numbers": [2]}])"));
            EXPECT_EQ(report["unchanged_levels"], nlohmann::json::parse(R"(["maps/plain.ldb"])"));
            EXPECT_EQ(report["levels"].size(), 2u);
            EXPECT_EQ(report["passed_over"], nlohmann::json::array());
        }
    }
}

// The report says how the edits were tied to their textures: what changed in the level since the
// extraction, an edit whose texture is gone (a failure unless passed over), edits that went by
// number for want of an index, and an index that cannot be read.
TEST(CliPutBack, TheReportSaysWhatChangedSinceTheExtraction)
{
    const fs::path dir = freshTestFolder();
    const std::string demo = readBytes(demoLdb());
    writeBytes(dir / "level.ldb", demo);
    ASSERT_EQ(runWith({"-q", "-o", (dir / "edit").string(), (dir / "level.ldb").string()}).code, 0);
    ASSERT_TRUE(fs::exists(dir / "edit" / "textures.json"));
    const std::string index = readBytes(dir / "edit" / "textures.json");
    writeBytes(dir / "edit" / imageName(1), encodedAgain(demoImage(1), 60));
    std::string removed = demo;
    removed.replace(offsetOf(1), 4, "gone");
    const std::string edit = displayPath(dir / "edit" / imageName(1));
    struct Case
    {
        const char* what;
        std::string level;
        std::string index; // empty: none
        std::vector<std::string> more;
        int code;
        std::string out; // a line of standard output
        std::string err; // a line of standard error
    };
    const std::string level = (dir / "level.ldb").string();
    const std::vector<Case> cases = {
        {"a texture inserted in front",
         noiseJpeg(16, 16) + demo,
         index,
         {},
         0,
         level + " changed since it was extracted: 11 textures moved, 0 gone, 1 new\n",
         ""},
        {"the edited texture removed",
         removed,
         index,
         {},
         1,
         "",
         "glintmark-cli: " + edit + " was cut from image 1, and its texture is no longer in " +
             level + "\n"},
        {"the edited texture removed, passed over",
         removed,
         index,
         {"--ignore-unmatched"},
         0,
         level + " changed since it was extracted: 10 textures moved, 1 gone, 0 new\n",
         "(passed over: --ignore-unmatched)\n"},
        {"no index",
         demo,
         "",
         {},
         0,
         "the edits for " + level + " went by number (there is no textures.json beside them), " +
             "so a change of it since the extraction cannot be seen\n",
         ""},
        {"an index of an unknown version",
         demo,
         R"({"version": 9})",
         {},
         1,
         "",
         "is of version 9, newer than this program reads (3)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(dir / "new.ldb");
        writeBytes(dir / "level.ldb", c.level);
        fs::remove(dir / "edit" / "textures.json");
        if (!c.index.empty())
            writeBytes(dir / "edit" / "textures.json", c.index);
        std::vector<std::string> args = {"--put-back", (dir / "edit").string(), "--into",
                                         (dir / "new.ldb").string()};
        args.insert(args.end(), c.more.begin(), c.more.end());
        args.push_back(level);
        const CliRun run = runWith(args);
        EXPECT_EQ(run.code, c.code) << run.err;
        EXPECT_NE(run.out.find(c.out), std::string::npos) << run.out;
        EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
        EXPECT_EQ(fs::exists(dir / "new.ldb"), c.code == 0);
        // The JSON report carries the same.
        args.insert(args.begin(), "--json");
        const CliRun json = runWith(args);
        EXPECT_EQ(json.code, c.code);
        if (c.code == 0) {
            const auto since = nlohmann::json::parse(json.out)["since_extraction"];
            EXPECT_EQ(since["by_texture"], !c.index.empty());
            EXPECT_EQ(since["by_number"].is_string(), c.index.empty());
            EXPECT_EQ(since["changed"], c.level != demo);
        }
    }
}

} // namespace
} // namespace glintmark::clitest

namespace glintmark::clitest {
namespace {

// An edit saved as PNG goes back encoded again; the report's table and the JSON report give the
// quality it was encoded at, and the PNG as the file put back.
TEST(CliPutBack, APngEditIsReportedWithTheQualityItWasEncodedAt)
{
    if (!testsupport::imageToolsHere())
        GTEST_SKIP() << "needs ImageMagick's convert and djpeg, its referees";
    const fs::path dir = freshTestFolder();
    ASSERT_EQ(runWith({"-q", "-o", (dir / "edit").string(), demoLdb().string()}).code, 0);
    const fs::path png = dir / "edit" / "Vorlesk_0003.png";
    ASSERT_TRUE(testsupport::runTool(
        "djpeg -pnm " + testsupport::shellQuoted(dir / "edit" / "Vorlesk_0003.jpg") +
        " | convert - -negate PNG24:" + testsupport::shellQuoted(png)));
    const std::vector<std::string> putBack = {"--put-back", (dir / "edit").string(), "--into",
                                              (dir / "new.ldb").string()};
    struct Case
    {
        const char* what;
        std::vector<std::string> more;
        int code;
    };
    const Case cases[] = {
        {"a dry run, as JSON", {"--json", "--list"}, 0},
        {"a dry run", {"--list"}, 0},
        {"written, as JSON", {"--json"}, 0},
    };
    int quality = 0;
    std::uint64_t length = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> args = putBack;
        args.insert(args.end(), c.more.begin(), c.more.end());
        args.push_back(demoLdb().string());
        const CliRun run = runWith(args);
        ASSERT_EQ(run.code, c.code) << run.err;
        if (c.more.front() != "--json") {
            // image, original, edited, spare, quality, file: the table's row of the PNG.
            const std::vector<std::string> row = {
                std::to_string(3),       std::to_string(endOf(3)),
                std::to_string(length),  std::to_string(endOf(3) - length),
                std::to_string(quality), "Vorlesk_0003.png"};
            std::vector<std::vector<std::string>> rows;
            std::istringstream lines(run.out);
            for (std::string line; std::getline(lines, line);) {
                std::istringstream words(line);
                rows.emplace_back(std::istream_iterator<std::string>(words),
                                  std::istream_iterator<std::string>());
            }
            EXPECT_NE(std::find(rows.begin(), rows.end(), row), rows.end()) << run.out;
            // The unchanged JPEG beside the PNG is not counted as an unchanged image.
            EXPECT_NE(run.out.find("1 texture would be put back from "), std::string::npos);
            EXPECT_NE(run.out.find("; 10 unchanged, of 11 textures"), std::string::npos);
            continue;
        }
        const auto report = nlohmann::json::parse(run.out);
        ASSERT_EQ(report["replaced"].size(), 1u);
        const auto& replaced = report["replaced"][0];
        EXPECT_EQ(replaced["file"], displayPath(png));
        EXPECT_EQ(replaced["number"], 3);
        ASSERT_TRUE(replaced["quality"].is_number());
        quality = replaced["quality"];
        length = replaced["length"];
        EXPECT_GE(quality, 30);
        EXPECT_LE(quality, 95);
        EXPECT_EQ(report["refused"].size(), 0u);
        EXPECT_EQ(report["unchanged"], 10);
        if (c.more.size() == 1) {
            EXPECT_EQ(report["status"], "written");
            const JpegCheck check =
                decodeJpeg(readBytes(dir / "new.ldb").substr(offsetOf(3), length));
            EXPECT_TRUE(check.decoded) << check.problem;
            EXPECT_EQ(check.width, 160u);
        }
    }
}

} // namespace
} // namespace glintmark::clitest
