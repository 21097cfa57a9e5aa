#include "memory_budget.hpp"

#include <gtest/gtest.h>

#include "workers.hpp"

TEST(MemoryCheck, NeedsAndRefusals) {
  // Two populations of 200 trees of 2047 nodes of 48 bytes: 10 blocks of
  // 2 MiB each, one more while a block is aligned, 96 bytes an individual
  // and 176 for lexicase, a thread's 256 KiB and 96 bytes a node, 1 MiB to
  // spare: 45601824 bytes.
  EXPECT_EQ(memoryRefusal(200, 10, 40 << 20, 2),
            "cannot build a population of 200 trees of depth 10 and the next "
            "generation beside it: it needs 43.5 MiB of memory and 40.0 MiB "
            "is available");
  EXPECT_EQ(populationRefusal(200, 10, 45601823, 2),
            memoryRefusal(200, 10, 45601823, 2));
  EXPECT_EQ(populationRefusal(200, 10, 45601824, 2), "");
  EXPECT_EQ(populationRefusal(1, 30, UINT64_MAX), "");
  EXPECT_EQ(testValueBytes(200, 10, 45601824 + 3000, 2), 1000u);  // a third
  // A second thread takes its stack and scratch and, when it breeds (100
  // pairs; 5 pairs are one share, bred by one thread), a block more for each
  // population and one while it aligns a block.
  const double helper = kHelperBytes + (256 << 10) + 96 * 2047;
  for (const auto& [popSize, more] :
       {std::pair{200, helper + (6 << 20)}, std::pair{10, helper}}) {
    const RunShape run{.popSize = popSize, .treeDepth = 10, .populations = 2};
    const double spare = runBytes(run) + more;
    EXPECT_EQ(threadsWithin({popSize, 10, 2, 2}, spare), 2) << popSize;
    EXPECT_EQ(threadsWithin({popSize, 10, 2, 2}, spare - 1), 1) << popSize;
  }
}
