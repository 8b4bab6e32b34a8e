#include "CliTestSupport.h"

#include "features/check/DecodePool.h"
#include "features/check/ImageBytesStore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace glintmark::clitest {
namespace {

namespace fs = std::filesystem;

// Sets (or, given null, removes) a variable of this process's environment.
void setEnvironment(const char* name, const char* value)
{
#ifdef _WIN32
    _putenv_s(name, value ? value : "");
#else
    if (value)
        ::setenv(name, value, 1);
    else
        ::unsetenv(name);
#endif
}

// The sample with four images spoiled in different ways: three flipped bits in the data of
// image 1 (a bad Huffman code, which a decoder fed the whole image at once mends without a
// word), a stray restart marker inside the data of image 3 (its structure holds, the decoder
// objects), image 5 cut inside its data, and a segment length in image 7 that runs into its
// tables.
fs::path spoiledDemo(const fs::path& dir)
{
    const auto images = demoManifest()["images"];
    std::string ldb = readBytes(demoLdb());
    auto at = [&](int number) { return images[number - 1]["offset"].get<std::size_t>(); };
    auto end = [&](int number) { return at(number) + images[number - 1]["jpegSize"].get<int>(); };

    const std::size_t scan3 = ldb.find("\xFF\xDA", at(3));
    std::size_t stray = (scan3 + end(3)) / 2;
    while (ldb[stray - 1] == '\xFF' || ldb[stray] == '\xFF' || ldb[stray + 1] == '\xFF')
        ++stray;
    ldb.replace(stray, 2, "\xFF\xD3");
    for (const auto& [at1, bit] : {std::pair{9112, 0x40}, {10898, 0x10}, {14670, 0x02}})
        ldb[at(1) + at1] = static_cast<char>(ldb[at(1) + at1] ^ bit);
    ldb[ldb.find("\xFF\xDB", at(7)) + 3] = '\x30';
    ldb.erase(end(5) - 30, at(6) - (end(5) - 30));

    const fs::path file = dir / "spoiled.ldb";
    writeBytes(file, ldb);
    return file;
}

TEST(CliFindings, TrimAndCheckReportEachImageAndKeepDamageAFinding)
{
    const fs::path dir = freshTestFolder();
    const fs::path source = spoiledDemo(dir);
    const CliRun run =
        runWith({"--json", "--trim", "--check", "-o", (dir / "out").string(), source.string()});
    ASSERT_EQ(run.code, 0) << run.err;
    const auto images = nlohmann::json::parse(run.out)["sources"][0]["images"];
    ASSERT_EQ(images.size(), 11u);

    struct Expected
    {
        int number;
        const char* status;
        const char* problem;
        bool decodes;
    };
    const std::vector<Expected> spoiled = {
        {1, "trailing", nullptr, false},
        {3, "trailing", nullptr, false},
        {5, "cut-short", "cut-in-scan", false},
        {7, "damaged", "bad-length", false},
    };
    for (const auto& image : images) {
        const int number = image["number"];
        SCOPED_TRACE(number);
        Expected expected{number, "trailing", nullptr, true};
        for (const Expected& e : spoiled)
            expected = e.number == number ? e : expected;
        EXPECT_EQ(image["status"], expected.status);
        EXPECT_EQ(image["decodes"], expected.decodes);
        EXPECT_EQ(image["decode_error"].is_string(), !expected.decodes) << image["decode_error"];
        if (expected.problem) {
            EXPECT_EQ(image["problem"]["kind"], expected.problem);
        } else {
            EXPECT_TRUE(image["problem"].is_null()) << image["problem"];
        }
        const std::uint64_t kept = image["end"].is_null() ? image["size"] : image["end"];
        EXPECT_EQ(image["written"], kept);
        EXPECT_EQ(fs::file_size(dir / "out" / image["name"].get<std::string>()), kept);
    }
    EXPECT_EQ(images[6]["problem"]["at"], 20) << "where image 7's bad length stands";

    const CliRun listed = runWith({"--list", "--check", source.string()});
    EXPECT_EQ(listed.code, 0);
    EXPECT_NE(listed.out.find("cut short: cut inside the image data at byte"), std::string::npos);
    EXPECT_NE(listed.out.find("damaged: bad segment length at byte"), std::string::npos);
    EXPECT_NE(
        listed.out.find("  no       damaged: bad segment length at byte 20; the decoder says: "),
        std::string::npos)
        << listed.out;
    EXPECT_NE(
        listed.out.find("11 textures found in " + source.string() + "; 7 decode, 4 do not decode"),
        std::string::npos)
        << listed.out;
}

// Tiny images whose frame headers claim far more than their data holds: each is refused before
// its decoding starts, saying which limit and by how much, and the rest of the run goes on.
TEST(CliFindings, ImagesOverTheDecodingLimitsGetNoVerdictButTheReason)
{
    struct Hostile
    {
        const char* what;
        int number; // the sample image patched
        unsigned width, height;
        const char* memoryMib; // GLINTMARK_CHECK_MEMORY_MIB for the run, or none
        std::optional<bool> decodes;
        const char* says;
    };
    const Hostile cases[] = {
        {"baseline, huge", 2, 24000, 24000, nullptr, std::nullopt,
         "it claims 24000x24000 pixels of 3 components, 1728000000 bytes decoded, 1459564544 "
         "over the image limit of 268435456 bytes (GLINTMARK_CHECK_IMAGE_MIB, at least 1648"},
        {"progressive, largest", 4, 65500, 65500, nullptr, std::nullopt,
         "12870750000 bytes decoded, 12602314544 over the image limit"},
        {"progressive, its coefficients over the memory limit", 4, 4000, 4000, "16", std::nullopt,
         "its scans need 48000000 bytes of coefficients held at once, 31222784 over the "
         "memory limit of 16777216 bytes (GLINTMARK_CHECK_MEMORY_MIB, at least 46 to decode it)"},
        {"baseline, its rows over the memory limit", 2, 60000, 8, "1", std::nullopt,
         "over the memory limit of 1048576 bytes"},
        {"baseline, within the limits: decoded, and damaged", 2, 1000, 1000, nullptr, false,
         "Corrupt JPEG data"},
    };
    const fs::path dir = freshTestFolder();
    for (const Hostile& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path source = dir / "hostile.ldb";
        writeBytes(source, claimingImage(c.number, c.width, c.height) + std::string(64, '\0'));
        if (c.memoryMib)
            setEnvironment("GLINTMARK_CHECK_MEMORY_MIB", c.memoryMib);
        const CliRun run = runWith({"--json", "--list", "--check", source.string()});
        const CliRun table = runWith({"--list", "--check", source.string()});
        setEnvironment("GLINTMARK_CHECK_MEMORY_MIB", nullptr);
        ASSERT_EQ(run.code, 0) << run.err;
        const auto image = nlohmann::json::parse(run.out)["sources"][0]["images"][0];
        EXPECT_EQ(image["decodes"], c.decodes ? nlohmann::json(*c.decodes) : nullptr);
        EXPECT_NE(image["decode_error"].get<std::string>().find(c.says), std::string::npos)
            << image["decode_error"];
        EXPECT_NE(table.out.find(c.decodes ? "; 0 decode, 1 does not decode\n"
                                           : "; 0 decode, 0 do not decode, 1 not checked\n"),
                  std::string::npos)
            << table.out;
    }
}

// --check decodes the bytes the run read, from a source that can be read only once as well.
TEST(CliFindings, CheckDecodesTheBytesTheRunReadFromAnySource)
{
    const fs::path dir = freshTestFolder();
    const fs::path file = spoiledDemo(dir);
    const std::string bytes = readBytes(file);
    const CliRun expected = runWith({"--json", "--list", "--check", file.string()});
    ASSERT_EQ(expected.code, 0) << expected.err;
    auto verdicts = [](const std::string& json) {
        std::vector<nlohmann::json> found;
        const nlohmann::json report = nlohmann::json::parse(json);
        for (const auto& image : report["sources"][0]["images"])
            found.push_back({image["decodes"], image["decode_error"]});
        return found;
    };
    ASSERT_EQ(verdicts(expected.out).size(), 11u);

#ifndef _WIN32
    const fs::path fifo = dir / "level.ldb";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::pair<const char*, fs::path> sources[] = {
        {"named pipe", fifo}, {"standard input", "/dev/stdin"}, {"- for standard input", "-"}};
    for (const auto& [what, source] : sources) {
        for (const bool list : {true, false}) {
            SCOPED_TRACE(std::string(what) + (list ? ", --list" : ", written"));
            int ends[2] = {-1, -1};
            ASSERT_EQ(::pipe(ends), 0);
            const int savedInput = ::dup(0);
            ::dup2(ends[0], 0);
            ::close(ends[0]);
            std::thread feeder([&, writeEnd = ends[1]] {
                const int fd = source == fifo ? ::open(fifo.c_str(), O_WRONLY) : writeEnd;
                for (std::size_t done = 0; done < bytes.size();) {
                    const ssize_t put = ::write(fd, bytes.data() + done, bytes.size() - done);
                    if (put <= 0)
                        break;
                    done += static_cast<std::size_t>(put);
                }
                if (fd != writeEnd)
                    ::close(fd);
                ::close(writeEnd);
            });
            const std::vector<std::string> args =
                list ? std::vector<std::string>{"--list", "--json", "--check", source.string()}
                     : std::vector<std::string>{"-o", (dir / "out").string(), "--json", "--check",
                                                source.string()};
            // Each source into a folder of its own: another source's index there refuses it.
            fs::remove_all(dir / "out");
            const CliRun run = runWith(args);
            feeder.join();
            ::dup2(savedInput, 0);
            ::close(savedInput);
            EXPECT_EQ(run.code, 0) << run.err;
            EXPECT_EQ(verdicts(run.out), verdicts(expected.out));
        }
    }
#endif
}

// A failure to read the images back is the source's failure, never a verdict on an image.
TEST(CliFindings, ImagesThatCannotBeReadBackFailTheSource)
{
    const fs::path dir = freshTestFolder();
    const fs::path source = dir / "level.ldb";
    writeBytes(source, readBytes(demoLdb()));
    struct Case
    {
        const char* what;
        FileType type;         // what the source is taken for
        const char* temporary; // the temporary folder, when changed
        std::string says;
    };
    const Case cases[] = {
        {"a source shorter than its images", FileType::Regular, nullptr,
         "Cannot read the images back from \"" + source.string() +
             "\" to decode them: it ended before the last image did"},
        {"no temporary folder for the copy", FileType::Other, "/nonexistent-folder",
         "Cannot keep the images of \"" + source.string() + "\" in a temporary file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::error_code ec;
        const RawFile file = RawFile::openForReading(source, ec);
        FileIdentity identity = file.identity(ec);
        ASSERT_FALSE(ec) << ec.message();
        identity.type = c.type;
        // The temporary folder is TMPDIR on POSIX systems, TMP (then TEMP) on Windows.
        const char* const temporaryVariables[] = {"TMPDIR", "TMP", "TEMP"};
        std::vector<std::optional<std::string>> saved;
        for (const char* variable : temporaryVariables) {
            const char* value = std::getenv(variable);
            saved.push_back(value ? std::optional<std::string>(value) : std::nullopt);
            if (c.temporary)
                setEnvironment(variable, c.temporary);
        }
        features::ImageBytesStore kept;
        kept.sourceOpened(file, identity);
        for (std::size_t i = 0; i < saved.size(); ++i)
            setEnvironment(temporaryVariables[i], saved[i] ? saved[i]->c_str() : nullptr);
        std::vector<features::CheckedImage> images(1);
        images[0].offset = identity.size - 100;
        images[0].size = 1000;
        const features::DecodeOutcome outcome =
            features::decodeImages(kept, source, images, 2, {}, {});
        ASSERT_TRUE(outcome.error.has_value());
        EXPECT_EQ(outcome.error->message.rfind(c.says, 0), 0u) << outcome.error->message;
        EXPECT_FALSE(images[0].decodes.has_value());
    }
}

} // namespace
} // namespace glintmark::clitest
