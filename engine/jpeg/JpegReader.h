#pragma once

#include "engine/jpeg/JpegStructure.h"

#include <cstddef>
#include <cstdint>

namespace glintmark {

// Follows one JPEG's marker segments and scans as its bytes stream past in chunks of any size,
// by the interchange format's syntax in ITU-T T.81 (ISO/IEC 10918-1), Annex B: markers, segment
// lengths, and entropy-coded data in which FF is stuffed as FF 00. Thumbnails inside
// application segments are stepped over by the segment lengths. It keeps a few bytes of state,
// never allocates, and never decodes the image data.
//
// The states `feed` moves through; a byte that does not fit where it comes ends in Broken, and
// after Done or Broken the bytes are only counted:
//
//   Soi0 -FF-> Soi1 -D8 (SOI)-> Marker -FF-> MarkerCode --FF (fill)--> MarkerCode
//                                 ^              |  TEM ----------------> Marker
//                                 |              |  EOI ----------------> Done
//                                 |              v  any other marker
//                                 |           Length0 -> Length1 -> Header -> Skip
//                                 |           (Header for SOFn, SOS and DNL only; Skip while
//                                 |            bytes of the segment are left)
//                                 +---- a segment other than SOS ends ------+
//                                                                           | SOS ends
//                                                                           v
//               Scan <--00 (stuffed) or RSTn-- ScanFF <--FF-------------- Scan
//                                                |  FF (fill): stays in ScanFF
//                                                |  any other code: as after MarkerCode
class JpegReader
{
public:
    // Starts over for a new image whose first byte comes next.
    void reset();
    // Reads the next bytes of the image. After the end marker, or once the structure broke,
    // further bytes are only counted.
    void feed(const unsigned char* data, std::size_t count);
    // What was found so far; when the image has not ended, as if it were cut here.
    JpegStructure structure() const;
    // Whether the end marker was read.
    bool ended() const { return m_state == State::Done; }

private:
    enum class State : std::uint8_t
    {
        Soi0,
        Soi1,
        Marker,     // between segments: expecting FF
        MarkerCode, // after FF: expecting the marker's code
        Length0,
        Length1,
        Header, // collecting the first bytes of a segment that matters
        Skip,   // stepping over the rest of a segment
        Scan,   // image data
        ScanFF, // image data, after an FF
        Done,
        Broken
    };

    void onMarker(unsigned code, std::uint64_t at);
    void onLength(std::uint64_t at);
    void onHeader(std::uint64_t at);
    void afterSegment();
    // Steps over image data from `from`; returns where reading goes on.
    std::size_t skipScanData(const unsigned char* data, std::size_t from, std::size_t count);
    void fail(JpegProblem problem, std::uint64_t at);

    JpegStructure m_found;
    std::uint64_t m_base = 0;   // bytes fed before the current chunk
    std::uint32_t m_left = 0;   // bytes of the current segment still to come
    std::uint32_t m_length = 0; // the current segment's length field
    std::uint64_t m_segmentAt = 0;
    State m_state = State::Soi0;
    unsigned char m_segment = 0; // marker code of the current segment
    unsigned char m_lengthHigh = 0;
    unsigned char m_headWant = 0;
    unsigned char m_headGot = 0;
    unsigned char m_head[6] = {};
    bool m_hierarchical = false;
};

} // namespace glintmark
