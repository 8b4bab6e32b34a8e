#pragma once

#include <iosfwd>
#include <streambuf>
#include <string>
#include <string_view>

namespace glintmark::cli {

// `text` with its control characters written out, so that a terminal shows them rather than
// obeys them: every C0 control but the line end and the tab, DEL, and the C1 controls in their
// UTF-8 form become "\xHH" per byte (a name holding ESC "[2J" is shown as "\x1B[2J", and
// does not clear the screen). Everything else, other UTF-8 and backslashes included, is kept.
std::string escapeControls(std::string_view text);

// A stream buffer in front of a stream that reaches a terminal: what passes through has its
// control characters written out as escapeControls does. It holds nothing back but the first byte
// of a character that may be a C1 control, and fails when its target fails.
class ControlEscapes : public std::streambuf
{
public:
    // Passes escaped text on to `target`.
    explicit ControlEscapes(std::ostream& target) : m_target(target) {}
    // Passes on a byte still held back.
    ~ControlEscapes() override;
    ControlEscapes(const ControlEscapes&) = delete;
    ControlEscapes& operator=(const ControlEscapes&) = delete;

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char_type* data, std::streamsize count) override;
    int sync() override;

private:
    std::ostream& m_target;
    bool m_held = false; // a 0xC2 byte waits for the next, with which it may be a C1 control
};

} // namespace glintmark::cli
