#include "CliTestSupport.h"

#include <gtest/gtest.h>

namespace glintmark::clitest {
namespace {

namespace fs = std::filesystem;

// The whole of standard output must be one JSON document.
nlohmann::json parseReport(const CliRun& run)
{
    nlohmann::json report;
    EXPECT_NO_THROW(report = nlohmann::json::parse(run.out)) << run.out;
    return report;
}

void expectDemoImages(const nlohmann::json& source)
{
    const auto truth = demoManifest()["images"];
    EXPECT_EQ(source["count"], truth.size());
    ASSERT_EQ(source["images"].size(), truth.size());
    for (std::size_t i = 0; i < truth.size(); ++i) {
        const auto& image = source["images"][i];
        EXPECT_EQ(image["number"], i + 1);
        EXPECT_EQ(image["name"], imageName(i + 1));
        EXPECT_EQ(image["offset"], truth[i]["offset"]);
        EXPECT_EQ(image["size"], truth[i]["size"]);
        EXPECT_EQ(image["width"], truth[i]["width"]);
        EXPECT_EQ(image["height"], truth[i]["height"]);
        EXPECT_EQ(image["components"], truth[i]["components"]);
        EXPECT_EQ(image["end"], truth[i]["jpegSize"]);
        EXPECT_EQ(image["status"], "trailing");
        EXPECT_TRUE(image["problem"].is_null());
        EXPECT_FALSE(image.contains("decodes")) << "only --check decodes";
    }
}

TEST(CliJson, ReportsEverySourceInBothModes)
{
    const fs::path dir = freshTestFolder();
    const fs::path missing = dir / "missing.ldb";
    for (const bool list : {false, true}) {
        const fs::path out = dir / (list ? "listed" : "written");
        std::vector<std::string> args{"--json", "-o", out.string(), demoLdb().string(),
                                      missing.string()};
        if (list)
            args.push_back("--list");
        const CliRun run = runWith(args);
        EXPECT_EQ(run.code, 1);
        EXPECT_NE(run.err.find(missing.string()), std::string::npos);

        const nlohmann::json report = parseReport(run);
        EXPECT_EQ(report["mode"], list ? "list" : "extract");
        ASSERT_EQ(report["sources"].size(), 2u);
        const auto& good = report["sources"][0];
        EXPECT_EQ(good["source"], demoLdb().string());
        EXPECT_EQ(good["output"], (out / "demo").string());
        EXPECT_EQ(good["status"], "completed");
        EXPECT_TRUE(good["error"].is_null());
        expectDemoImages(good);

        const auto& bad = report["sources"][1];
        EXPECT_EQ(bad["status"], "failed");
        EXPECT_EQ(bad["count"], 0);
        EXPECT_EQ(bad["images"].size(), 0u);
        EXPECT_EQ(bad["error"]["kind"], "source-open");
        EXPECT_EQ(bad["error"].value("file", ""), missing.string());
        EXPECT_NE(bad["error"]["message"].get<std::string>().find(missing.string()),
                  std::string::npos);
        EXPECT_EQ(fs::exists(out), !list);

        // Scripts find everything by these names.
        const std::pair<nlohmann::json, std::vector<const char*>> keysOf[] = {
            {report, {"mode", "sources"}},
            {good, {"source", "output", "status", "count", "images", "error"}},
            {good["images"][0], {"number", "name", "offset", "size"}},
            {bad["error"], {"kind", "file", "message"}},
        };
        for (const auto& [object, keys] : keysOf) {
            for (const char* key : keys)
                EXPECT_TRUE(object.contains(key)) << key << " missing in " << object.dump();
        }
    }
}

TEST(CliJson, QuietAndATerminalLeaveTheReportAlone)
{
    const fs::path out = freshTestFolder();
    const CliRun run =
        runWith({"--json", "-q", "-o", out.string(), demoLdb().string()}, onTerminal());
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.err, "");
    const nlohmann::json report = parseReport(run);
    EXPECT_EQ(report["sources"][0]["output"], out.string());
    expectDemoImages(report["sources"][0]);
}

#ifndef _WIN32
// File names need not be UTF-8; the report must stay valid JSON all the same. (Windows names
// are UTF-16 and always reach the report as UTF-8.)
TEST(CliJson, FileNamesThatAreNotUtf8StillGiveValidJson)
{
    const fs::path dir = freshTestFolder();
    const fs::path odd = dir / "lev\xFF"
                               "el.ldb";
    fs::copy_file(demoLdb(), odd);
    const CliRun run = runWith(
        {"--json", "-o", (dir / "out").string(), odd.string(), (dir / "gone\xFE.ldb").string()});
    EXPECT_EQ(run.code, 1);
    const nlohmann::json report = parseReport(run);
    ASSERT_EQ(report["sources"].size(), 2u);
    EXPECT_EQ(report["sources"][0]["count"], 11);
    EXPECT_NE(report["sources"][0]["source"].get<std::string>().find("lev\\xFFel.ldb"),
              std::string::npos);
    EXPECT_EQ(report["sources"][1]["status"], "failed");
}
#endif

} // namespace
} // namespace glintmark::clitest
