#include "trees.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include "support.hpp"

TEST(Trees, PoolTreePrintedInPreOrderAndReleasedWithItsPool) {
  // The process's address space: a block reserves its own 2 MiB, no more; a
  // pool that goes keeps them for the next pool, until the spares are
  // released.
  auto mapped = [pages = 0L]() mutable {
    std::ifstream("/proc/self/statm") >> pages;
    return pages * sysconf(_SC_PAGESIZE);
  };
  releaseSpareBlocks();
  const long before = mapped();
  {
    NodePool pool;
    // Depth 2 from draws 1-14: 2-2-a+2. A node's blanks, one more than its
    // parent's on the left and two more on the right, follow its subtrees.
    TIndividual only{};
    TIndividual* population[] = {&only};
    std::srand(1);
    {
      const ActivePool active(&pool);
      createPop(population, 1, 2);
    }
    EXPECT_EQ(mapped() - before, 2 << 20);
    CoutCapture out;
    printPop(population, 1);
    EXPECT_EQ(
        out.text(),
        "\nPopulation: 0\n-,0-,12,2  2,2    +,1a,2   2,2      \nFinished\n");
  }
  for (int pools = 0; pools < 2; ++pools) {
    NodePool pool;
    const ActivePool active(&pool);
    EXPECT_NE(copyTree(new Ttree{}, nullptr), nullptr);
    EXPECT_EQ(mapped() - before, 2 << 20);
  }
  releaseSpareBlocks();
  EXPECT_EQ(mapped(), before);
}
