#include "engine/jpeg/SignatureScanner.h"

#include <cstring>

namespace glintmark {

SignatureScanner::SignatureScanner(std::string_view signature) : m_signature(signature) {}

std::size_t SignatureScanner::find(const char* data, std::size_t from, std::size_t end) const
{
    if (m_signature.empty() || from >= end)
        return npos;
    const char first = m_signature.front();
    const char* rest = m_signature.data() + 1;
    const std::size_t restSize = m_signature.size() - 1;
    const char* cursor = data + from;
    const char* const limit = data + end;
    while (cursor < limit) {
        const void* hit = std::memchr(cursor, first, static_cast<std::size_t>(limit - cursor));
        if (hit == nullptr)
            return npos;
        const char* candidate = static_cast<const char*>(hit);
        // In JPEG data the first byte (FF) is common and almost never followed by the second
        // (D8): comparing that one byte first saves a call for nearly every candidate.
        if (restSize == 0 ||
            (candidate[1] == rest[0] && std::memcmp(candidate + 1, rest, restSize) == 0))
            return static_cast<std::size_t>(candidate - data);
        cursor = candidate + 1;
    }
    return npos;
}

} // namespace glintmark
