#include "rom/clsBinEdit.h"
#include <gtest/gtest.h>
TEST(BinEdit, Placeholder) { TBinEdit b; EXPECT_EQ(b.size(), 0x8000); }
