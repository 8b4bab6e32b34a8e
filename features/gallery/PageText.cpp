#include "features/gallery/PageText.h"

#include "engine/LockedFolder.h"
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

bool writePage(FileWriter& page, const PageParts& parts, std::size_t count,
               const std::function<std::string(std::size_t)>& figureAt,
               const std::function<bool()>& keepGoing)
{
    // Bytes of the page gathered before they go to its file.
    constexpr std::size_t kPiece = std::size_t{64} << 10;
    std::string piece = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                        "<meta name=\"viewport\" content=\"width=device-width\">\n<title>" +
                        parts.title + " &ndash; textures</title>\n<style>\n" +
                        std::string(kPageStyle) + std::string(parts.style) + "</style>\n" +
                        std::string(parts.script) + "</head>\n<body>\n<header>\n<h1>" +
                        parts.title + "</h1>\n" + parts.header + "</header>\n<main id=\"grid\">\n";
    for (std::size_t i = 0; i < count; ++i) {
        piece += figureAt(i);
        if (piece.size() >= kPiece) {
            if (!page.write(piece) || !keepGoing())
                return false;
            piece.clear();
        }
    }
    piece += "</main>\n</body>\n</html>\n";
    return page.write(piece) && keepGoing();
}

} // namespace glintmark::features
