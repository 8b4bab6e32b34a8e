#include "features/putback/NewLevelCheck.h"

#include "engine/jpeg/JpegReader.h"
#include "features/check/JpegDecode.h"

#include <algorithm>
#include <cstring>

namespace glintmark::features {

NewLevelCheck::NewLevelCheck(std::uint64_t size, std::uint64_t signatures,
                             const std::vector<Replacement>& replaced)
    : m_size(size), m_signatures(signatures), m_replaced(replaced), m_scanner(kJfifSignature)
{}

void NewLevelCheck::fail(std::string what)
{
    if (!m_problem)
        m_problem = std::move(what);
}

void NewLevelCheck::findSignatures(const char* bytes, std::size_t count, std::string& tail,
                                   std::vector<std::uint64_t>& found) const
{
    found.clear();
    const std::size_t keep = m_scanner.length() - 1;
    const auto scan = [&](const char* data, std::size_t end, std::uint64_t base) {
        for (std::size_t hit = m_scanner.find(data, 0, end); hit != SignatureScanner::npos;
             hit = m_scanner.find(data, hit + 1, end))
            found.push_back(base + hit);
    };
    // Those that begin in the bytes carried from the last block, then the rest.
    if (count >= keep) {
        std::string boundary = tail;
        boundary.append(bytes, keep);
        scan(boundary.data(), tail.size(), m_at - tail.size());
        scan(bytes, count - keep, m_at);
        tail.assign(bytes + count - keep, keep);
    } else {
        std::string window = tail + std::string(bytes, count);
        const std::size_t decided = window.size() > keep ? window.size() - keep : 0;
        scan(window.data(), decided, m_at - tail.size());
        tail = window.substr(decided);
    }
}

void NewLevelCheck::feed(const char* source, const char* written, std::size_t count)
{
    // Signatures: both streams are decided up to the same byte, so each block's lists pair off.
    findSignatures(source, count, m_sourceTail, m_inSource);
    findSignatures(written, count, m_writtenTail, m_inWritten);
    m_found += m_inWritten.size();
    auto mine = m_inWritten.begin();
    auto theirs = m_inSource.begin();
    while (mine != m_inWritten.end() || theirs != m_inSource.end()) {
        if (theirs == m_inSource.end() || (mine != m_inWritten.end() && *mine < *theirs)) {
            fail("it has a signature at byte " + std::to_string(*mine++) +
                 " that the source has not");
        } else if (mine == m_inWritten.end() || *theirs < *mine) {
            fail("the signature at byte " + std::to_string(*theirs++) + " is missing");
        } else {
            ++mine;
            ++theirs;
        }
    }

    // Bytes: equal outside the replaced ranges; inside, gathered to be read as an image.
    std::size_t done = 0;
    while (done < count) {
        const std::uint64_t at = m_at + done;
        const Replacement* range =
            m_nextRange < m_replaced.size() ? &m_replaced[m_nextRange] : nullptr;
        if (range && at >= range->offset) {
            const std::size_t take = static_cast<std::size_t>(
                std::min<std::uint64_t>(count - done, range->offset + range->end - at));
            m_range.append(written + done, take);
            done += take;
            if (m_range.size() == range->end)
                checkRange();
            continue;
        }
        const std::size_t take = static_cast<std::size_t>(
            std::min<std::uint64_t>(count - done, range ? range->offset - at : count - done));
        if (std::memcmp(source + done, written + done, take) != 0) {
            std::size_t i = 0;
            while (source[done + i] == written[done + i])
                ++i;
            fail("byte " + std::to_string(at + i) + " changed outside the replaced images");
        }
        done += take;
    }
    m_at += count;
}

void NewLevelCheck::copied(std::uint64_t count)
{
    if (m_nextRange < m_replaced.size()) {
        const Replacement& range = m_replaced[m_nextRange];
        if (m_at + count + (m_scanner.length() - 1) > range.offset)
            fail("bytes of image " + std::to_string(range.number) + " were copied unchecked");
    }
    // Signatures across the end of the copied bytes lie wholly in the source's own bytes.
    m_sourceTail.clear();
    m_writtenTail.clear();
    m_at += count;
    m_copied = true;
}

void NewLevelCheck::checkRange()
{
    const Replacement& range = m_replaced[m_nextRange++];
    const std::string where = "image " + std::to_string(range.number);
    JpegReader reader;
    reader.feed(reinterpret_cast<const unsigned char*>(m_range.data()), m_range.size());
    const JpegStructure jpeg = reader.structure();
    if (!jpeg.end || *jpeg.end != range.length) {
        fail(where + " is not whole where it was put back");
    } else if (m_range.find_first_not_of('\0', range.length) != std::string::npos) {
        fail(where + " is not followed by zero bytes up to its old end");
    } else {
        const DecodeResult decoded =
            decodeJpeg(reinterpret_cast<const unsigned char*>(m_range.data()), *jpeg.end);
        if (!decoded.decodes())
            fail(where + " does not decode where it was put back: " + decoded.message);
    }
    m_range.clear();
    m_range.shrink_to_fit();
}

std::optional<std::string> NewLevelCheck::finish()
{
    if (m_nextRange != m_replaced.size())
        fail("image " + std::to_string(m_replaced[m_nextRange].number) + " was not written whole");
    if (m_at != m_size)
        fail("it is " + std::to_string(m_at) + " bytes long, the source " + std::to_string(m_size));
    else if (!m_copied && m_found != m_signatures)
        fail("it has " + std::to_string(m_found) + " signatures where the source has " +
             std::to_string(m_signatures));
    return m_problem;
}

} // namespace glintmark::features
