#include "engine/names/WindowsNames.h"

#include "engine/io/PathText.h"
#include "engine/names/CaseFold.h"

#include <algorithm>
#include <array>

namespace glintmark {
namespace {

// How many bytes the UTF-8 sequence led by `lead` takes; 0 when no sequence starts with it.
std::size_t sequenceLength(unsigned char lead)
{
    if (lead < 0x80)
        return 1;
    if (lead < 0xC2)
        return 0;
    if (lead < 0xE0)
        return 2;
    if (lead < 0xF0)
        return 3;
    return lead < 0xF5 ? 4 : 0;
}

// Decodes the code point at `text[i]` and moves `i` past it; a byte that does not start a
// well-formed sequence is taken on its own and returned as 0xFFFFFFFF.
char32_t nextCodePoint(std::string_view text, std::size_t& i)
{
    constexpr char32_t kInvalid = 0xFFFFFFFF;
    const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
    const unsigned char lead = byte(i);
    const std::size_t length = sequenceLength(lead);
    if (length == 0 || i + length > text.size()) {
        ++i;
        return length == 1 ? lead : kInvalid;
    }
    char32_t c = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            ++i;
            return kInvalid;
        }
        c = (c << 6) | (byte(i + k) & 0x3F);
    }
    constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < kSmallest[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        ++i;
        return kInvalid;
    }
    i += length;
    return c;
}

void appendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
        return;
    }
    const int extra = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
    constexpr unsigned char kLead[] = {0, 0xC0, 0xE0, 0xF0};
    out += static_cast<char>(kLead[extra] | (c >> (6 * extra)));
    for (int k = extra - 1; k >= 0; --k)
        out += static_cast<char>(0x80 | ((c >> (6 * k)) & 0x3F));
}

} // namespace

bool isReservedDeviceName(const std::filesystem::path& name)
{
    std::string base = displayPath(name);
    base = base.substr(0, base.find('.'));
    while (!base.empty() && base.back() == ' ')
        base.pop_back();
    for (char& c : base) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    static constexpr std::array<std::string_view, 6> kPlain = {"CON", "PRN",    "AUX",
                                                               "NUL", "CONIN$", "CONOUT$"};
    if (std::find(kPlain.begin(), kPlain.end(), base) != kPlain.end())
        return true;
    if (base.rfind("COM", 0) != 0 && base.rfind("LPT", 0) != 0)
        return false;
    // COM1 to COM9 and LPT1 to LPT9, and the same with a superscript one, two or three.
    const std::string_view number = std::string_view(base).substr(3);
    return (number.size() == 1 && number[0] >= '1' && number[0] <= '9') || number == "\xC2\xB9" ||
           number == "\xC2\xB2" || number == "\xC2\xB3";
}

std::filesystem::path reservedDevicePart(const std::filesystem::path& path)
{
    for (const std::filesystem::path& part : path.relative_path()) {
        if (isReservedDeviceName(part))
            return part;
    }
    return {};
}

std::string windowsNameKey(std::string_view utf8Name)
{
    const std::size_t kept = utf8Name.find_last_not_of(". ");
    utf8Name = utf8Name.substr(0, kept == std::string_view::npos ? 0 : kept + 1);
    std::string key;
    key.reserve(utf8Name.size());
    for (std::size_t i = 0; i < utf8Name.size();) {
        const std::size_t start = i;
        const char32_t c = nextCodePoint(utf8Name, i);
        if (c == 0xFFFFFFFF)
            key.append(utf8Name.substr(start, i - start));
        else
            appendUtf8(key, foldCase(c));
    }
    return key;
}

} // namespace glintmark
