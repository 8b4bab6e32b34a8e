#include "engine/jpeg/JpegReader.h"

#include <algorithm>
#include <cstring>

namespace glintmark {
namespace {

constexpr unsigned kSoi = 0xD8;
constexpr unsigned kEoi = 0xD9;
constexpr unsigned kSos = 0xDA;
constexpr unsigned kDnl = 0xDC;
constexpr unsigned kDhp = 0xDE;
constexpr unsigned kTem = 0x01;

bool isRestart(unsigned code)
{
    return code >= 0xD0 && code <= 0xD7;
}

// SOF0 to SOF15, leaving out DHT (C4), the reserved JPG (C8) and DAC (CC).
bool isFrameHeader(unsigned code)
{
    return code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC;
}

JpegCoding codingOf(unsigned frameCode)
{
    switch (frameCode & 3u) {
    case 0:
        return frameCode == 0xC0 ? JpegCoding::Baseline : JpegCoding::Extended;
    case 1:
        return JpegCoding::Extended;
    case 2:
        return JpegCoding::Progressive;
    default:
        return JpegCoding::Lossless;
    }
}

} // namespace

void JpegReader::reset()
{
    *this = JpegReader{};
}

void JpegReader::fail(JpegProblem problem, std::uint64_t at)
{
    m_found.problem = problem;
    m_found.problemAt = at;
    m_state = State::Broken;
}

void JpegReader::onMarker(unsigned code, std::uint64_t at)
{
    if (code == kEoi) {
        if (!m_found.hasFrame)
            return fail(JpegProblem::NoFrame, at);
        if (m_found.scans == 0)
            return fail(JpegProblem::NoScan, at);
        m_found.end = at + 2;
        m_state = State::Done;
        return;
    }
    if (code == kTem) {
        m_state = State::Marker;
        return;
    }
    if (code < 0xC0 || code == kSoi || isRestart(code))
        return fail(JpegProblem::BadMarker, at);
    if (code == kSos && !m_found.hasFrame)
        return fail(JpegProblem::NoFrame, at);
    if (code == kDnl && m_found.scans == 0)
        return fail(JpegProblem::BadMarker, at);
    if (isFrameHeader(code) && m_found.hasFrame && !m_hierarchical)
        return fail(JpegProblem::BadMarker, at);
    if (code == kDhp)
        m_hierarchical = true;
    m_segment = static_cast<unsigned char>(code);
    m_segmentAt = at;
    m_state = State::Length0;
}

void JpegReader::onLength(std::uint64_t at)
{
    if (m_length < 2)
        return fail(JpegProblem::BadLength, at);
    m_left = m_length - 2;
    m_headGot = 0;
    m_headWant = 0;
    if (isFrameHeader(m_segment)) {
        if (m_left < 6)
            return fail(JpegProblem::BadFrame, m_segmentAt);
        m_headWant = 6;
    } else if (m_segment == kSos) {
        if (m_left < 6)
            return fail(JpegProblem::BadLength, at);
        m_headWant = 1;
    } else if (m_segment == kDnl) {
        if (m_left != 2)
            return fail(JpegProblem::BadLength, at);
        m_headWant = 2;
    }
    if (m_headWant > 0)
        m_state = State::Header;
    else if (m_left > 0)
        m_state = State::Skip;
    else
        afterSegment();
}

void JpegReader::onHeader(std::uint64_t at)
{
    if (isFrameHeader(m_segment)) {
        const unsigned components = m_head[5];
        const std::uint32_t width = (std::uint32_t{m_head[3]} << 8) | m_head[4];
        if (components == 0 || width == 0 || m_length != 8 + 3 * components)
            return fail(JpegProblem::BadFrame, m_segmentAt);
        if (!m_found.hasFrame) {
            m_found.precision = m_head[0];
            m_found.height = (std::uint32_t{m_head[1]} << 8) | m_head[2];
            m_found.width = width;
            m_found.components = static_cast<std::uint8_t>(components);
            m_found.coding = codingOf(m_segment);
            m_found.arithmetic = m_segment >= 0xC8;
            m_found.hasFrame = true;
        }
    } else if (m_segment == kSos) {
        const unsigned scanComponents = m_head[0];
        if (scanComponents < 1 || scanComponents > 4 || m_length != 6 + 2 * scanComponents)
            return fail(JpegProblem::BadLength, at);
    } else if (m_segment == kDnl && m_found.height == 0) {
        m_found.height = (std::uint32_t{m_head[0]} << 8) | m_head[1];
    }
    if (m_left > 0)
        m_state = State::Skip;
    else
        afterSegment();
}

void JpegReader::afterSegment()
{
    if (m_segment == kSos) {
        ++m_found.scans;
        m_state = State::Scan;
    } else {
        m_state = State::Marker;
    }
}

std::size_t JpegReader::skipScanData(const unsigned char* data, std::size_t from, std::size_t count)
{
    // Stuffed FF 00 pairs and restart markers are stepped over here, in one tight loop: they
    // are by far the most common FF bytes in the data.
    const unsigned char* cursor = data + from;
    const unsigned char* const stop = data + count;
    for (;;) {
        const void* hit = std::memchr(cursor, 0xFF, static_cast<std::size_t>(stop - cursor));
        if (hit == nullptr)
            return count;
        const auto* ff = static_cast<const unsigned char*>(hit);
        if (ff + 1 == stop || !(ff[1] == 0 || isRestart(ff[1]))) {
            m_state = State::ScanFF;
            return static_cast<std::size_t>(ff - data) + 1;
        }
        cursor = ff + 2;
    }
}

void JpegReader::feed(const unsigned char* data, std::size_t count)
{
    std::size_t i = 0;
    while (i < count) {
        switch (m_state) {
        case State::Soi0:
        case State::Soi1: {
            const unsigned want = m_state == State::Soi0 ? 0xFF : kSoi;
            if (data[i] != want)
                return fail(JpegProblem::BadMarker, m_base + i);
            m_state = m_state == State::Soi0 ? State::Soi1 : State::Marker;
            ++i;
            break;
        }
        case State::Marker:
            if (data[i] != 0xFF) {
                // Right after the start, no length can be wrong: the byte itself is.
                const bool afterSegment = m_segment != 0;
                return fail(afterSegment ? JpegProblem::BadLength : JpegProblem::BadMarker,
                            afterSegment ? m_segmentAt : m_base + i);
            }
            m_state = State::MarkerCode;
            ++i;
            break;
        case State::MarkerCode:
        case State::ScanFF: {
            const unsigned code = data[i++];
            if (code == 0xFF)
                break; // fill bytes before a marker
            if (m_state == State::ScanFF && (code == 0 || isRestart(code))) {
                m_state = State::Scan; // a stuffed FF or a restart marker inside the data
                break;
            }
            onMarker(code, m_base + i - 2);
            break;
        }
        case State::Length0:
            m_lengthHigh = data[i++];
            m_state = State::Length1;
            break;
        case State::Length1:
            m_length = (std::uint32_t{m_lengthHigh} << 8) | data[i++];
            onLength(m_base + i - 2);
            break;
        case State::Header:
            while (i < count && m_headGot < m_headWant) {
                m_head[m_headGot++] = data[i++];
                --m_left;
            }
            if (m_headGot == m_headWant)
                onHeader(m_segmentAt);
            break;
        case State::Skip: {
            const std::size_t take = std::min<std::size_t>(m_left, count - i);
            i += take;
            m_left -= static_cast<std::uint32_t>(take);
            if (m_left == 0)
                afterSegment();
            break;
        }
        case State::Scan:
            i = skipScanData(data, i, count);
            break;
        case State::Done:
        case State::Broken:
            i = count;
            break;
        }
    }
    m_base += count;
}

JpegStructure JpegReader::structure() const
{
    JpegStructure found = m_found;
    if (m_state != State::Done && m_state != State::Broken) {
        const bool inScan = m_state == State::Scan || m_state == State::ScanFF;
        found.problem = inScan ? JpegProblem::CutInScan : JpegProblem::CutInSegment;
        found.problemAt = m_base;
    }
    return found;
}

} // namespace glintmark
