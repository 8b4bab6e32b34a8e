#include "support/Referees.h"

#include <cstdio>
#include <sstream>

namespace glintmark::testsupport {
namespace {

// What `command` prints on its standard output; empty when it cannot run.
std::string outputOf(const std::string& command)
{
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return {};
    std::string text;
    char buffer[256];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        text.append(buffer, got);
    const int status = ::pclose(pipe);
    return status == 0 ? text : std::string();
}

// `path` quoted for the shell.
std::string quoted(const std::filesystem::path& path)
{
    std::string text = "'";
    for (const char c : path.string())
        text += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return text + "'";
}

} // namespace

std::string sha256sumOf(const std::filesystem::path& file)
{
    const std::string line = outputOf("sha256sum " + quoted(file) + " 2>/dev/null");
    return line.size() >= 64 ? line.substr(0, 64) : std::string();
}

std::string treeListing(const std::filesystem::path& folder)
{
    return outputOf("cd " + quoted(folder) +
                    " 2>/dev/null && { find . -mindepth 1 ! -type f -printf '%y %p\\n' && "
                    "find . -type f -exec sha256sum {} + ; } | LC_ALL=C sort");
}

std::optional<StatFacts> statOf(const std::filesystem::path& file)
{
    // Seconds and nanoseconds apart, so that no floating point rounds them.
    const std::string line = outputOf("stat -c '%s %Y %.9Y' " + quoted(file) + " 2>/dev/null");
    std::istringstream in(line);
    StatFacts facts;
    std::uint64_t seconds = 0;
    std::string fraction;
    if (!(in >> facts.size >> seconds >> fraction))
        return std::nullopt;
    const std::size_t dot = fraction.find('.');
    if (dot == std::string::npos || fraction.size() - dot - 1 != 9)
        return std::nullopt;
    facts.modified = seconds * 1'000'000'000U + std::stoull(fraction.substr(dot + 1));
    return facts;
}

} // namespace glintmark::testsupport
