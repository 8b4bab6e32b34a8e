#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace glintmark {

// Whether `name` (one part of a path) names a device on Windows (CON, PRN, AUX, NUL, COM1 to
// COM9, LPT1 to LPT9, ...), with or without an extension: opening it reaches the device, not a
// file.
bool isReservedDeviceName(const std::filesystem::path& name);

// The first part of `path` that names a device on Windows; empty when no part does.
std::filesystem::path reservedDevicePart(const std::filesystem::path& path);

// The form in which Windows compares a file name given as UTF-8: trailing dots and spaces
// dropped and every letter case-folded. Two names with the same key are one file there.
std::string windowsNameKey(std::string_view utf8Name);

} // namespace glintmark
