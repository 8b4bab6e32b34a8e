#include "CliTestSupport.h"
#include "JpegCheck.h"

#include <gtest/gtest.h>

namespace glintmark::clitest {
namespace {

namespace fs = std::filesystem;

// The sample must hold what its record says, or the tests below prove nothing.
TEST(DemoSample, SignaturesSitExactlyWhereTheRecordPutsThem)
{
    const std::string ldb = readBytes(demoLdb());
    const auto images = demoManifest()["images"];
    std::vector<std::uint64_t> found;
    for (auto at = ldb.find(kSignature); at != std::string::npos; at = ldb.find(kSignature, at + 1))
        found.push_back(at);
    ASSERT_EQ(found.size(), images.size());

    bool straddles = false, close = false, small = false;
    std::uint64_t end = 0;
    for (std::size_t i = 0; i < images.size(); ++i) {
        const std::uint64_t offset = images[i]["offset"];
        EXPECT_EQ(found[i], offset);
        straddles = straddles || offset % 1000 > 990;
        close = close || (i > 0 && offset - found[i - 1] < 1000);
        small = small || images[i]["jpegSize"].get<int>() < 1000;
        end = offset + images[i]["size"].get<std::uint64_t>();
    }
    EXPECT_EQ(end, ldb.size());
    EXPECT_GT(found.front(), 0u) << "filler comes before the first image";
    EXPECT_TRUE(straddles && close && small);
    EXPECT_LT(ldb.size(), 300u * 1024);
}

TEST(DemoSample, EveryExtractedImageIsItsSliceOfTheSourceAndDecodesWhole)
{
    const fs::path out = freshTestFolder();
    // Stale files from an earlier run, one longer than the image that replaces it.
    writeBytes(out / "Vorlesk_0001.jpg", std::string(40000, 'x'));
    writeBytes(out / "Vorlesk_0005.jpg", "old");

    const CliRun run = runWith({"-q", "-o", out.string(), demoLdb().string()});
    ASSERT_EQ(run.code, 0) << run.err;

    const std::string ldb = readBytes(demoLdb());
    const auto images = demoManifest()["images"];
    EXPECT_EQ(fileNames(out).size(), images.size() + 1); // and the index beside them
    EXPECT_TRUE(fs::exists(out / "textures.json"));
    for (const auto& image : images) {
        const std::uint64_t number = image["number"];
        SCOPED_TRACE(imageName(number));
        const std::string bytes = readBytes(out / imageName(number));
        EXPECT_EQ(bytes, ldb.substr(image["offset"], image["size"]));

        const JpegCheck check = decodeJpeg(bytes);
        EXPECT_TRUE(check.decoded) << check.problem;
        EXPECT_EQ(check.warnings, 0) << check.problem;
        EXPECT_EQ(check.width, image["width"].get<unsigned>());
        EXPECT_EQ(check.height, image["height"].get<unsigned>());
        EXPECT_EQ(check.components, image["components"].get<int>());
    }
}

// The decoder check has to notice a damaged image, or passing above would mean little.
TEST(DemoSample, TheDecoderCheckNoticesDamagedImages)
{
    const std::string ldb = readBytes(demoLdb());
    const auto first = demoManifest()["images"][0];
    const std::string whole = ldb.substr(first["offset"], first["jpegSize"]);

    std::string noHeader = whole;
    noHeader[0] = 0;

    const std::vector<std::pair<const char*, std::string>> damaged = {
        {"cut in half", whole.substr(0, whole.size() / 2)},
        {"only the signature", signature()},
        {"no start marker", noHeader},
    };
    for (const auto& [what, bytes] : damaged) {
        const JpegCheck check = decodeJpeg(bytes);
        EXPECT_TRUE(!check.decoded || check.warnings > 0) << what;
        EXPECT_FALSE(check.problem.empty()) << what;
    }
    EXPECT_TRUE(decodeJpeg(whole).decoded);
}

} // namespace
} // namespace glintmark::clitest
