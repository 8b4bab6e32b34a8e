#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace glintmark {

// The ten bytes that open every JFIF texture: FF D8 FF E0 00 10 and "JFIF". The fifth is a zero
// byte, so the view is given its length rather than measured up to the first zero.
inline constexpr std::string_view kJfifSignature{"\xFF\xD8\xFF\xE0\x00\x10\x4A\x46\x49\x46", 10};

// Finds a fixed byte sequence in memory: the first byte is located with memchr, the rest compared.
class SignatureScanner
{
public:
    // Returned by find() when there is no match.
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    // Prepares a search for `signature`, which must not be empty.
    explicit SignatureScanner(std::string_view signature);

    // The signature's length: a match may begin in the last length() - 1 bytes of a block, so
    // those wait for the next block before they are decided.
    std::size_t length() const { return m_signature.size(); }

    // First position p in [from, end) at which a whole signature starts in `data`, or npos. The
    // caller guarantees that `data` holds at least end + length() - 1 bytes.
    std::size_t find(const char* data, std::size_t from, std::size_t end) const;

private:
    std::string m_signature;
};

} // namespace glintmark
