#include "features/game/Sha256.h"

#include "features/game/Sha256Blocks.h"

#include <algorithm>
#include <cstring>

namespace glintmark::features {

// The first 32 bits of the fractional parts of the cube roots of the first 64 primes.
const std::array<std::uint32_t, 64> kSha256Rounds = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

namespace {

// The first 32 bits of the fractional parts of the square roots of the first 8 primes.
constexpr std::array<std::uint32_t, 8> kInitial = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                                   0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

std::uint32_t rotateRight(std::uint32_t value, unsigned bits)
{
    return (value >> bits) | (value << (32U - bits));
}

// Whether the processor's SHA instructions do the work; asked once.
bool useHardware()
{
    static const bool available = sha256HardwareAvailable();
    return available;
}

void compressBlock(Sha256State& state, const unsigned char* block)
{
    std::array<std::uint32_t, 64> w{};
    for (std::size_t i = 0; i < 16; ++i) {
        w[i] = (std::uint32_t{block[4 * i]} << 24) | (std::uint32_t{block[4 * i + 1]} << 16) |
               (std::uint32_t{block[4 * i + 2]} << 8) | std::uint32_t{block[4 * i + 3]};
    }
    for (std::size_t i = 16; i < 64; ++i) {
        const std::uint32_t s0 =
            rotateRight(w[i - 15], 7) ^ rotateRight(w[i - 15], 18) ^ (w[i - 15] >> 3);
        const std::uint32_t s1 =
            rotateRight(w[i - 2], 17) ^ rotateRight(w[i - 2], 19) ^ (w[i - 2] >> 10);
        w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    std::uint32_t a = state[0];
    std::uint32_t b = state[1];
    std::uint32_t c = state[2];
    std::uint32_t d = state[3];
    std::uint32_t e = state[4];
    std::uint32_t f = state[5];
    std::uint32_t g = state[6];
    std::uint32_t h = state[7];
    for (std::size_t i = 0; i < 64; ++i) {
        const std::uint32_t s1 = rotateRight(e, 6) ^ rotateRight(e, 11) ^ rotateRight(e, 25);
        const std::uint32_t choose = (e & f) ^ (~e & g);
        const std::uint32_t t1 = h + s1 + choose + kSha256Rounds[i] + w[i];
        const std::uint32_t s0 = rotateRight(a, 2) ^ rotateRight(a, 13) ^ rotateRight(a, 22);
        const std::uint32_t majority = (a & b) ^ (a & c) ^ (b & c);
        const std::uint32_t t2 = s0 + majority;
        h = g;
        g = f;
        f = e;
        e = d + t1;
        d = c;
        c = b;
        b = a;
        a = t1 + t2;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
    state[5] += f;
    state[6] += g;
    state[7] += h;
}

} // namespace

void sha256BlocksPortable(Sha256State& state, const unsigned char* data, std::size_t blocks)
{
    for (; blocks > 0; --blocks, data += 64)
        compressBlock(state, data);
}

Sha256::Sha256(bool portable) : m_state(kInitial), m_hardware(!portable && useHardware()) {}

void Sha256::compress(const unsigned char* data, std::size_t blocks)
{
    if (m_hardware)
        sha256BlocksHardware(m_state, data, blocks);
    else
        sha256BlocksPortable(m_state, data, blocks);
}

void Sha256::add(const unsigned char* data, std::size_t count)
{
    m_total += count;
    if (m_pendingCount > 0) {
        const std::size_t take = std::min(count, m_pending.size() - m_pendingCount);
        std::memcpy(m_pending.data() + m_pendingCount, data, take);
        m_pendingCount += take;
        data += take;
        count -= take;
        if (m_pendingCount < m_pending.size())
            return;
        compress(m_pending.data(), 1);
        m_pendingCount = 0;
    }
    if (count >= 64) {
        compress(data, count / 64);
        data += count - count % 64;
        count %= 64;
    }
    if (count > 0) {
        std::memcpy(m_pending.data(), data, count);
        m_pendingCount = count;
    }
}

Digest Sha256::finish()
{
    const std::uint64_t bits = m_total * 8;
    // A single 1 bit, zeros up to 56 bytes into a block, then the length in bits.
    std::array<unsigned char, 72> tail{};
    tail[0] = 0x80;
    const std::size_t zeros = (m_pendingCount < 56 ? 56 : 120) - m_pendingCount;
    for (std::size_t i = 0; i < 8; ++i)
        tail[zeros + i] = static_cast<unsigned char>(bits >> (56 - 8 * i));
    add(tail.data(), zeros + 8);

    Digest digest{};
    for (std::size_t i = 0; i < 8; ++i) {
        for (std::size_t j = 0; j < 4; ++j)
            digest[4 * i + j] = static_cast<unsigned char>(m_state[i] >> (24 - 8 * j));
    }
    m_state = kInitial;
    m_pendingCount = 0;
    m_total = 0;
    return digest;
}

std::string digestHex(const Digest& digest)
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    text.reserve(64);
    for (const unsigned char byte : digest) {
        text += kHex[byte >> 4];
        text += kHex[byte & 0x0F];
    }
    return text;
}

std::optional<Digest> digestFromHex(std::string_view hex)
{
    Digest digest{};
    if (hex.size() != digest.size() * 2)
        return std::nullopt;
    int nibbles[2] = {};
    for (std::size_t i = 0; i < digest.size(); ++i) {
        for (int half = 0; half < 2; ++half) {
            const char c = hex[2 * i + half];
            if (c >= '0' && c <= '9')
                nibbles[half] = c - '0';
            else if (c >= 'a' && c <= 'f')
                nibbles[half] = c - 'a' + 10;
            else
                return std::nullopt;
        }
        digest[i] = static_cast<unsigned char>(nibbles[0] << 4 | nibbles[1]);
    }
    return digest;
}

} // namespace glintmark::features
