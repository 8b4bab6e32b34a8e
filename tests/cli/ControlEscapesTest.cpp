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
        {"\xc2\xa3 \xc2\x7f", "\xc2\xa3 \\xC2\\x7F"}, // a pound sign; C2 cut short by DEL
        {"caf\xc3\xa9 \xe2\x80\x94 \xc3\x9b \xf0\x9f\x98\x80 \xf4\x8f\xbf\xbf",
         "caf\xc3\xa9 \xe2\x80\x94 \xc3\x9b \xf0\x9f\x98\x80 \xf4\x8f\xbf\xbf"}, // other UTF-8
        {"C:\\levels\\a.ldb", "C:\\levels\\a.ldb"},
        {"\xc2\xa0\xc2\x9f", "\xc2\xa0\\xC2\\x9F"}, // the first after the C1 controls is kept
        // bytes that are not part of valid UTF-8, each written out
        {"\x9b"
         "2J lone",
         "\\x9B2J lone"},                                      // an 8-bit terminal's CSI
        {"\x80\x85\x9f\xa0\xbf", "\\x80\\x85\\x9F\\xA0\\xBF"}, // continuations alone
        {"\xc0\xaf \xc1\xbf", "\\xC0\\xAF \\xC1\\xBF"},        // overlong
        {"\xe0\x80\xaf \xf0\x80\x80\xaf", "\\xE0\\x80\\xAF \\xF0\\x80\\x80\\xAF"},
        {"\xed\xa0\x80", "\\xED\\xA0\\x80"},                              // a surrogate
        {"\xf4\x90\x80\x80 \xf5\xff", "\\xF4\\x90\\x80\\x80 \\xF5\\xFF"}, // past U+10FFFF
        {"ends in a lead \xc2", "ends in a lead \\xC2"},
        {"cut \xe2\x80", "cut \\xE2\\x80"},
        {"\xe2\x80\x1b[2J", "\\xE2\\x80\\x1B[2J"}, // a cut character, then ESC
        {"\xc2\xc2\x9b", "\\xC2\\xC2\\x9B"},
        {"\xe2\xc2\x9b\xc3\xa9", "\\xE2\\xC2\\x9B\xc3\xa9"}, // a new lead starts over
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

TEST(ControlEscapes, ALabelStaysOnOneLine)
{
    const std::pair<std::string, std::string> cases[] = {
        {"maps/castle.ldb", "maps/castle.ldb"},
        {"a\tb\nc\r.ldb", "a\\x09b\\x0Ac\\x0D.ldb"},
        {"\x1b[2J\xc2\x9b\x9b", "\\x1B[2J\\xC2\\x9B\\x9B"},
        {"caf\xc3\xa9", "caf\xc3\xa9"},
    };
    for (const auto& [text, shown] : cases) {
        SCOPED_TRACE(visible(text));
        EXPECT_EQ(visible(escapeLabel(text)), visible(shown));
        // What is written out is written out once: the result passes through unchanged.
        EXPECT_EQ(visible(escapeLabel(escapeLabel(text))), visible(shown));
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
