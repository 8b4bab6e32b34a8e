#pragma once

#include <array>
#include <cstddef>
#include <iosfwd>
#include <streambuf>
#include <string>
#include <string_view>

namespace glintmark::cli {

// `text` as a terminal may safely be given it: every C0 control but the line end and the tab,
// DEL, every C1 control (U+0080 to U+009F, in UTF-8 C2 80 to C2 9F) and every byte that is not
// part of valid UTF-8 (a lone 9B, which an 8-bit terminal takes for the start of a control
// sequence; a cut or overlong sequence; a surrogate) become "\xHH" per byte, so a name holding
// ESC "[2J" is shown as "\x1B[2J" and does not clear the screen. Everything else, other UTF-8
// and backslashes included, is kept.
std::string escapeControls(std::string_view text);

// The same for text that must stay on one line, such as a bar's label: the line end and the tab
// are written out too.
std::string escapeLabel(std::string_view text);

// Sorts bytes, one at a time, into what a terminal may be given and what is written out, as
// escapeControls() does; a character split between two pieces is held back until it is whole.
class Utf8Escaper
{
public:
    explicit Utf8Escaper(bool keepLayout) : m_keepLayout(keepLayout) {}
    // Appends `data`, escaped, to `out`, holding back the start of a character it ends in.
    void append(std::string& out, std::string_view data);
    // Appends what is held back, which can no longer become a whole character, escaped.
    void finish(std::string& out);

private:
    void take(std::string& out, unsigned char byte);
    void release(std::string& out);

    bool m_keepLayout;
    std::array<unsigned char, 4> m_pending{};
    std::size_t m_have = 0; // bytes of the character begun so far
    std::size_t m_need = 0; // bytes the whole character has
};

// A stream buffer in front of a stream that reaches a terminal: what passes through is escaped
// as escapeControls does. It holds nothing back but the start of a UTF-8 character whose rest
// has not come yet, and fails when its target fails.
class ControlEscapes : public std::streambuf
{
public:
    // Passes escaped text on to `target`.
    explicit ControlEscapes(std::ostream& target) : m_target(target) {}
    // Passes on what is still held back, escaped.
    ~ControlEscapes() override;
    ControlEscapes(const ControlEscapes&) = delete;
    ControlEscapes& operator=(const ControlEscapes&) = delete;

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char_type* data, std::streamsize count) override;
    int sync() override;

private:
    std::ostream& m_target;
    Utf8Escaper m_escaper{true};
};

} // namespace glintmark::cli
