#include "engine/names/Utf8.h"

#include <cstdio>

namespace glintmark {

std::size_t utf8Length(unsigned char lead)
{
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 0;
}

bool utf8FitsSecond(unsigned char lead, unsigned char byte)
{
    switch (lead) {
    case 0xE0:
        return byte >= 0xA0 && byte <= 0xBF;
    case 0xED:
        return byte >= 0x80 && byte <= 0x9F;
    case 0xF0:
        return byte >= 0x90 && byte <= 0xBF;
    case 0xF4:
        return byte >= 0x80 && byte <= 0x8F;
    default:
        return byte >= 0x80 && byte <= 0xBF;
    }
}

std::size_t utf8CharacterAt(std::string_view text, std::size_t at)
{
    const auto lead = static_cast<unsigned char>(text[at]);
    const std::size_t length = utf8Length(lead);
    if (length == 0 || at + length > text.size())
        return 0;
    if (length > 1 && !utf8FitsSecond(lead, static_cast<unsigned char>(text[at + 1])))
        return 0;
    for (std::size_t k = 2; k < length; ++k) {
        if ((static_cast<unsigned char>(text[at + k]) & 0xC0) != 0x80)
            return 0;
    }
    return length;
}

std::string escapedName(std::string_view text)
{
    std::string name;
    name.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        if (text[at] == '\\') {
            name += "\\\\";
            ++at;
            continue;
        }
        if (const std::size_t length = utf8CharacterAt(text, at); length > 0) {
            name.append(text.substr(at, length));
            at += length;
            continue;
        }
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(text[at]));
        name += hex;
        ++at;
    }
    return name;
}

} // namespace glintmark
