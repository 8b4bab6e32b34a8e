#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace glintmark {

// How the image data is coded, from its frame header's marker.
enum class JpegCoding : std::uint8_t
{
    Unknown, // no frame header seen
    Baseline,
    Extended,
    Progressive,
    Lossless
};

// What broke an image's structure, or where it was cut short.
enum class JpegProblem : std::uint8_t
{
    None,
    BadLength,    // a segment length that runs past where the next marker must stand
    BadMarker,    // a marker that may not stand where it does
    BadFrame,     // a frame header that contradicts itself
    NoFrame,      // a scan or the end came before any frame header
    NoScan,       // the end came before any image data
    CutInSegment, // the bytes stop inside the marker segments
    CutInScan     // the bytes stop inside the image data
};

// What the marker structure of one image tells, without decoding a pixel.
struct JpegStructure
{
    std::uint32_t width = 0;
    std::uint32_t height = 0; // 0 until a frame header (or a DNL segment) gives it
    std::uint8_t components = 0;
    std::uint8_t precision = 0; // bits per sample
    JpegCoding coding = JpegCoding::Unknown;
    bool arithmetic = false;          // arithmetic rather than Huffman coding
    bool hasFrame = false;            // a sound frame header was read
    std::uint32_t scans = 0;          // scans started
    std::optional<std::uint64_t> end; // bytes from the start through the end marker
    JpegProblem problem = JpegProblem::None;
    std::uint64_t problemAt = 0; // byte offset from the image's start where it was found
};

// How an image stands, as the reports put it.
enum class JpegStatus : std::uint8_t
{
    Whole,    // ends with its end marker, exactly at the cut
    Trailing, // whole, with more bytes behind its end marker
    CutShort, // sound as far as it goes, but no end marker before the cut
    Damaged   // the structure breaks before the end
};

// The status of an image of `size` bytes whose structure is `structure`.
JpegStatus jpegStatus(const JpegStructure& structure, std::uint64_t size);

// Short lower-case names for reports ("whole", "cut-short", "progressive", "bad-length", ...).
const char* statusName(JpegStatus status);
const char* codingName(JpegCoding coding);
const char* problemName(JpegProblem problem);
// A sentence fragment for people, such as "bad segment length".
const char* problemText(JpegProblem problem);

} // namespace glintmark
