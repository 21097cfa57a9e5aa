#include "evolution.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <regex>
#include <set>
#include <tuple>

#include "support.hpp"

#define SEP "************************************************\n"

// True when the subtree is complete down to depth 7 with consistent links
// and depths, and none of its nodes was seen in another tree.
static bool complete(const Ttree* t, const Ttree* parent, int depth,
                     std::set<const Ttree*>& seen) {
  if (depth == 8) return t == nullptr;
  return t && t->padre == parent && t->profundidad == depth &&
         seen.insert(t).second && complete(t->Hi, t, depth + 1, seen) &&
         complete(t->Hd, t, depth + 1, seen);
}

// `to` with its subtree at depth d and position p replaced by that of `from`
// at position q: in a depth-7 tree it fills 2^(8-d) - 1 characters.
static std::string put(std::string to, int d, unsigned p,
                       const std::string& from, unsigned q) {
  return to.replace(p << (8 - d), (256u >> d) - 1,
                    from.substr(q << (8 - d), (256u >> d) - 1));
}

TEST(Ranking, WeightsMedianAndRouletteFollowTheCostOrder) {
  const float inf = INFINITY, nan = NAN;
  struct Case {
    std::vector<float> costs, weights;
    int best, last;       // the last: the one a draw beyond every sum picks
    float median, total;  // the total of the weights
  };
  const Case cases[] = {
      {{nan, -inf, 5}, {0, 0, 1}, 2, 2, 5, 1},
      {{nan, inf}, {1, 1}, 0, 1, nan, 2},  // nothing finite: uniform weights
      {{4, 1, nan, 2, 8, inf}, {2, 4, 0, 3, 1, 0}, 1, 4, 3, 10},
      // Equal costs: the lower index first.
      {{-2, -inf, 0.5f, -2}, {3, 0, 1, 2}, 0, 3, -2, 6}};
  for (const Case& c : cases) {
    const std::size_t n = c.costs.size();
    SCOPED_TRACE(::testing::PrintToString(c.costs));
    std::vector<TIndividual> records(n);
    std::vector<TIndividual*> pop;
    for (TIndividual& record : records) pop.push_back(&record);
    EXPECT_EQ(rankPopulation(pop.data(), int(n), c.costs), c.best);
    EXPECT_EQ(bitsOf(medianCost(c.costs)), bitsOf(c.median));
    EXPECT_EQ(rouletteIndex(pop.data(), int(n), 1.0), c.last);
    std::vector<float> picks(n);  // roulette draws on a grid of 600 steps
    for (int k = 0; k < 600; ++k)
      ++picks[rouletteIndex(pop.data(), int(n), k / 600.0)];
    for (std::size_t i = 0; i < n; ++i) {
      EXPECT_EQ(records[i].puntuacion, c.weights[i]) << i;
      EXPECT_EQ(records[i].elite, i == std::size_t(c.best)) << i;
      EXPECT_EQ(bitsOf(records[i].adaptacion), bitsOf(c.costs[i])) << i;
      EXPECT_NEAR(picks[i], 600 * c.weights[i] / c.total, 1.0) << i;
    }
  }
}

TEST(Variation, CrossoverSwapsSubtreesAndMutationKeepsKinds) {
  Ttree* const first = createTree(0, 7, nullptr);
  Ttree* const second = createTree(0, 7, nullptr);
  const std::string one = parseTree(first), two = parseTree(second);
  // Rows: the depth, the position in the first tree, that in the second.
  for (const auto& [depth, a, b] :
       {std::tuple{1, 0u, 1u}, {2, 3u, 0u}, {3, 5u, 2u}, {7, 100u, 27u}}) {
    Ttree* const childA = copyTree(first, nullptr);
    Ttree* const childB = copyTree(second, nullptr);
    exchangeSubtrees(childA, childB, depth, a, b);
    EXPECT_EQ(parseTree(childA), put(one, depth, a, two, b)) << depth;
    EXPECT_EQ(parseTree(childB), put(two, depth, b, one, a)) << depth;
    std::set<const Ttree*> seen;  // shared nodes would be seen twice
    for (const Ttree* tree : {first, second, childA, childB})
      EXPECT_TRUE(complete(tree, nullptr, 0, seen)) << depth;
  }
  mutateTree(first, 0.0f);
  EXPECT_EQ(parseTree(first), one);
  mutateTree(first, 1.0f);
  EXPECT_NE(parseTree(first), one);  // 255 nodes do not all draw their own
  EXPECT_TRUE(std::regex_match(parseTree(first),
                               std::regex("[abc2]([-+*/s][abc2]){127}")));
}

TEST(Evolution, RunsOnAfterThePlainRunAndKeepsTheBest) {
  ScratchDir dir;
  const auto evolve = [&dir](const char* input) {
    return runProgram(dir, input, "--evolve >.stdout").out;
  };
  dir.write("testVals.csv", "1,-8,20\n");
  // No generations, or no one to evolve: the plain run.
  for (const char* input : {"5 0 0.1 0.5 3", "0 3 0.1 0.5 3"})
    EXPECT_EQ(evolve(input), runProgram(dir, input).out) << input;
  EXPECT_TRUE(evolve("4 3 1 1 0").ends_with("FINISHED\n"));  // no crossover
  // One individual evolves too (two generation lines of eight tabs between
  // two blocks); rates outside 0 to 1 are clamped, with notes.
  const RunResult one = runProgram(dir, "1 2 1.5 -2 1", "--evolve >.stdout");
  EXPECT_EQ(std::count(one.out.begin(), one.out.end(), '\t'), 2 + 2 * 8 + 2);
  EXPECT_EQ(one.err,
            "function-approximator: note: the mutation rate 1.5 is "
            "outside 0 to 1; 1 is used\nfunction-approximator: note: "
            "the crossover rate -2 is outside 0 to 1; 0 is used\n");
  EXPECT_NE(runProgram(dir, "0 3 0 0 3", "--evolve >.stdout").err.find("empty"),
            std::string::npos);
  // Trees 2-2, 2*b, csc (r2..r18), with 1, -8, 20 costs 0.2, 1.48 and 4.23,
  // weights 3, 2, 1. Slot 0 takes 2-2; the draws r19 and r20 pick parents 0
  // and 1; r21 crosses; r22 to r24: depth 1, right leaf of each. The children
  // are 2-b (2--8: 0.4) and 2*2 (4: 0.04, the vertex), which fill slots 1, 2.
  const std::string plain = runProgram(dir, "3 1 0 1 1").out;
  EXPECT_EQ(evolve("3 1 0 1 1"),
            plain.substr(0, plain.size() - 9) +
                "Generation: 1\t---\tBest cost: 0.04\t---\tMedian cost: 0.2"
                "\t---\tNon-finite costs: 0\t---\tBest expression: 2*2\n" SEP
                "Expression: 2\t---\t2*2\nParsed: 2*2\nResult (floating point):"
                " 4\nCost1: 0.04\n" SEP "FINISHED\n");
  const std::string run = evolve("30 12 0.1 0.8 3");
  EXPECT_EQ(run, evolve("30 12 0.1 0.8 3"));
  std::vector<float> best;  // of each generation line
  for (std::size_t at = 0; (at = run.find("Best cost: ", at + 1)) != run.npos;)
    best.push_back(std::stof(run.substr(at + 11)));
  ASSERT_EQ(best.size(), 12u);
  EXPECT_TRUE(std::is_sorted(best.rbegin(), best.rend())) << run;
  EXPECT_EQ(std::stof(run.substr(run.rfind("Cost1: ") + 7)), best.back());
}

// The threads share out the costs only: the transcript is the same on any
// number of them, whatever the values make of the expressions.
TEST(Evolution, SameTranscriptOnAnyNumberOfThreads) {
  ScratchDir dir;
  dir.write("testVals.csv",
            "-1.5,2.25,-3\n0.5,-0.75,4\nnan,-2,1e3\n-1+2, 3,-4.5\n"
            "b,-inf,2\n-6.125,-0.5,-7\n");
  const RunResult one =
      runProgram(dir, "150 4 0.1 0.7 4", "--evolve --threads 1 >.stdout");
  ASSERT_EQ(one.status, 0) << one.err;
  EXPECT_NE(one.out.find("Generation: 4\t"), std::string::npos);
  for (const char* threads : {"2", "3"}) {
    const std::string option = std::string("--evolve --threads ") + threads;
    const RunResult run =
        runProgram(dir, "150 4 0.1 0.7 4", option + " >.stdout");
    EXPECT_EQ(run.out, one.out) << threads;
    EXPECT_EQ(run.err + std::to_string(run.status), "0") << threads;
  }
}
