#include "evolution.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <set>
#include <string_view>
#include <tuple>

#include "support.hpp"

#define SEP "************************************************\n"

// A tree from its symbols in pre-order: an operator takes the next two
// subtrees as left and right, a terminal is a leaf.
static Ttree* grow(const char*& symbols, Ttree* parent, int depth) {
  Ttree* const node =
      new Ttree{*symbols++, nullptr, nullptr, parent, 0, depth, false, true};
  if (std::string_view("+-*/s").find(node->dato) != std::string_view::npos) {
    node->esHoja = false;
    node->Hi = grow(symbols, node, depth + 1);
    node->Hd = grow(symbols, node, depth + 1);
  }
  return node;
}
static Ttree* grow(const char* text) { return grow(text, nullptr, 0); }

// The deepest level of a tree whose links, depths and leaf flags are all
// true and none of whose nodes was seen before; -1 when one is not.
static int checkedDepth(const Ttree* t, const Ttree* parent, int depth,
                        std::set<const Ttree*>& seen) {
  if (t->padre != parent || t->profundidad != depth ||
      t->esHoja != (!t->Hi && !t->Hd) || !seen.insert(t).second ||
      !t->Hi != !t->Hd)
    return -1;
  if (!t->Hi) return depth;
  const int left = checkedDepth(t->Hi, t, depth + 1, seen);
  const int right = checkedDepth(t->Hd, t, depth + 1, seen);
  return left < 0 || right < 0 ? -1 : std::max(left, right);
}

// Each node's span in the tree's expression, the place of its own symbol,
// its depth and its height.
struct Span {
  std::size_t from, to, at;
  int depth, height;
  const Ttree* node;
};
static std::size_t spans(const Ttree* t, std::size_t at,
                         std::vector<Span>& out) {
  const std::size_t from = at;
  if (t->Hi) at = spans(t->Hi, at, out);
  const std::size_t own = at++;
  if (t->Hd) at = spans(t->Hd, at, out);
  int height = 0;
  for (const Span& below : out)
    if (below.from >= from && below.to <= at)
      height = std::max(height, below.depth - t->profundidad);
  out.push_back({from, at, own, t->profundidad, height, t});
  return at;
}

TEST(Variation, TheInnerNodeRuleOnATreeOfKnownShape) {
  struct Case {
    const char* tree;
    bool withRoot;
    std::vector<double> shares;  // of each node, in expression order
  };
  const double inner = kInnerNodeChance, leaf = (1 - inner) / 3;
  const Case cases[] = {
      // a*b+c: + and * share the inner chance, the three leaves the rest.
      {"+*abc", true, {leaf, inner / 2, leaf, inner / 2, leaf}},
      {"+*abc", false, {leaf, inner, leaf, 0, leaf}},
      {"-ab", false, {0.5, 0, 0.5}},  // no inner node but the root
      {"a", true, {1}},
      {"a", false, {0}}};  // nothing to choose
  RandomStream stream(7, 0, 0);
  const ActiveStream draws(&stream);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.tree) + (c.withRoot ? " with root" : ""));
    Ttree* const tree = grow(c.tree);
    std::vector<Span> nodes;
    spans(tree, 0, nodes);
    std::vector<double> counts(c.shares.size());
    constexpr int kDraws = 20000;
    for (int k = 0; k < kDraws; ++k) {
      const Ttree* const chosen = chooseNode(tree, c.withRoot);
      for (const Span& node : nodes) counts[node.at] += node.node == chosen;
    }
    for (std::size_t i = 0; i < counts.size(); ++i)
      EXPECT_NEAR(counts[i] / kDraws, c.shares[i], 0.01) << i;
  }
}

// Over a table of small trees, every child is true to its links, depths and
// leaf flags, shares no node, stays within the depth, and is its parent with
// one subtree replaced: by one of the donor's (crossover, never the root) or
// by a new complete tree (subtree mutation).
TEST(Variation, CrossoverAndSubtreeMutationKeepTreesTrue) {
  struct Case {
    const char *parent, *donor;
    int depth;
  };
  const Case cases[] = {{"+*abc", "s/2ab", 3}, {"+*abc", "s/2ab", 2},
                        {"-ab", "*+ab-c2", 2}, {"a", "*bc", 2},
                        {"s2/a*bc", "c", 3},   {"*+ab-c2", "/s2a*bc", 2}};
  RandomStream stream(11, 0, 0);
  const ActiveStream draws(&stream);
  NodePool pool;
  const ActivePool active(&pool);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.parent) + " " + c.donor);
    Ttree* const parent = grow(c.parent);
    Ttree* const donor = grow(c.donor);
    const std::string was = parseTree(parent), other = parseTree(donor);
    std::vector<Span> places, grafts;
    spans(parent, 0, places);
    spans(donor, 0, grafts);
    std::set<std::string> crossed{was};  // all the children crossing may make
    for (const Span& p : places)
      for (const Span& g : grafts)
        if (p.depth > 0 && p.depth + g.height <= c.depth)
          crossed.insert(was.substr(0, p.from) +
                         other.substr(g.from, g.to - g.from) +
                         was.substr(p.to));
    std::set<std::string> made;
    std::set<const Ttree*> parents;  // nodes no child may hold
    checkedDepth(parent, nullptr, 0, parents);
    checkedDepth(donor, nullptr, 0, parents);
    for (int k = 0; k < 300; ++k) {
      Ttree* const child = crossChild(parent, donor, c.depth);
      const std::string text = parseTree(child);
      EXPECT_TRUE(crossed.count(text)) << text;
      made.insert(text);
      std::set<const Ttree*> seen = parents;
      const int depth = checkedDepth(child, nullptr, 0, seen);
      EXPECT_TRUE(depth >= 0 && depth <= std::max(c.depth, 0)) << text;
      std::vector<Span> kept;
      spans(child, 0, kept);
      Ttree* const mutated = mutateSubtree(child, c.depth);
      const std::string after = parseTree(mutated);
      seen = parents;  // the replaced nodes went back to the pool
      const int deep = checkedDepth(mutated, nullptr, 0, seen);
      EXPECT_TRUE(deep >= 0 && deep <= c.depth) << after;
      // Some node's span gave way to a complete tree that fits below it.
      const auto replaced = [&](const Span& p) {
        const std::size_t size = after.size() + (p.to - p.from) - text.size();
        return after.starts_with(text.substr(0, p.from)) &&
               after.ends_with(text.substr(p.to)) &&
               std::has_single_bit(size + 1) &&
               std::bit_width(size) <= unsigned(c.depth - p.depth + 1);
      };
      EXPECT_TRUE(std::any_of(kept.begin(), kept.end(), replaced)) << after;
    }
    EXPECT_EQ(made.size() > 1, crossed.size() > 1);  // it does cross
  }
}

// The point mutation's skips give every node its own chance of the rate, and
// two nodes change independently: a changed node differs from its old symbol
// in 4 of 5 draws (an operator) or 3 of 4 (a terminal).
TEST(Variation, PointMutationChangesEachNodeAtTheRate) {
  const std::string old = "a*b+c-2";  // the expression of +*ab-c2
  const auto changed = [](std::size_t i) { return i % 2 ? 0.8 : 0.75; };
  RandomStream stream(5, 0, 0);
  const ActiveStream draws(&stream);
  NodePool pool;
  const ActivePool active(&pool);
  for (const float rate : {0.0f, 0.3f, 1.0f}) {
    constexpr int kTrials = 20000;
    std::vector<double> differ(old.size()), both(old.size());
    for (int k = 0; k < kTrials; ++k) {
      Ttree* const tree = grow("+*ab-c2");
      mutateTree(tree, rate);
      const std::string now = parseTree(tree);
      deleteTree(tree);
      for (std::size_t i = 0; i < old.size(); ++i) {
        differ[i] += now[i] != old[i];
        both[i] += now[i] != old[i] && now[(i + 1) % 7] != old[(i + 1) % 7];
      }
    }
    for (std::size_t i = 0; i < old.size(); ++i) {
      const double chance = rate * changed(i);
      const double next = rate * changed((i + 1) % 7);
      EXPECT_NEAR(differ[i] / kTrials, chance, 0.012) << rate << " " << i;
      EXPECT_NEAR(both[i] / kTrials, chance * next, 0.012) << rate << " " << i;
    }
  }
}

// The elite's N best come first, copied unchanged in rank order (a node of
// none shared), whatever the rates do to the children after them; an elite
// of the whole population keeps every tree. With both rates 0 every child is
// an exact copy of an old tree (an odd count of slots left too).
TEST(Variation, TheEliteIsKeptUnchangedInRankOrder) {
  const char* const shapes[] = {"+*abc",   "a",   "s2/a*bc", "-ab",
                                "*+ab-c2", "/2b", "c"};
  const std::vector<float> costs{3, NAN, 1, 4, 1, 5, INFINITY};
  const int n = 7;
  std::vector<TIndividual> records(n);
  std::vector<TIndividual*> pop;
  std::set<std::string> olds;
  for (int i = 0; i < n; ++i) {
    records[i].tree = grow(shapes[i]);
    olds.insert(parseTree(records[i].tree));
    pop.push_back(&records[i]);
  }
  Ranking ranking;
  rankPopulation(pop.data(), n, costs, {}, 0, ranking);
  for (const auto& [elite, tournament, rate] : {std::tuple{3, 2, 1.0f},
                                                {7, 0, 1.0f},
                                                {1, 7, 1.0f},
                                                {0, 2, 0.0f},
                                                {2, 0, 0.0f}}) {
    Workers workers(2);
    NodePool pool;
    const std::vector<Ttree*> next = nextTrees(
        pop.data(), n, ranking, {1, 3, rate, rate, 1, 1, tournament, elite}, 2,
        workers, pool);
    std::set<const Ttree*> seen;
    for (const TIndividual& record : records)
      checkedDepth(record.tree, nullptr, 0, seen);
    for (int slot = 0; slot < n; ++slot) {
      SCOPED_TRACE(std::to_string(elite) + " slot " + std::to_string(slot));
      EXPECT_GE(checkedDepth(next[slot], nullptr, 0, seen), 0);
      const std::string tree = parseTree(next[slot]);
      EXPECT_TRUE(slot < elite
                      ? tree == parseTree(pop[ranking.order[slot]]->tree)
                      : rate > 0.5f || olds.count(tree));
    }
  }
}

TEST(Evolution, RunsOnAfterThePlainRunAndKeepsTheBest) {
  ScratchDir dir;
  const auto evolve = [&dir](const char* input, std::string seed = "") {
    return runProgram(dir, input, "--evolve " + seed + ">.stdout").out;
  };
  // The run's record: the answers as used and the seed, 1 when unseeded.
  const auto runLine = [](const std::string& answers) {
    return "Run: function-approximator " APPROXIMATOR_VERSION
           "\t---\tCommand: printf '" +
           answers +
           "\\n' | function-approximator --evolve --seed 1 --lexicase 0\n";
  };
  dir.write("testVals.csv", "1,-8,20\n");
  // No generations, or no one to evolve: the plain run.
  for (const char* input : {"5 0 0.1 0.5 3", "0 3 0.1 0.5 3"})
    EXPECT_EQ(evolve(input), runProgram(dir, input).out) << input;
  EXPECT_TRUE(evolve("4 3 1 1 0").ends_with("FINISHED\n"));  // no crossover
  // One individual evolves too (the record line and two generation lines
  // of eight tabs between two blocks); rates outside 0 to 1 are clamped, and a
  // selection larger than the population is the population, with notes.
  const RunResult one = runProgram(
      dir, "1 2 1.5 -2 1", "--evolve --tournament 3 --elite 2 >.stdout");
  EXPECT_EQ(std::count(one.out.begin(), one.out.end(), '\t'), 22);
  EXPECT_EQ(one.err,
            "function-approximator: note: the mutation rate 1.5 is "
            "outside 0 to 1; 1 is used\nfunction-approximator: note: "
            "the crossover rate -2 is outside 0 to 1; 0 is used\n"
            "function-approximator: note: the tournament size 3 is larger "
            "than the population of 1; 1 is used\nfunction-approximator: "
            "note: the elite size 2 is larger than the population of 1; 1 is "
            "used\n");
  EXPECT_NE(runProgram(dir, "0 3 0 0 3", "--evolve >.stdout").err.find("empty"),
            std::string::npos);
  // With --lexicase 0, which leaves out the draw that would choose it.
  // Trees 2-2, 2*b, csc (rand() draws 1 to 18), with 1, -8, 20 cost 0.2,
  // 1.48 and 4.23. Slot 0 takes 2-2; a population of 3 holds tournaments of
  // 3. Pair 0 of generation 1 draws the words w0, w1, ... of Philox4x32-10
  // under the key {1, 1} at the counters {0, n / 4, 0, 0}: w0 = 0xa1cfb571,
  // w1 = 0x2cef5b95 and w2 = 0xd51dc87d draw 2, 1 and 0 (w % 3): 2-2 wins;
  // w3-w5 draw 0, 0 and 2: 2-2 again. Crossing 2-2 with itself makes 2-2
  // whatever the draws (every leaf is a 2; the root graft is too deep), so
  // all three cost 0.2.
  // Row two: 2-2 and 2*b, tournaments of 2: w0-w3 all draw 1 (w % 2), so both
  // parents are 2*b. w4 (u = 0.83) does not cross at rate 0, w5 (0.59, not
  // below the subtree chance 0.5) mutates no subtree. The point mutation at
  // rate 1 changes every node: w6 begins it, w7 % 5 = 2 gives the root a *
  // again, w8 follows, w9 % 4 = 3 makes b a 2, w10 follows, w11 % 4 = 2 makes
  // the left 2 a c. The child c*2 is 40 and costs (1600 - 320 + 20) / 100 =
  // 13; the median of 0.2 and 13 is 6.6.
  for (const auto& [input, median] :
       {std::pair{"3 1 0 1 1", "0.2"}, {"2 1 1 0 1", "6.6"}}) {
    const std::string plain = runProgram(dir, input).out;
    EXPECT_EQ(
        evolve(input, "--lexicase 0 "),
        plain.substr(0, plain.size() - 9) + runLine(input) +
            "Generation: 1\t---\tBest cost: 0.2\t---\tMedian cost: " + median +
            "\t---\tNon-finite costs: 0\t---\tBest expression: "
            "2-2\n" SEP
            "Expression: 0\t---\t2-2\nParsed: 2-2\nResult "
            "(floating point): 0\nCost1: 0.2\n" SEP "FINISHED\n");
  }
  // Seeds: one run each, the same every time, and not the same run.
  const std::string five = evolve("20 5 0.1 0.8 3", "--seed 5 ");
  EXPECT_EQ(evolve("20 5 0.1 0.8 3", "--seed 5 "), five);
  EXPECT_NE(evolve("20 5 0.1 0.8 3", "--seed 6 "), five);
  const std::string run = evolve("30 12 0.1 0.8 3");
  std::vector<float> best;  // of each generation line
  for (std::size_t at = 0; (at = run.find("Best cost: ", at + 1)) != run.npos;)
    best.push_back(std::stof(run.substr(at + 11)));
  ASSERT_EQ(best.size(), 12u);
  EXPECT_TRUE(std::is_sorted(best.rbegin(), best.rend())) << run;
  EXPECT_EQ(std::stof(run.substr(run.rfind("Cost1: ") + 7)), best.back());
}
