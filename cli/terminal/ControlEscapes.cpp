#include "cli/terminal/ControlEscapes.h"

#include <cstdio>
#include <ostream>

namespace glintmark::cli {
namespace {

constexpr unsigned char kC1Lead = 0xC2; // C1 controls are U+0080 to U+009F: C2 80 to C2 9F

std::string hexByte(unsigned char byte)
{
    char text[8] = {};
    std::snprintf(text, sizeof text, "\\x%02X", static_cast<unsigned>(byte));
    return text;
}

bool isC0OrDelete(unsigned char byte)
{
    return (byte < 0x20 && byte != '\n' && byte != '\t') || byte == 0x7F;
}

// Appends `data` escaped to `out`; `held` carries a C1 lead byte from one piece to the next.
void appendEscaped(std::string& out, std::string_view data, bool& held)
{
    for (const char c : data) {
        const auto byte = static_cast<unsigned char>(c);
        if (held) {
            held = false;
            if (byte >= 0x80 && byte <= 0x9F) {
                out += hexByte(kC1Lead) + hexByte(byte);
                continue;
            }
            out += static_cast<char>(kC1Lead);
        }
        if (byte == kC1Lead)
            held = true;
        else if (isC0OrDelete(byte))
            out += hexByte(byte);
        else
            out += c;
    }
}

} // namespace

std::string escapeControls(std::string_view text)
{
    std::string escaped;
    escaped.reserve(text.size());
    bool held = false;
    appendEscaped(escaped, text, held);
    if (held)
        escaped += static_cast<char>(kC1Lead);
    return escaped;
}

ControlEscapes::~ControlEscapes()
{
    if (m_held)
        m_target.put(static_cast<char>(kC1Lead));
}

ControlEscapes::int_type ControlEscapes::overflow(int_type c)
{
    if (traits_type::eq_int_type(c, traits_type::eof()))
        return traits_type::not_eof(c);
    const char byte = traits_type::to_char_type(c);
    return xsputn(&byte, 1) == 1 ? c : traits_type::eof();
}

std::streamsize ControlEscapes::xsputn(const char_type* data, std::streamsize count)
{
    std::string escaped;
    appendEscaped(escaped, std::string_view(data, static_cast<std::size_t>(count)), m_held);
    m_target.write(escaped.data(), static_cast<std::streamsize>(escaped.size()));
    return m_target.good() ? count : 0;
}

int ControlEscapes::sync()
{
    m_target.flush();
    return m_target.good() ? 0 : -1;
}

} // namespace glintmark::cli
