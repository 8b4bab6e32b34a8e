#include "features/game/Sha256.h"
#include "features/game/Sha256Blocks.h"

#include "tests/support/Referees.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>

#include <string>

namespace glintmark::features {
namespace {

std::string hashOf(const std::string& text, std::size_t piece, bool portable = false)
{
    Sha256 hash(portable);
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    for (std::size_t at = 0; at < text.size(); at += piece)
        hash.add(bytes + at, std::min(piece, text.size() - at));
    return digestHex(hash.finish());
}

// Digests as sha256sum (and FIPS 180-4's examples) give them; the lengths around 55, 56 and 64
// bytes are where the padding takes one block or two.
TEST(Sha256, GivesTheStandardDigestWhateverPiecesTheBytesComeIn)
{
    const struct
    {
        std::string text;
        const char* digest;
    } rows[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
        {std::string(56, 'a'), "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a"},
        {std::string(63, 'a'), "7d3e74a05d7db15bce4ad9ec0658ea98e3f06eeecf16b4c6fff2da457ddc2f34"},
        {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
        {std::string(119, 'a'), "31eba51c313a5c08226adf18d4a359cfdfd8d2e816b13f4af952f7ea6584dcfb"},
        {std::string(120, 'a'), "2f3d335432c70b580af0e8e1b3674a7c020d683aa5f73aaaedfdc55af904c21c"},
        {std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& row : rows) {
        for (const std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{64},
                                        std::size_t{65}, std::size_t{4096}}) {
            for (const bool portable : {false, true}) {
                SCOPED_TRACE(std::to_string(row.text.size()) + " bytes in pieces of " +
                             std::to_string(piece) + (portable ? ", portable" : ""));
                EXPECT_EQ(hashOf(row.text, piece, portable), row.digest);
            }
        }
    }
}

// Bytes of every value in every position of a block, many blocks at a time, as sha256sum hashes
// them: whichever code compresses (the processor's SHA instructions where it has them).
TEST(Sha256, AgreesWithSha256sumOnEveryByteValue)
{
    std::string bytes(3 * 1024 * 1024 + 77, '\0');
    std::uint32_t seed = 12345;
    for (char& byte : bytes) {
        seed = seed * 1103515245U + 12345U;
        byte = static_cast<char>(seed >> 23);
    }
    const auto file = std::filesystem::path(::testing::TempDir()) / "sha256-bytes.bin";
    std::ofstream(file, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    const std::string expected = testsupport::sha256sumOf(file);
    std::filesystem::remove(file);
    if (expected.empty())
        GTEST_SKIP() << "no sha256sum to ask";
    for (const bool portable : {false, true}) {
        SCOPED_TRACE(portable ? "portable" : "default");
        EXPECT_EQ(hashOf(bytes, 1 << 20, portable), expected);
        EXPECT_EQ(hashOf(bytes, 100, portable), expected);
    }
}

// The SHA instructions are used exactly where the system says the processor has them (and the
// SSSE3 and SSE4.1 they need), as /proc/cpuinfo lists its flags.
TEST(Sha256, UsesTheSHAInstructionsWhereTheProcessorHasThem)
{
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string line;
    while (std::getline(cpuinfo, line) && line.rfind("flags", 0) != 0) {
    }
    if (line.rfind("flags", 0) != 0)
        GTEST_SKIP() << "no /proc/cpuinfo to ask";
    line += ' ';
    const auto has = [&](const char* flag) {
        return line.find(' ' + std::string(flag) + ' ') != std::string::npos;
    };
    EXPECT_EQ(sha256HardwareAvailable(), has("sha_ni") && has("ssse3") && has("sse4_1"));
}

TEST(Sha256, StartsOverAfterEachDigest)
{
    for (const bool portable : {false, true}) {
        Sha256 hash(portable);
        const std::string abc = "abc";
        hash.add(reinterpret_cast<const unsigned char*>(abc.data()), abc.size());
        (void)hash.finish();
        hash.add(reinterpret_cast<const unsigned char*>(abc.data()), abc.size());
        EXPECT_EQ(digestHex(hash.finish()),
                  "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    }
}

// Every hex digit read at either place of a byte; anything digestHex would not write refused,
// the characters on each side of the digits' ranges included.
TEST(Sha256, ReadsBackOnlyWhatDigestHexWrites)
{
    const std::string everyDigit =
        "00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff";
    const std::optional<Digest> read = digestFromHex(everyDigit);
    ASSERT_TRUE(read.has_value());
    for (std::size_t i = 0; i < read->size(); ++i)
        EXPECT_EQ((*read)[i], (i % 16) * 0x11) << "byte " << i;

    const std::string abc = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
    ASSERT_TRUE(digestFromHex(abc).has_value());
    EXPECT_EQ(digestHex(*digestFromHex(abc)), abc);

    const auto with = [&abc](std::size_t at, char c) {
        std::string text = abc;
        text[at] = c;
        return text;
    };
    for (const std::string& refused :
         {std::string(), abc.substr(1), abc + "0", with(0, 'A'), with(63, 'F'), with(5, 'g'),
          with(6, '/'), with(7, ':'), with(8, '`'), with(9, ' '), with(62, '\0')})
        EXPECT_FALSE(digestFromHex(refused).has_value()) << '"' << refused << '"';
}

} // namespace
} // namespace glintmark::features
