#include "features/putback/NewLevelCheck.h"

#include "engine/jpeg/JpegReader.h"
#include "features/check/JpegDecode.h"

#include <algorithm>
#include <cstring>

namespace glintmark::features {

NewLevelCheck::NewLevelCheck(std::vector<std::uint64_t> signatures,
                             const std::vector<Replacement>& replaced)
    : m_signatures(std::move(signatures)), m_replaced(replaced), m_scanner(kJfifSignature)
{}

void NewLevelCheck::fail(std::string what)
{
    if (!m_problem)
        m_problem = std::move(what);
}

void NewLevelCheck::feed(const char* source, const char* written, std::size_t count)
{
    // Signatures: those that begin in the bytes carried from the last block, then the rest.
    const std::size_t keep = m_scanner.length() - 1;
    const auto scan = [&](const char* data, std::size_t end, std::uint64_t base) {
        for (std::size_t hit = m_scanner.find(data, 0, end); hit != SignatureScanner::npos;
             hit = m_scanner.find(data, hit + 1, end)) {
            if (m_nextSignature < m_signatures.size() &&
                m_signatures[m_nextSignature] == base + hit)
                ++m_nextSignature;
            else
                fail("it has a signature at byte " + std::to_string(base + hit) +
                     " that the source has not");
        }
    };
    if (count >= keep) {
        std::string boundary = m_tail;
        boundary.append(written, keep);
        scan(boundary.data(), m_tail.size(), m_at - m_tail.size());
        scan(written, count - keep, m_at);
        m_tail.assign(written + count - keep, keep);
    } else {
        std::string window = m_tail + std::string(written, count);
        const std::size_t decided = window.size() > keep ? window.size() - keep : 0;
        scan(window.data(), decided, m_at - m_tail.size());
        m_tail = window.substr(decided);
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

void NewLevelCheck::checkRange()
{
    const Replacement& range = m_replaced[m_nextRange++];
    const std::string where = "image " + std::to_string(range.number);
    JpegReader reader;
    reader.feed(reinterpret_cast<const unsigned char*>(m_range.data()), m_range.size());
    const JpegStructure jpeg = reader.structure();
    if (!jpeg.end || *jpeg.end != range.bytes.size()) {
        fail(where + " is not whole where it was put back");
    } else if (m_range.find_first_not_of('\0', range.bytes.size()) != std::string::npos) {
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
    if (m_nextSignature != m_signatures.size())
        fail("the signature at byte " + std::to_string(m_signatures[m_nextSignature]) +
             " is missing");
    return m_problem;
}

} // namespace glintmark::features
