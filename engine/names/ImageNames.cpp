#include "engine/names/ImageNames.h"

#include "engine/ModMisc.h"

#include <algorithm>
#include <string>

namespace glintmark {
namespace {

namespace fs = std::filesystem;
using Text = fs::path::string_type;
using Char = Text::value_type;

// File names on Windows and macOS ignore letter case, so "vorlesk_0001.JPG" names the same file
// there; elsewhere names are compared exactly.
bool sameChar(Char a, Char b)
{
#if defined(_WIN32) || defined(__APPLE__)
    const auto lower = [](Char c) {
        return (c >= 'A' && c <= 'Z') ? static_cast<Char>(c + 32) : c;
    };
    return lower(a) == lower(b);
#else
    return a == b;
#endif
}

bool sameText(const Char* a, const Char* b, std::size_t count)
{
    return std::equal(a, a + count, b, sameChar);
}

bool isDigit(Char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

bool sameFileName(const fs::path& a, const fs::path& b)
{
    return a.native().size() == b.native().size() &&
           sameText(a.native().data(), b.native().data(), a.native().size());
}

fs::path imageFileName(const fs::path& stem, std::uint64_t number, std::string_view ext)
{
    std::string digits = std::to_string(number);
    if (digits.size() < 4)
        digits.insert(0, 4 - digits.size(), '0');
    fs::path name = stem;
    name += digits;
    name += std::string(ext);
    return name;
}

std::optional<std::uint64_t> imageNumber(const fs::path& fileName, const fs::path& stemName,
                                         std::string_view ext)
{
    const Text& name = fileName.native();
    const Text& stem = stemName.native();
    const Text tail = fs::path(std::string(ext)).native();
    if (name.size() < stem.size() + 4 + tail.size())
        return std::nullopt;
    if (!sameText(name.data(), stem.data(), stem.size()) ||
        !sameText(name.data() + name.size() - tail.size(), tail.data(), tail.size()))
        return std::nullopt;
    const std::size_t digitsCount = name.size() - stem.size() - tail.size();
    const Char* digits = name.data() + stem.size();
    if (!std::all_of(digits, digits + digitsCount, isDigit))
        return std::nullopt;
    // Numbers are zero-filled to four digits and written plainly beyond that, from 1 upwards.
    if (digitsCount > 4 && digits[0] == '0')
        return std::nullopt;
    std::uint64_t number = 0;
    for (const Char* d = digits; d != digits + digitsCount; ++d) {
        const auto digit = static_cast<std::uint64_t>(*d - '0');
        if (number > (UINT64_MAX - digit) / 10)
            return UINT64_MAX;
        number = number * 10 + digit;
    }
    if (number == 0)
        return std::nullopt;
    return number;
}

bool isImageName(const fs::path& fileName, const fs::path& stem, std::string_view ext)
{
    return imageNumber(fileName, stem, ext).has_value();
}

fs::path temporaryName(const fs::path& imageName)
{
    fs::path name(".");
    name += imageName;
    name += ".part";
    return name;
}

bool isTemporaryName(const fs::path& fileName, const fs::path& stem, std::string_view ext)
{
    const Text& name = fileName.native();
    const Text head = fs::path(".").native();
    const Text tail = fs::path(".part").native();
    if (name.size() <= head.size() + tail.size() || name.compare(0, head.size(), head) != 0 ||
        name.compare(name.size() - tail.size(), tail.size(), tail) != 0)
        return false;
    const Text inner = name.substr(head.size(), name.size() - head.size() - tail.size());
    return isImageName(fs::path(inner), stem, ext);
}

fs::path imageFolder(const fs::path& folder)
{
    // Once it ends in a separator, its parent is the folder itself with every trailing
    // separator gone; a root ("/", "C:\\") has no parent and stays as it is.
    return folder.empty() ? fs::path(".") : AddSlash(folder).parent_path();
}

fs::path imagePath(const fs::path& folder, const fs::path& name)
{
    fs::path path = AddSlash(folder.empty() ? fs::path(".") : folder);
    path += name.native();
    return path;
}

} // namespace glintmark
