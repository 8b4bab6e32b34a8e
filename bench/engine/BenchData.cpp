#include "BenchData.h"

#include "engine/jpeg/SignatureScanner.h"

#include <cstdlib>
#include <fstream>
#include <random>
#include <vector>

namespace benchdata {

std::string makeLevelBytes(std::size_t bytes, std::uint32_t seed, std::uint64_t* images)
{
    const std::string signature(glintmark::kJfifSignature);
    std::mt19937_64 rng(seed);
    std::uniform_int_distribution<int> imageKb(2, 2048);
    std::uniform_int_distribution<int> gap(0, 4096);
    std::string out;
    out.reserve(bytes + 8);
    std::uint64_t count = 0;
    const auto randomBytes = [&](std::size_t n, bool stuffed) {
        while (n > 0) {
            std::uint64_t word = rng();
            for (int i = 0; i < 8 && n > 0; ++i, --n) {
                const char c = static_cast<char>(word & 0xFF);
                word >>= 8;
                out.push_back(c);
                if (stuffed && c == '\xFF' && n > 1) {
                    out.push_back('\0');
                    --n;
                }
            }
        }
    };
    while (out.size() < bytes) {
        randomBytes(std::min<std::size_t>(static_cast<std::size_t>(gap(rng)), bytes - out.size()),
                    false);
        if (out.size() + signature.size() > bytes)
            break;
        out += signature;
        ++count;
        const auto body = static_cast<std::size_t>(imageKb(rng)) * 1024;
        randomBytes(std::min(body, bytes - out.size()), true);
    }
    randomBytes(bytes - out.size(), false);
    if (images != nullptr)
        *images = count;
    return out;
}

Level prepareLevel(const std::filesystem::path& folder, std::size_t bytes)
{
    std::filesystem::create_directories(folder);
    Level level;
    level.file = folder / "level.ldb";
    const std::string data = makeLevelBytes(bytes, 20240601u, &level.images);
    {
        std::ofstream out(level.file, std::ios::binary | std::ios::trunc);
        out.write(data.data(), static_cast<std::streamsize>(data.size()));
    }
    level.size = data.size();
    std::ifstream in(level.file, std::ios::binary);
    std::vector<char> chunk(1 << 20);
    while (in.read(chunk.data(), static_cast<std::streamsize>(chunk.size())) || in.gcount() > 0) {
    }
    return level;
}

std::filesystem::path benchFolder()
{
    if (const char* dir = std::getenv("GLINTMARK_BENCH_DIR"); dir != nullptr && *dir != '\0')
        return dir;
    return "/dev/shm/glintmark-bench";
}

std::size_t levelBytes()
{
    if (const char* mb = std::getenv("GLINTMARK_BENCH_MB"); mb != nullptr && *mb != '\0')
        return static_cast<std::size_t>(std::strtoull(mb, nullptr, 10)) << 20;
    return std::size_t{256} << 20;
}

} // namespace benchdata
