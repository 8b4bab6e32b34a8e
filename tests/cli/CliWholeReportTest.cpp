// However a run over a game ends (a folder it cannot use, no level, a folder it cannot read, a
// stop while the levels are listed), --json writes one whole document that says so.
#include "CliTestSupport.h"

#include "engine/LockedFolder.h"
#include "support/NoFileOverride.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#ifndef _WIN32
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

#include "cli/terminal/Signals.h"
#endif

namespace glintmark::clitest {
namespace {

namespace fs = std::filesystem;

// A game of three levels, one in a folder of its own.
fs::path plantGame(const fs::path& dir)
{
    const std::string level = readBytes(demoLdb());
    fs::create_directories(dir / "game" / "b");
    writeBytes(dir / "game" / "a.ldb", level);
    writeBytes(dir / "game" / "b" / "b.ldb", level);
    writeBytes(dir / "game" / "c.ldb", level);
    return dir / "game";
}

// The statuses of the document's sources, in order.
std::vector<std::string> statusesOf(const nlohmann::json& document)
{
    std::vector<std::string> statuses;
    for (const auto& source : document.at("sources"))
        statuses.push_back(source.at("status").get<std::string>());
    return statuses;
}

TEST(CliWholeReport, EveryEndOfAGamesRunIsOneWholeDocument)
{
    struct Case
    {
        const char* what;
        bool list;
        // Readies the game's folder and its output folder; what it returns lives for the run.
        std::function<std::shared_ptr<void>(const fs::path& game, const fs::path& out)> setUp;
        int code;
        std::string status;
        std::vector<std::string> sources; // each source's status
        std::optional<std::string> error; // the whole run's error kind
        std::size_t problems;
    };
    const auto none = [](const fs::path&, const fs::path&) { return std::shared_ptr<void>(); };
    const std::vector<Case> cases = {
        {"every level read",
         false,
         none,
         0,
         "completed",
         {"completed", "completed", "completed"},
         std::nullopt,
         0},
        {"another run holds the output folder",
         false,
         [](const fs::path&, const fs::path& out) {
             fs::create_directories(out);
             std::optional<ExtractError> error;
             auto held = std::make_shared<LockedFolder>(LockedFolder::openBeside(
                 out / "textures.json", FileIdentity{}, "the texture index", "run", error));
             EXPECT_FALSE(error);
             return std::shared_ptr<void>(held);
         },
         1,
         "failed",
         {"failed", "failed", "failed"},
         "output-busy",
         0},
        {"a folder at the index's name",
         false,
         [](const fs::path&, const fs::path& out) {
             fs::create_directories(out / "textures.json");
             return std::shared_ptr<void>();
         },
         1,
         "failed",
         {"failed", "failed", "failed"},
         "image-create",
         0},
        {"a game folder with no level",
         false,
         [](const fs::path& game, const fs::path&) {
             fs::remove_all(game);
             fs::create_directories(game / "empty");
             return std::shared_ptr<void>();
         },
         1,
         "failed",
         {},
         std::nullopt,
         1},
        {"a game folder with no level, listed",
         true,
         [](const fs::path& game, const fs::path&) {
             fs::remove_all(game);
             fs::create_directories(game);
             return std::shared_ptr<void>();
         },
         1,
         "failed",
         {},
         std::nullopt,
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path dir = freshTestFolder();
        const fs::path game = plantGame(dir);
        const fs::path out = dir / "out";
        const std::shared_ptr<void> held = c.setUp(game, out);
        std::vector<std::string> args{"--json", game.string()};
        if (c.list)
            args.insert(args.begin(), "--list");
        else
            args.insert(args.begin(), {"-o", out.string()});
        const CliRun run = runWith(args);
        EXPECT_EQ(run.code, c.code) << run.err;
        ASSERT_TRUE(nlohmann::json::accept(run.out)) << run.out;
        const nlohmann::json document = nlohmann::json::parse(run.out);
        EXPECT_EQ(document.at("mode"), c.list ? "list" : "extract");
        EXPECT_EQ(document.at("status"), c.status);
        EXPECT_EQ(statusesOf(document), c.sources);
        if (c.error) {
            EXPECT_EQ(document.at("error").at("kind"), *c.error);
            // The folder, or the index in it.
            EXPECT_EQ(document["error"].at("file").get<std::string>().rfind(out.string(), 0), 0U);
            for (const auto& source : document["sources"])
                EXPECT_EQ(source.at("error"), document["error"]);
        } else {
            EXPECT_TRUE(document.at("error").is_null());
        }
        EXPECT_EQ(document.at("problems").size(), c.problems);
        if (c.problems > 0) {
            EXPECT_EQ(document["problems"][0].at("file"), game.string());
            // The same sentence as on standard error.
            EXPECT_NE(run.err.find(document["problems"][0].at("message").get<std::string>()),
                      std::string::npos);
        }
    }
}

#ifndef _WIN32
// A folder inside the game that cannot be read is named, with the system's reason; every other
// level is extracted, and the index says which folder is missing.
TEST(CliWholeReport, AFolderThatCannotBeReadIsNamedAndTheRestExtracted)
{
    const fs::path dir = freshTestFolder();
    const fs::path game = plantGame(dir);
    const fs::path out = dir / "out";
    const testsupport::NoFileOverride asUser;
    fs::permissions(game / "b", fs::perms::none);
    std::error_code probe;
    const fs::directory_iterator tried(game / "b", probe);
    if (!asUser.arranged() || !probe) {
        fs::permissions(game / "b", fs::perms::owner_all);
        GTEST_SKIP() << "folder permissions do not hold here";
    }
    const CliRun run = runWith({"--json", "-o", out.string(), game.string()});
    fs::permissions(game / "b", fs::perms::owner_all);

    EXPECT_EQ(run.code, 1);
    const std::string reason = std::make_error_code(std::errc::permission_denied).message();
    EXPECT_NE(run.err.find((game / "b").string()), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(reason), std::string::npos) << run.err;
    ASSERT_TRUE(nlohmann::json::accept(run.out)) << run.out;
    const nlohmann::json document = nlohmann::json::parse(run.out);
    EXPECT_EQ(document.at("status"), "failed");
    EXPECT_EQ(statusesOf(document), (std::vector<std::string>{"completed", "completed"}));
    ASSERT_EQ(document.at("problems").size(), 1U);
    EXPECT_EQ(document["problems"][0].at("file"), (game / "b").string());
    EXPECT_TRUE(fs::exists(out / "a" / "Vorlesk_0011.jpg"));
    EXPECT_TRUE(fs::exists(out / "c" / "Vorlesk_0011.jpg"));
    EXPECT_FALSE(fs::exists(out / "b"));

    const nlohmann::json index = nlohmann::json::parse(readBytes(out / "textures.json"));
    EXPECT_EQ(index.at("version"), 3);
    EXPECT_EQ(index.at("complete"), false);
    ASSERT_EQ(index.at("unread").size(), 1U);
    EXPECT_EQ(index["unread"][0].at("folder"), "b");
    EXPECT_NE(index["unread"][0].at("message").get<std::string>().find(reason), std::string::npos);
    EXPECT_EQ(index.at("levels"), nlohmann::json::parse(R"(["a.ldb", "c.ldb"])"));
}

// A stop that comes while the game's levels are listed ends the run with a whole document, in
// either mode.
TEST(CliWholeReport, AStopWhileTheLevelsAreListedEndsTheDocument)
{
    for (const bool list : {false, true}) {
        SCOPED_TRACE(list ? "listed" : "extracted");
        const fs::path dir = freshTestFolder();
        const fs::path game = plantGame(dir);
        std::vector<std::string> args{"--json", game.string()};
        if (list)
            args.insert(args.begin(), "--list");
        else
            args.insert(args.begin(), {"-o", (dir / "out").string()});
        const pid_t child = ::fork();
        if (child == 0) {
            // The signal is there before the run begins: it stops at the first question.
            cli::installSignalHandlers();
            ::raise(SIGINT);
            const CliRun run = runWith(args);
            writeBytes(dir / "child.out", run.out);
            writeBytes(dir / "child.err", run.err);
            ::_exit(run.code);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 130);
        const std::string out = readBytes(dir / "child.out");
        ASSERT_TRUE(nlohmann::json::accept(out)) << out;
        const nlohmann::json document = nlohmann::json::parse(out);
        EXPECT_EQ(document.at("status"), "stopped");
        EXPECT_TRUE(document.at("sources").empty());
        EXPECT_NE(readBytes(dir / "child.err").find("interrupted by SIGINT"), std::string::npos);
        EXPECT_FALSE(fs::exists(dir / "out"));
    }
}
#endif

} // namespace
} // namespace glintmark::clitest
