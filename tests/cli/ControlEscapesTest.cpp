// Text on its way to a terminal: control characters shown, not obeyed.
#include "cli/terminal/ControlEscapes.h"

#include "FailingStream.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace glintmark::cli {
namespace {

// `text` in plain ASCII, for comparing and printing: every byte outside printable ASCII, and the
// backslash, as \xHH. Two texts are equal exactly when their visible forms are.
std::string visible(const std::string& text)
{
    std::string shown;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
            shown += c;
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned>(byte));
            shown += hex;
        }
    }
    return shown;
}

TEST(ControlEscapes, ControlCharactersAreWrittenOutAndTheRestKept)
{
    const std::pair<std::string, std::string> cases[] = {
        {"level.ldb", "level.ldb"},
        {"x\x1b]0;owned\a\x1b[2J.ldb", "x\\x1B]0;owned\\x07\\x1B[2J.ldb"},
        {std::string("a\0b", 3), "a\\x00b"},
        {"\r\b\x1f\x7f", "\\x0D\\x08\\x1F\\x7F"},
        {"line\n\tindented\n", "line\n\tindented\n"}, // the report's own layout
        {" ~\x20", " ~ "},
        {"C1 CSI \xc2\x9b"
         "2J, NEL \xc2\x85",
         "C1 CSI \\xC2\\x9B2J, NEL \\xC2\\x85"},
        {"\xc2\x80\xc2\x9f", "\\xC2\\x80\\xC2\\x9F"},
        {"\xc2\xa3 \xc2\x7f", "\xc2\xa3 \xc2\\x7F"}, // a pound sign; C2 then DEL
        {"caf\xc3\xa9 \xe2\x80\x94 \xc3\x9b", "caf\xc3\xa9 \xe2\x80\x94 \xc3\x9b"}, // other UTF-8
        {"C:\\levels\\a.ldb", "C:\\levels\\a.ldb"},
        {"ends in a lead \xc2", "ends in a lead \xc2"},
        {"\xc2\xc2\x9b", "\xc2\\xC2\\x9B"},
        {"\x9b lone", "\x9b lone"}, // not UTF-8: no terminal in UTF-8 takes it for a control
    };
    for (const auto& [text, shown] : cases) {
        SCOPED_TRACE(visible(text)); // the texts are not all UTF-8
        EXPECT_EQ(visible(escapeControls(text)), visible(shown));
        // The same through the stream buffer, also when written a byte at a time.
        for (const bool bytewise : {false, true}) {
            std::ostringstream target;
            {
                ControlEscapes escapes(target);
                std::ostream stream(&escapes);
                if (bytewise) {
                    for (const char c : text)
                        stream.put(c);
                } else {
                    stream << text;
                }
                stream.flush();
                EXPECT_TRUE(stream.good());
            }
            EXPECT_EQ(visible(target.str()), visible(shown))
                << (bytewise ? "a byte at a time" : "at once");
        }
    }
}

TEST(ControlEscapes, TheStreamFailsWhenItsTargetDoes)
{
    clitest::FailingBuffer buffer(6, ENOSPC);
    std::ostream target(&buffer);
    ControlEscapes escapes(target);
    std::ostream stream(&escapes);
    stream << "a\x1b" << std::flush; // "a\x1B": 5 bytes
    EXPECT_TRUE(stream.good());
    stream << "bc" << std::flush;
    EXPECT_FALSE(stream.good());
    EXPECT_EQ(buffer.taken(), "a\\x1B");
}

} // namespace
} // namespace glintmark::cli
