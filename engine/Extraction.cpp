#include "engine/Extraction.h"

namespace glintmark {

std::filesystem::path imageFileName(const std::filesystem::path& outPrefix, std::uint64_t number,
                                    std::string_view ext)
{
    std::string digits = std::to_string(number);
    if (digits.size() < 4)
        digits.insert(0, 4 - digits.size(), '0');
    std::filesystem::path name = outPrefix;
    name += digits;
    name += std::string(ext);
    return name;
}

// TODO(engine): streaming run.
ExtractResult runExtraction(const ExtractJob&, ExtractObserver*, RunMode)
{
    return {};
}

} // namespace glintmark
