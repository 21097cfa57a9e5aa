#include "lexicase.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "random_stream.hpp"

// Each table of terms (individual by individual) with the epsilon of each
// triple and the individuals lexicase can choose, each of them chosen by
// some of 200 streams and no other by any.
TEST(Lexicase, ChoosesOnlyThoseBestWithinEpsilonOnSomeOrder) {
  const float inf = INFINITY, nan = NAN;
  struct Case {
    std::size_t triples;
    std::vector<float> terms, epsilon;
    std::set<int> chosen;
  };
  const Case cases[] = {
      // Median 3, deviations 2, 1, 0, 7: within 2 of the best, 1.
      {1, {1, 2, 3, 10}, {2}, {0, 1, 2}},
      // Equal terms are one candidate, either individual drawn.
      {2, {0, 0, 5, 5, 0, 0}, {0, 0}, {0, 2}},
      // Non-finite terms, -inf too, lose to any finite one.
      {1, {nan, -inf, 4}, {0}, {2}},
      // A triple with no finite term keeps everyone: the other decides.
      {2, {inf, 3, nan, 1, inf, 2}, {0, 1}, {1, 2}},
      // Each specialist wins on its own triple; the two worse at both never.
      {2, {0, 9, 9, 0, 9, 9, 9, 9}, {0, 0}, {0, 1}},
      // No triple: anyone.
      {0, {}, {}, {0, 1, 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.terms));
    TripleTerms terms{std::vector<std::uint32_t>(c.triples), c.terms};
    const std::size_t count = c.triples == 0 ? 3 : c.terms.size() / c.triples;
    Lexicase lexicase;
    prepareLexicase(terms, count, lexicase);
    EXPECT_EQ(lexicase.epsilon, c.epsilon);
    std::set<int> chosen;
    for (std::uint32_t pair = 0; pair < 200; ++pair) {
      RandomStream stream(1, 1, pair);
      const ActiveStream draws(&stream);
      // A pool of 1 is one drawn candidate: anyone but those merged.
      chosen.insert(lexicaseIndex(lexicase, c.triples == 0 ? 1 : 200));
    }
    EXPECT_EQ(chosen, c.chosen);
  }
}

// All the triples while there are few; otherwise as many as asked, each
// once, rising, and another set for another generation.
TEST(Lexicase, DrawsEachGenerationsTriples) {
  EXPECT_EQ(drawTriples(1, 1, 3, 10), (std::vector<std::uint32_t>{0, 1, 2}));
  const std::vector<std::uint32_t> some = drawTriples(1, 1, 200, 10);
  ASSERT_EQ(some.size(), 10U);
  EXPECT_TRUE(std::is_sorted(some.begin(), some.end()) &&
              std::adjacent_find(some.begin(), some.end()) == some.end() &&
              some.back() < 200);
  EXPECT_EQ(drawTriples(1, 1, 200, 10), some);
  EXPECT_NE(drawTriples(1, 2, 200, 10), some);
}
