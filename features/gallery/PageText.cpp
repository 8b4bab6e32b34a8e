#include "features/gallery/PageText.h"

#include "engine/io/PathText.h"

#include <cstdio>

namespace glintmark::features {

std::string htmlEscaped(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string sizeText(std::uint64_t bytes)
{
    char text[32];
    if (bytes < 1024)
        std::snprintf(text, sizeof text, "%llu B", static_cast<unsigned long long>(bytes));
    else
        std::snprintf(text, sizeof text, "%.1f KB", static_cast<double>(bytes) / 1024.0);
    return text;
}

std::string hrefOf(const std::filesystem::path& relative)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string href;
    bool firstPart = true;
    for (const std::filesystem::path& part : relative) {
        if (!firstPart)
            href += '/';
        firstPart = false;
        for (const char c : displayPath(part)) {
            const auto byte = static_cast<unsigned char>(c);
            const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                               (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' ||
                               c == '~';
            if (plain) {
                href += c;
            } else {
                href += '%';
                href += kHex[byte >> 4];
                href += kHex[byte & 0x0F];
            }
        }
    }
    return href;
}

} // namespace glintmark::features
