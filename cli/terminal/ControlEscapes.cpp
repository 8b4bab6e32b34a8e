#include "cli/terminal/ControlEscapes.h"

#include "engine/names/Utf8.h"

#include <cstdio>
#include <ostream>

namespace glintmark::cli {
namespace {

void appendHex(std::string& out, unsigned char byte)
{
    char text[8] = {};
    std::snprintf(text, sizeof text, "\\x%02X", static_cast<unsigned>(byte));
    out += text;
}

// Whether the single byte `byte` (below 0x80) is a control a terminal would obey.
bool isControl(unsigned char byte, bool keepLayout)
{
    if (keepLayout && (byte == '\n' || byte == '\t'))
        return false;
    return byte < 0x20 || byte == 0x7F;
}

} // namespace

void Utf8Escaper::append(std::string& out, std::string_view data)
{
    for (const char c : data)
        take(out, static_cast<unsigned char>(c));
}

void Utf8Escaper::finish(std::string& out)
{
    release(out);
}

void Utf8Escaper::release(std::string& out)
{
    for (std::size_t i = 0; i < m_have; ++i)
        appendHex(out, m_pending[i]);
    m_have = 0;
}

void Utf8Escaper::take(std::string& out, unsigned char byte)
{
    if (m_have > 0) {
        const bool fits = m_have == 1 ? utf8FitsSecond(m_pending[0], byte) : (byte & 0xC0) == 0x80;
        if (!fits) {
            release(out); // a character cut short: its bytes are not UTF-8
        } else {
            m_pending[m_have++] = byte;
            if (m_have < m_need)
                return;
            // U+0080 to U+009F are the C1 controls.
            const bool c1 = m_pending[0] == 0xC2 && m_pending[1] <= 0x9F;
            if (c1)
                release(out);
            else
                out.append(reinterpret_cast<const char*>(m_pending.data()), m_have);
            m_have = 0;
            return;
        }
    }
    if (byte < 0x80) {
        if (isControl(byte, m_keepLayout))
            appendHex(out, byte);
        else
            out += static_cast<char>(byte);
        return;
    }
    m_need = utf8Length(byte);
    if (m_need == 0) {
        appendHex(out, byte);
        return;
    }
    m_pending[0] = byte;
    m_have = 1;
}

std::string escapeControls(std::string_view text)
{
    std::string escaped;
    escaped.reserve(text.size());
    Utf8Escaper escaper(true);
    escaper.append(escaped, text);
    escaper.finish(escaped);
    return escaped;
}

std::string escapeLabel(std::string_view text)
{
    std::string escaped;
    escaped.reserve(text.size());
    Utf8Escaper escaper(false);
    escaper.append(escaped, text);
    escaper.finish(escaped);
    return escaped;
}

ControlEscapes::~ControlEscapes()
{
    std::string rest;
    m_escaper.finish(rest);
    if (!rest.empty())
        m_target.write(rest.data(), static_cast<std::streamsize>(rest.size()));
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
    m_escaper.append(escaped, std::string_view(data, static_cast<std::size_t>(count)));
    m_target.write(escaped.data(), static_cast<std::streamsize>(escaped.size()));
    return m_target.good() ? count : 0;
}

int ControlEscapes::sync()
{
    m_target.flush();
    return m_target.good() ? 0 : -1;
}

} // namespace glintmark::cli
