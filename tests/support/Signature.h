#pragma once

#include <string>
#include <string_view>

namespace glintmark::testsupport {

// The ten bytes that open every JFIF texture. Written out here rather than taken from the
// engine, so that a wrong signature in the engine fails the tests instead of agreeing with them.
inline constexpr std::string_view kSignature{"\xFF\xD8\xFF\xE0\x00\x10\x4A\x46\x49\x46", 10};

// The signature as a string, for building streams with `+`.
inline std::string signature()
{
    return std::string(kSignature);
}

} // namespace glintmark::testsupport
