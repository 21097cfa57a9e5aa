#include "trees.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include "support.hpp"
#include "workers.hpp"

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

TEST(Trees, GrownOnThreadsAsRandGrowsThemOneByOne) {
  struct Case {
    int popSize, depth;
    unsigned seed;
    int threads;
  };
  // Batches cut through the population (the last one short), a batch of few
  // deep trees, seed 0 (srand's 1), and a population too small for threads.
  for (const Case& run : {Case{1100, 8, 1, 2}, Case{40, 12, 0, 3},
                          Case{2000, 5, 4294967295u, 3}, Case{9, 6, 9, 2}}) {
    std::vector<TIndividual> records(static_cast<std::size_t>(run.popSize));
    std::vector<TIndividual*> population;
    for (TIndividual& record : records) population.push_back(&record);
    const auto expressions = [&] {
      std::vector<std::string> all;
      for (TIndividual* one : population) all.push_back(parseTree(one->tree));
      return all;
    };
    NodePool alone;
    std::srand(run.seed);
    {
      const ActivePool active(&alone);
      createPop(population.data(), run.popSize, run.depth);
    }
    const std::vector<std::string> expected = expressions();
    NodePool grown;
    Workers workers(run.threads);
    growPop(population.data(), run.popSize, run.depth, run.seed, workers,
            grown);
    EXPECT_EQ(expressions(), expected) << run.popSize << " at " << run.depth;
  }
}
