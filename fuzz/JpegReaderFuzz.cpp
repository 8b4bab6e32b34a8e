// The structure reader over any bytes: fed whole, fed in pieces cut where the input says, and
// fed one byte at a time, it must find the same thing, and what it finds must fit the bytes.
#include "FuzzCheck.h"

#include "engine/jpeg/JpegReader.h"

#include <cstddef>
#include <cstdint>

namespace {

using glintmark::JpegProblem;
using glintmark::JpegReader;
using glintmark::JpegStatus;
using glintmark::JpegStructure;
using glintmark::fuzz::require;
using glintmark::fuzz::sameStructure;

// Pieces end after each byte whose low bits match its position's: the fuzzer moves the cuts
// by changing bytes, and every marker, length and header gets split somewhere.
JpegStructure readInPieces(const std::uint8_t* data, std::size_t size)
{
    JpegReader reader;
    std::size_t start = 0;
    for (std::size_t i = 0; i < size; ++i) {
        if (((data[i] ^ i) & 7u) == 0 || i + 1 == size) {
            reader.feed(data + start, i + 1 - start);
            start = i + 1;
        }
    }
    return reader.structure();
}

JpegStructure readByteByByte(const std::uint8_t* data, std::size_t size)
{
    JpegReader reader;
    for (std::size_t i = 0; i < size; ++i)
        reader.feed(data + i, 1);
    return reader.structure();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    JpegReader reader;
    reader.feed(data, size);
    const JpegStructure whole = reader.structure();

    require(sameStructure(whole, readInPieces(data, size)),
            "pieces read differently from the whole");
    require(sameStructure(whole, readByteByByte(data, size)), "single bytes read differently");

    require(!whole.end || *whole.end <= size, "end past the bytes fed");
    require(whole.end.has_value() == reader.ended(), "end known without an end marker");
    require(whole.end.has_value() == (whole.problem == JpegProblem::None),
            "an image both ended and broken, or neither");
    require(whole.problemAt <= size, "problem found past the bytes fed");
    const bool cut =
        whole.problem == JpegProblem::CutInSegment || whole.problem == JpegProblem::CutInScan;
    require(!cut || whole.problemAt == size, "cut short anywhere but at the cut");
    require(!whole.hasFrame || (whole.width > 0 && whole.components > 0),
            "a sound frame without width or components");
    require(whole.scans == 0 || whole.hasFrame, "a scan before any frame");

    const JpegStatus status = glintmark::jpegStatus(whole, size);
    require(status != JpegStatus::Whole || whole.end == size, "whole, yet not ending at the cut");
    require(status != JpegStatus::Trailing || *whole.end < size, "trailing with nothing behind");
    return 0;
}
