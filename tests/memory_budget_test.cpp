#include "memory_budget.hpp"

#include <gtest/gtest.h>

TEST(MemoryCheck, NeedsAndRefusals) {
  // Per individual an 8-byte slot, its 24-byte record in a 32-byte heap
  // block (with malloc's 8-byte header, rounded to 16), and 48 bytes a
  // node: 2 * (8 + 32 + 3 * 48) = 368 bytes at depth 1, which may take
  // nine tenths of what is available.
  EXPECT_EQ(memoryRefusal(2, 1, 1024),
            "cannot build a population of 2 trees of depth 1: it needs 368 "
            "bytes of memory and 1.0 KiB is available");
  EXPECT_EQ(populationRefusal(2, 1, 408), memoryRefusal(2, 1, 408));
  EXPECT_EQ(populationRefusal(2, 1, 409), "");
  EXPECT_EQ(populationRefusal(1, 30, UINT64_MAX), "");
}
