#include "engine/HexDecode.h"

#include <cctype>

namespace glintmark {
namespace {

std::string_view trimSpaces(std::string_view text)
{
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

std::int16_t digitValue(char c)
{
    const auto upper = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (upper >= '0' && upper <= '9')
        return static_cast<std::int16_t>(upper - '0');
    if (upper >= 'A' && upper <= 'F')
        return static_cast<std::int16_t>(upper - 'A' + 10);
    return 0;
}

} // namespace

std::int16_t HexPairValue(std::string_view group)
{
    if (group.empty())
        return 0;
    // A lone character stands for both digits.
    return static_cast<std::int16_t>(digitValue(group.front()) * 16 + digitValue(group.back()));
}

std::string HexToBytes(std::string_view text)
{
    const std::string_view digits = trimSpaces(text);
    std::string bytes;
    bytes.reserve(digits.size() / 2 + 1);
    for (std::size_t pos = 0; pos < digits.size(); pos += 2) {
        const std::string_view group = digits.substr(pos, 2);
        if (group.front() == ' ')
            continue;
        bytes.push_back(static_cast<char>(HexPairValue(group)));
    }
    return bytes;
}

} // namespace glintmark
