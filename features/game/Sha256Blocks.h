#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace glintmark::features {

// The eight words of a SHA-256 state, A to H.
using Sha256State = std::array<std::uint32_t, 8>;

// Runs SHA-256's compression over `blocks` whole 64-byte blocks at `data`, in plain C++.
void sha256BlocksPortable(Sha256State& state, const unsigned char* data, std::size_t blocks);

// Whether this processor has the SHA extensions that sha256BlocksHardware needs.
bool sha256HardwareAvailable();

// The same as sha256BlocksPortable, with the processor's SHA instructions; only to be called
// when sha256HardwareAvailable() says so.
void sha256BlocksHardware(Sha256State& state, const unsigned char* data, std::size_t blocks);

// The round constants: the first 32 bits of the fractional parts of the cube roots of the first
// 64 primes.
extern const std::array<std::uint32_t, 64> kSha256Rounds;

} // namespace glintmark::features
