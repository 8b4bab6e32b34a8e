// The name rules over any text: device names, case folding, the check that two sources would
// share a folder, and hex decoding, each held to a property rather than to an answer.
#include "FuzzCheck.h"

#include "engine/HexDecode.h"
#include "engine/io/PathText.h"
#include "engine/names/CaseFold.h"
#include "engine/names/WindowsNames.h"
#include "features/game/OutputPlan.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

using glintmark::fuzz::require;

std::string asciiUpper(std::string text)
{
    for (char& c : text) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

void deviceNames(const std::string& name)
{
    const bool device = glintmark::isReservedDeviceName(glintmark::pathFromUtf8(name));
    // An extension and letter case never change what a name opens.
    require(glintmark::isReservedDeviceName(glintmark::pathFromUtf8(name + ".txt")) == device,
            "an extension changed whether a name is a device");
    require(glintmark::isReservedDeviceName(glintmark::pathFromUtf8(asciiUpper(name))) == device,
            "letter case changed whether a name is a device");
    if (name.find('/') == std::string::npos && !name.empty()) {
        const auto part = glintmark::reservedDevicePart(glintmark::pathFromUtf8("levels/" + name));
        require(part.empty() != device, "a device name inside a path went unnoticed");
    }
}

void folding(const std::string& name, const std::uint8_t* data, std::size_t size)
{
    const std::string key = glintmark::windowsNameKey(name);
    require(glintmark::windowsNameKey(key) == key, "folding a folded name changed it");
    require(glintmark::windowsNameKey(asciiUpper(name)) == key, "ASCII case changed the key");
    require(glintmark::windowsNameKey(name + ". .") == key, "trailing dots and spaces kept");
    for (std::size_t i = 0; i + 3 <= size; i += 3) {
        const char32_t c =
            (char32_t{data[i]} << 16 | char32_t{data[i + 1]} << 8 | data[i + 2]) % 0x110000;
        const char32_t folded = glintmark::foldCase(c);
        require(glintmark::foldCase(folded) == folded, "folding a code point is not idempotent");
        require(folded == c || (folded < 0x110000 && (folded < 0xD800 || folded > 0xDFFF)),
                "folded to no code point");
    }
}

// A name and its key, or its upper-case form, would share a folder.
void collisions(const std::string& name)
{
    if (name.find_first_of(std::string_view("/\0", 2)) != std::string::npos)
        return;
    const std::string key = glintmark::windowsNameKey(name);
    const auto source = [](const char* folder, const std::string& stem) {
        return glintmark::pathFromUtf8(std::string(folder) + "/" + stem + ".ldb");
    };
    for (const std::string& other : {key, asciiUpper(name), name}) {
        const auto plan = glintmark::features::planOutputFolders(
            {source("a", name), source("b", other)}, glintmark::pathFromUtf8("out"));
        require(plan.folders.size() == 2, "not one folder per source");
        require(!plan.problem.empty(), "two names Windows sees as one were let through");
    }
    // A third source never hides a clash between the first two.
    const auto plan = glintmark::features::planOutputFolders(
        {source("a", name), source("b", name), source("c", "level")},
        glintmark::pathFromUtf8("out"));
    require(!plan.problem.empty(), "a later source hid an earlier clash");
}

void hex(std::string_view text, const std::uint8_t* data, std::size_t size)
{
    const std::string decoded = glintmark::HexToBytes(text);
    require(decoded.size() <= text.size() / 2 + 1, "more bytes than digit pairs");
    for (std::size_t at = 0; at < text.size(); at += 2) {
        const std::int16_t value = glintmark::HexPairValue(text.substr(at, 2));
        require(value >= 0 && value <= 255, "a digit pair outside a byte");
    }
    // Any bytes written as hex, in either case, come back unchanged.
    static constexpr char kUpper[] = "0123456789ABCDEF";
    static constexpr char kLower[] = "0123456789abcdef";
    std::string upper, lower;
    for (std::size_t i = 0; i < size; ++i) {
        upper += {kUpper[data[i] >> 4], kUpper[data[i] & 15]};
        lower += {kLower[data[i] >> 4], kLower[data[i] & 15]};
    }
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    require(glintmark::HexToBytes(upper) == bytes, "upper-case hex does not decode back");
    require(glintmark::HexToBytes(lower) == bytes, "lower-case hex does not decode back");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    deviceNames(text);
    folding(text, data, size);
    collisions(text);
    hex(text, data, size);
    return 0;
}
