#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace glintmark {

// The hexadecimal text of the ten bytes that open every JFIF texture.
inline constexpr std::string_view kJfifSignatureHex = "FFD8FFE000104A464946";

// Value (0 to 255) of a group of one or two hex characters; a non-hex character counts as 0.
std::int16_t HexPairValue(std::string_view group);

// Decodes hexadecimal text, two characters a byte with the high digit first, into a byte string.
std::string HexToBytes(std::string_view text);

} // namespace glintmark
