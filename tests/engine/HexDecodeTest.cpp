#include "engine/HexDecode.h"

#include <gtest/gtest.h>

TEST(HexToBytes, DecodesTheJfifSignature)
{
    EXPECT_EQ(glintmark::HexToBytes(glintmark::kJfifSignatureHex),
              std::string("\xFF\xD8\xFF\xE0\x00\x10JFIF", 10));
}
