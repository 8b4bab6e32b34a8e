#include "engine/ExtractTypes.h"
#include "support/ScopedEnvironment.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using glintmark::testsupport::ScopedEnvironment;

// The texts a writer count may be given as, and the count each spells (nothing: refused).
const std::vector<std::pair<std::string, std::optional<unsigned>>>& countCases()
{
    static const std::vector<std::pair<std::string, std::optional<unsigned>>> cases = {
        {"1", 1u},
        {"2", 2u},
        {"9", 9u},
        {"10", 10u},
        {"64", 64u},
        {"01", 1u},
        {"", {}},
        {"0", {}},
        {"00", {}},
        {"65", {}},
        {"99", {}},
        {"100", {}},
        {"064", {}},
        {"abc", {}},
        {"3x", {}},
        {"x3", {}},
        {"+3", {}},
        {"-3", {}},
        {" 3", {}},
        {"3 ", {}},
        {"3\n", {}},
        {"0x4", {}},
        {"3.0", {}},
        {"\xef\xbc\x93", {}}, // fullwidth 3
        {std::string("3\0", 2), {}},
    };
    return cases;
}

TEST(WriterCount, OnlyOneOrTwoDigitsFromOneToSixtyFourCount)
{
    for (const auto& [text, count] : countCases()) {
        SCOPED_TRACE(::testing::PrintToString(text));
        EXPECT_EQ(glintmark::writerCountFrom(text), count);
    }
}

TEST(WriterCount, TheVariableCountsOnlyWhenItSpellsACount)
{
    const unsigned fallback = std::thread::hardware_concurrency() == 1 ? 1u : 2u;
    for (const auto& [text, count] : countCases()) {
        if (text.find('\0') != std::string::npos || text.empty())
            continue; // an environment cannot hold these as given
        SCOPED_TRACE(text);
        const ScopedEnvironment variable(glintmark::kWritersVariable, text);
        EXPECT_EQ(glintmark::defaultWriterCount(), count.value_or(fallback));
    }
    const ScopedEnvironment unset(glintmark::kWritersVariable, std::nullopt);
    EXPECT_EQ(glintmark::defaultWriterCount(), fallback);
}

} // namespace
