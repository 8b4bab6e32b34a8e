#include "support/Referees.h"

#include <cstdio>
#include <cstdlib>
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

std::string quoted(const std::filesystem::path& path)
{
    return shellQuoted(path);
}

// A binary PGM (P5) or PPM (P6) of 8-bit samples.
std::optional<ToolPicture> parsePnm(const std::string& text)
{
    std::istringstream in(text);
    std::string magic;
    unsigned most = 0;
    ToolPicture picture;
    if (!(in >> magic >> picture.width >> picture.height >> most) || most != 255 ||
        (magic != "P5" && magic != "P6"))
        return std::nullopt;
    in.get();
    picture.components = magic == "P5" ? 1 : 3;
    const std::size_t size =
        std::size_t{picture.width} * picture.height * static_cast<std::size_t>(picture.components);
    const auto at = static_cast<std::size_t>(in.tellg());
    if (text.size() - at != size)
        return std::nullopt;
    picture.pixels.assign(text.begin() + static_cast<std::ptrdiff_t>(at), text.end());
    return picture;
}

} // namespace

std::string shellQuoted(const std::filesystem::path& path)
{
    std::string text = "'";
    for (const char c : path.string())
        text += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return text + "'";
}

bool imageToolsHere()
{
#ifdef _WIN32
    return false;
#else
    static const bool here =
        runTool("convert -version") && runTool("djpeg -version") && runTool("cjpeg -version");
    return here;
#endif
}

bool runTool(const std::string& command)
{
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

std::optional<ToolPicture> djpegPicture(const std::filesystem::path& file, bool grey)
{
    return parsePnm(outputOf(std::string("djpeg -pnm ") + (grey ? "-grayscale " : "") +
                             quoted(file) + " 2>/dev/null"));
}

std::optional<ToolPicture> convertPicture(const std::filesystem::path& file, int components)
{
    return parsePnm(outputOf("convert " + quoted(file) + " -depth 8 " +
                             (components == 1 ? "-colorspace Rec601Luma pgm:-" : "ppm:-") +
                             " 2>/dev/null"));
}

bool sha256sumHere()
{
    static const bool here = [] {
        std::error_code ec;
        const std::filesystem::path probe =
            std::filesystem::temp_directory_path(ec) / "glintmark-sha256sum-probe";
        std::FILE* file = std::fopen(probe.string().c_str(), "wb");
        if (file == nullptr)
            return false;
        std::fclose(file);
        const bool found = sha256sumOf(probe).size() == 64;
        std::filesystem::remove(probe, ec);
        return found;
    }();
    return here;
}

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
