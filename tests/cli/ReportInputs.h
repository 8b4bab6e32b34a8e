#pragma once

// Images and outcomes made by hand, as a run hands them to the reports, for the tests that call
// the command line's parts directly.

#include "features/LevelExtraction.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace glintmark::clitest {

using features::CheckedImage;
using features::LevelOutcome;

// A sound frame header of `width` x `height`, three 8-bit components, coded as `coding`; the
// image ends `end` bytes after its signature, or has no end marker.
inline JpegStructure framed(std::uint32_t width, std::uint32_t height,
                            std::optional<std::uint64_t> end,
                            JpegCoding coding = JpegCoding::Baseline)
{
    JpegStructure jpeg;
    jpeg.width = width;
    jpeg.height = height;
    jpeg.components = 3;
    jpeg.precision = 8;
    jpeg.coding = coding;
    jpeg.hasFrame = true;
    jpeg.scans = 1;
    jpeg.end = end;
    return jpeg;
}

// A structure that breaks (or, for the cuts, stops) with `problem` at byte `at`.
inline JpegStructure broken(JpegStructure jpeg, JpegProblem problem, std::uint64_t at)
{
    jpeg.end.reset();
    jpeg.problem = problem;
    jpeg.problemAt = at;
    return jpeg;
}

// Image `number` at `offset`, `size` bytes long (and so written), with that structure.
inline CheckedImage image(std::uint64_t number, std::uint64_t offset, std::uint64_t size,
                          const JpegStructure& jpeg)
{
    CheckedImage checked;
    checked.number = number;
    checked.offset = offset;
    checked.size = size;
    checked.written = size;
    checked.jpeg = jpeg;
    return checked;
}

// The same image with the decoder's verdict.
inline CheckedImage decoded(CheckedImage checked, std::optional<bool> decodes,
                            std::string decodeError = {})
{
    checked.decodes = decodes;
    checked.decodeError = std::move(decodeError);
    return checked;
}

// How the run of `source` into `folder` ended.
inline LevelOutcome outcome(const std::filesystem::path& source,
                            const std::filesystem::path& folder, RunStatus status,
                            std::uint64_t count, std::uint64_t stale = 0)
{
    LevelOutcome level;
    level.source = source;
    level.folder = folder;
    level.result.status = status;
    level.result.count = count;
    level.result.staleImages = stale;
    return level;
}

} // namespace glintmark::clitest
