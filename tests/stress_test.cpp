// Large runs: deep trees, and populations measured against this machine's
// real memory.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "driver.hpp"
#include "support.hpp"

namespace {

int countLines(const std::string& text, const std::string& prefix) {
  int count = 0;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(prefix, 0) == 0) ++count;
  }
  return count;
}

}  // namespace

TEST(Stress, DepthSixteenWithNegativeValues) {
  ScratchDir dir;
  std::ostringstream values;
  for (int i = 1; i <= 10; ++i) {
    values << '-' << i << ".5,-0.25,-" << i * 3 << '\n';
  }
  dir.write("testVals.csv", values.str());
  const RunResult run = runProgram(dir, "2 0 0 0 16\n");
  ASSERT_EQ(run.status, 0) << run.err;
  // 16 set-up lines, 13 listing lines, per individual 1 + 3 * 10 + 1.
  EXPECT_EQ(countLines(run.out, ""), 16 + 13 + 2 * 32 + 1);
  EXPECT_EQ(countLines(run.out, "Expression: "), 2);
  EXPECT_EQ(countLines(run.out, "Parsed: "), 20);
  EXPECT_EQ(countLines(run.out, "Cost1: "), 20);
  EXPECT_EQ(run.out.substr(run.out.size() - 9), "FINISHED\n");
  // Each expression has 2^17 - 1 characters; the values make each parsed
  // text longer still, and the folding leaves no two signs side by side.
  std::istringstream lines(run.out);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("Expression: ", 0) == 0) {
      EXPECT_EQ(line.size() - line.find("---\t") - 4, (1u << 17) - 1);
    }
    if (line.rfind("Parsed: ", 0) == 0) {
      EXPECT_GT(line.size(), 1u << 17);
      EXPECT_EQ(line.find("--"), std::string::npos);
      EXPECT_EQ(line.find("+-"), std::string::npos);
    }
  }
}

TEST(Stress, MemoryRefusalFollowsTheMachinesMemory) {
  // Depth 24 trees take about 2 GiB each: more of them than memory holds
  // are refused at once, without building anything.
  const double perTree = populationBytes(1, 24);
  const auto tooMany = static_cast<long long>(
      static_cast<double>(availableMemoryBytes()) / perTree + 2);
  ScratchDir dir;
  const RunResult refused =
      runProgram(dir, std::to_string(tooMany) + " 0 0 0 24\n");
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("cannot build"), std::string::npos);

  // One tree of depth 20 (two million nodes) fits and runs.
  const RunResult fits = runProgram(dir, "1 0 0 0 20\n");
  EXPECT_EQ(fits.status, 0) << fits.err;
  EXPECT_EQ(countLines(fits.out, "Expression: "), 1);
}
