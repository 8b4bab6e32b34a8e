#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace benchdata {

// What a generated level database holds.
struct Level
{
    std::filesystem::path file;
    std::uint64_t size = 0;
    std::uint64_t images = 0;
};

// The bytes of a level database of about `bytes` bytes: textures of 2 KiB to 2 MiB, each a
// signature followed by JPEG-like data (every 0xFF followed by 0x00), with other data between.
// The same seed always gives the same bytes.
std::string makeLevelBytes(std::size_t bytes, std::uint32_t seed, std::uint64_t* images);

// Writes the level database to `folder`/level.ldb and reads it once so it sits in the page cache.
Level prepareLevel(const std::filesystem::path& folder, std::size_t bytes);

// The folder benchmarks work in: $GLINTMARK_BENCH_DIR, else /dev/shm/glintmark-bench.
std::filesystem::path benchFolder();

// Size of the generated level in bytes: $GLINTMARK_BENCH_MB mebibytes, else 256.
std::size_t levelBytes();

} // namespace benchdata
