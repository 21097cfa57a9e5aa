#include "driver.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

TEST(MemoryCheck, CountsEveryNodeAsItsOwnAllocation) {
  EXPECT_EQ(populationBytes(0, 20), 0.0);
  EXPECT_EQ(populationBytes(-5, 20), 0.0);
  // Doubling the depth plus one roughly doubles the nodes.
  const double depth10 = populationBytes(1, 10);
  const double depth11 = populationBytes(1, 11);
  EXPECT_GT(depth11, 1.9 * depth10);
  EXPECT_GE(depth10, 2047.0 * 48.0);
  EXPECT_EQ(populationBytes(3, 5), 3.0 * populationBytes(1, 5));
  EXPECT_EQ(populationBytes(1, -3), populationBytes(1, 0));
  EXPECT_TRUE(std::isinf(populationBytes(1, std::numeric_limits<int>::max())));
}

TEST(MemoryCheck, RefusesWhatCannotFitOrCannotBeAddressed) {
  constexpr std::uint64_t kGiB = std::uint64_t{1} << 30;
  struct Case {
    int popSize, depth;
    std::uint64_t available;
    bool refused;
  };
  const Case cases[] = {
      {0, 1000, 0, false},  // builds nothing
      {-3, 1000, 0, false},
      {100, 14, 16 * kGiB, false},
      {1000000000, 25, 24 * kGiB, true},
      {2147483647, 0, 24 * kGiB, true},
      {1, 31, std::numeric_limits<std::uint64_t>::max(), true},
      {1, 30, std::numeric_limits<std::uint64_t>::max(), false},
      {1, 20, 1024, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(!populationRefusal(c.popSize, c.depth, c.available).empty(),
              c.refused)
        << c.popSize << " trees of depth " << c.depth;
  }
  EXPECT_GT(availableMemoryBytes(), 0u);
}
