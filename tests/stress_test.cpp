// Large runs: trees deep enough that recursion and long lines would show.
#include <gtest/gtest.h>

#include "support.hpp"

TEST(Stress, DepthEighteenWithNegativeValues) {
  ScratchDir dir;
  dir.write("testVals.csv", "-1.5,-0.25,-3\n-2.5,-0.25,-6\n");
  const RunResult run = runProgram(dir, "2 0 0 0 18\n");
  EXPECT_EQ(run.status, 0) << run.err;
  const std::size_t at = run.out.find("Expression: 1\t---\t") + 18;
  EXPECT_EQ(run.out.find('\n', at) - at, (1u << 19) - 1);  // 2^19 - 1 symbols
}
