#include "CliTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>

namespace glintmark::clitest {

CliRun runWith(const std::vector<std::string>& args, const CliEnvironment& environment)
{
    std::vector<const char*> argv{"glintmark-cli"};
    for (const std::string& arg : args)
        argv.push_back(arg.c_str());
    std::ostringstream out;
    std::ostringstream err;
    CliRun run;
    run.code = runCli(static_cast<int>(argv.size()), argv.data(), out, err, environment);
    run.out = out.str();
    run.err = err.str();
    return run;
}

std::filesystem::path freshTestFolder()
{
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    std::replace(name.begin(), name.end(), '/', '_');
    const std::filesystem::path folder = std::filesystem::path(GLINTMARK_TEST_TMP) / name;
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder;
}

std::filesystem::path demoLdb()
{
    return std::filesystem::path(GLINTMARK_SOURCE_DIR) / "samples" / "demo.ldb";
}

nlohmann::json demoManifest()
{
    const auto path = std::filesystem::path(GLINTMARK_SOURCE_DIR) / "samples" / "demo.json";
    return nlohmann::json::parse(readBytes(path));
}

std::string readBytes(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    EXPECT_TRUE(in.is_open()) << "cannot open " << file;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeBytes(const std::filesystem::path& file, const std::string& bytes)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    ASSERT_TRUE(out.is_open()) << "cannot create " << file;
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> fileNames(const std::filesystem::path& folder)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        if (entry.is_regular_file())
            names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace glintmark::clitest
