#include "engine/jpeg/JpegStructure.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

using glintmark::JpegProblem;

// Reports and scripts tell the problems apart by these.
TEST(JpegStructure, EveryProblemHasNamesOfItsOwn)
{
    std::set<std::string> names, texts;
    for (auto p = JpegProblem::None; p <= JpegProblem::CutInScan;
         p = static_cast<JpegProblem>(static_cast<int>(p) + 1)) {
        EXPECT_TRUE(names.insert(glintmark::problemName(p)).second) << glintmark::problemName(p);
        EXPECT_TRUE(texts.insert(glintmark::problemText(p)).second) << glintmark::problemText(p);
    }
}

} // namespace
