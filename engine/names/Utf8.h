#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace glintmark {

// The bytes of the UTF-8 character that `lead` begins, or 0 when no valid character begins
// with it (a continuation byte, C0 and C1, which only begin overlong forms, F5 and above);
// 1 for ASCII.
std::size_t utf8Length(unsigned char lead);

// Whether `byte` may stand second in a character begun by `lead`: the ranges that leave out
// overlong forms, surrogates and code points beyond U+10FFFF.
bool utf8FitsSecond(unsigned char lead, unsigned char byte);

// The length of the valid UTF-8 character at `at` in `text`, or 0 when the bytes there are
// not one.
std::size_t utf8CharacterAt(std::string_view text, std::size_t at);

// `text` as a name that keeps every byte and can be read back: valid UTF-8 as it is, each
// byte that is not part of it as `\xHH` (upper-case hex), and a backslash as `\\`, so that two
// different names never read the same.
std::string escapedName(std::string_view text);

} // namespace glintmark
