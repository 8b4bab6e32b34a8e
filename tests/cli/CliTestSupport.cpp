#include "CliTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>

#ifdef __linux__
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <initializer_list>
#include <pty.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;
#endif

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

CliEnvironment onTerminal(bool output, int columns)
{
    CliEnvironment environment;
    environment.stderrIsTerminal = true;
    environment.stdoutIsTerminal = output;
    environment.terminalColumns = [columns] { return columns; };
    return environment;
}

std::string runOnOneTerminal(const std::vector<std::string>& args, int columns)
{
    std::vector<const char*> argv{"glintmark-cli"};
    for (const std::string& arg : args)
        argv.push_back(arg.c_str());
    std::ostringstream terminal;
    runCli(static_cast<int>(argv.size()), argv.data(), terminal, terminal,
           onTerminal(true, columns));
    return terminal.str();
}

std::vector<std::string> screenOf(const std::string& written, int columns)
{
    std::vector<std::string> rows(1);
    std::size_t column = 0;
    for (const char c : written) {
        if (c == '\r' || c == '\n') {
            column = 0;
            if (c == '\n')
                rows.emplace_back();
            continue;
        }
        if (column == static_cast<std::size_t>(columns)) { // the cursor waits at the edge
            rows.emplace_back();
            column = 0;
        }
        std::string& row = rows.back();
        if (row.size() <= column)
            row.resize(column + 1, ' ');
        row[column++] = c;
    }
    for (std::string& row : rows)
        row.erase(row.find_last_not_of(' ') + 1);
    while (!rows.empty() && rows.back().empty())
        rows.pop_back();
    return rows;
}

std::vector<std::string> barLinesOf(const std::string& written)
{
    // A percentage, or the megabytes read from a pipe ("12.3 MB", not the rate's "MB/s").
    static const std::regex percentage("[0-9]%|[0-9] MB( |$)");
    std::vector<std::string> lines;
    std::string piece;
    for (const char c : written + '\n') {
        if (c != '\r' && c != '\n') {
            piece += c;
            continue;
        }
        if (std::regex_search(piece, percentage))
            lines.push_back(piece);
        piece.clear();
    }
    return lines;
}

#ifdef __linux__
namespace {

// Appends what the terminal holds so far, without waiting for more.
void drain(int master, std::string& into)
{
    char chunk[4096];
    ssize_t got = 0;
    while ((got = ::read(master, chunk, sizeof chunk)) > 0)
        into.append(chunk, static_cast<std::size_t>(got));
}

// Runs the built program with the descriptors `onTerminal` on a fresh pseudo-terminal `columns`
// wide and `other` (if not -1) on `fileFd`; what the terminal showed goes into `run`.
void runOnPseudoTerminal(const std::vector<std::string>& args,
                         std::initializer_list<int> onTerminal, int other, int fileFd,
                         unsigned short columns, const WhileRunning& whileRunning, TerminalRun& run)
{
    int master = -1;
    int slave = -1;
    winsize size{};
    size.ws_row = 24;
    size.ws_col = columns;
    if (::openpty(&master, &slave, nullptr, nullptr, &size) != 0) {
        ADD_FAILURE() << "openpty: " << std::strerror(errno);
        return;
    }
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    ::fcntl(master, F_SETFL, O_NONBLOCK);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (const int fd : onTerminal)
        posix_spawn_file_actions_adddup2(&actions, slave, fd);
    if (other >= 0)
        posix_spawn_file_actions_adddup2(&actions, fileFd, other);
    std::vector<char*> argv{const_cast<char*>(GLINTMARK_CLI_BINARY)};
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t child = -1;
    const int spawned =
        ::posix_spawn(&child, GLINTMARK_CLI_BINARY, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(spawned, 0) << GLINTMARK_CLI_BINARY << ": " << std::strerror(spawned);
    if (spawned == 0 && whileRunning)
        whileRunning(child, master, run.terminal);

    // The terminal is read while the program runs, so it never waits for room to write.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    int status = 0;
    while (spawned == 0 && ::waitpid(child, &status, WNOHANG) == 0) {
        drain(master, run.terminal);
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            ADD_FAILURE() << "glintmark-cli did not end within a minute";
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    drain(master, run.terminal);
    ::close(slave);
    ::close(master);
    if (spawned == 0 && WIFEXITED(status))
        run.code = WEXITSTATUS(status);
}

} // namespace

TerminalRun runBuiltWithTerminal(const std::vector<std::string>& args, int onTerminal,
                                 const std::filesystem::path& file)
{
    TerminalRun run;
    const int fileFd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    EXPECT_GE(fileFd, 0) << file << ": " << std::strerror(errno);
    runOnPseudoTerminal(args, {onTerminal}, onTerminal == 1 ? 2 : 1, fileFd, 80, {}, run);
    ::close(fileFd);
    run.file = readBytes(file);
    return run;
}

TerminalRun runBuiltOnTerminal(const std::vector<std::string>& args, unsigned short columns,
                               const WhileRunning& whileRunning)
{
    TerminalRun run;
    runOnPseudoTerminal(args, {1, 2}, -1, -1, columns, whileRunning, run);
    return run;
}

bool readTerminalUntil(int master, std::string& shown, const std::string& text)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (shown.find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        drain(master, shown);
    }
    return true;
}

bool feedWhileReadingTerminal(int fd, std::string_view bytes, int master, std::string& shown)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!bytes.empty()) {
        const ssize_t put = ::write(fd, bytes.data(), bytes.size());
        if (put > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(put));
            continue;
        }
        if (put < 0 && errno != EAGAIN)
            return false;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        drain(master, shown);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}
#endif

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

std::string claimingImage(int number, unsigned width, unsigned height)
{
    const auto image = demoManifest()["images"][number - 1];
    std::string bytes = readBytes(demoLdb()).substr(image["offset"].get<std::size_t>(),
                                                    image["jpegSize"].get<std::size_t>());
    std::size_t frame = bytes.find("\xFF\xC0");
    if (frame == std::string::npos)
        frame = bytes.find("\xFF\xC2");
    EXPECT_NE(frame, std::string::npos) << "image " << number << " has no frame header";
    const unsigned values[] = {height, width};
    for (int i = 0; i < 2; ++i) {
        bytes[frame + 5 + 2 * i] = static_cast<char>(values[i] >> 8);
        bytes[frame + 6 + 2 * i] = static_cast<char>(values[i] & 0xFF);
    }
    return bytes;
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

std::vector<std::string> hiddenIn(const std::filesystem::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().filename().string().front() == '.')
            names.push_back(entry.path().filename().string());
    }
    return names;
}

} // namespace glintmark::clitest
