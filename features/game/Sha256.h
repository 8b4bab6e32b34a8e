#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace glintmark::features {

// A SHA-256 digest (FIPS 180-4), the name a texture goes by in the game's index.
using Digest = std::array<unsigned char, 32>;

// Hashes bytes handed over piece by piece, in pieces of any size; a few hundred bytes of state.
class Sha256
{
public:
    // With `portable`, plain C++ does the hashing even where the processor's SHA instructions
    // could (to compare the two); otherwise they do it where the processor has them.
    explicit Sha256(bool portable = false);
    // Adds the next bytes.
    void add(const unsigned char* data, std::size_t count);
    // The digest of everything added; the hash then starts over.
    Digest finish();

private:
    void compress(const unsigned char* data, std::size_t blocks);

    std::array<std::uint32_t, 8> m_state{};
    std::array<unsigned char, 64> m_pending{};
    std::size_t m_pendingCount = 0;
    std::uint64_t m_total = 0; // bytes added
    bool m_hardware = false;   // the processor's SHA instructions compress
};

// The digest in lower-case hexadecimal, as sha256sum writes it.
std::string digestHex(const Digest& digest);

// The digest that `hex` writes as digestHex does (64 lower-case hex digits); none for other text.
std::optional<Digest> digestFromHex(std::string_view hex);

} // namespace glintmark::features
