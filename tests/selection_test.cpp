#include "selection.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <tuple>

#include "random_stream.hpp"
#include "support.hpp"

namespace {

// A population of empty records for the bookkeeping.
struct Records {
  explicit Records(std::size_t n) : records(n) {
    for (TIndividual& record : records) pointers.push_back(&record);
  }
  std::vector<TIndividual> records;
  std::vector<TIndividual*> pointers;
};

}  // namespace

TEST(Ranking, WeightsMedianAndRouletteFollowTheCostOrder) {
  const float inf = INFINITY, nan = NAN;
  struct Case {
    std::vector<float> costs;
    std::vector<int> triples;  // finite ones; empty: left aside
    std::vector<float> weights;
    int best, last;       // the last: the one a draw beyond every sum picks
    float median, total;  // the total of the weights
  };
  const Case cases[] = {
      {{nan, -inf, 5}, {}, {0, 0, 1}, 2, 2, 5, 1},
      {{nan, inf}, {}, {1, 1}, 0, 1, nan, 2},  // nothing finite: uniform
      {{4, 1, nan, 2, 8, inf}, {}, {2, 4, 0, 3, 1, 0}, 1, 4, 3, 10},
      // Equal costs: the lower index first.
      {{-2, -inf, 0.5f, -2}, {}, {3, 0, 1, 2}, 0, 3, -2, 6},
      // Nothing finite: more finite triples first, each weighing 1 more
      // than the number of individuals with fewer.
      {{nan, inf, -inf, nan, inf},
       {1, 3, 0, 3, 1},
       {2, 4, 1, 4, 2},
       1,
       4,
       nan,
       13},
      {{inf, nan}, {2, 2}, {1, 1}, 0, 1, nan, 2},
      // A finite cost: finite triples change no weight.
      {{inf, 7, nan}, {9, 0, 1}, {0, 1, 0}, 1, 1, 7, 1}};
  for (const Case& c : cases) {
    const std::size_t n = c.costs.size();
    SCOPED_TRACE(::testing::PrintToString(c.costs));
    Records pop(n);
    Ranking ranking;
    EXPECT_EQ(rankPopulation(pop.pointers.data(), int(n), c.costs, c.triples, 2,
                             ranking),
              c.best);
    const std::vector<std::uint64_t>& sums = ranking.runningWeights;
    EXPECT_EQ(bitsOf(medianCost(c.costs)), bitsOf(c.median));
    EXPECT_EQ(rouletteIndex(sums, 0xffffffff), c.last);
    std::vector<float> picks(n);  // roulette words on a grid of 600 steps
    for (int k = 0; k < 600; ++k)
      ++picks[rouletteIndex(sums, std::uint32_t(k * (0x1p32 / 600)))];
    for (std::size_t i = 0, sum = 0; i < n; ++i) {
      EXPECT_EQ(pop.records[i].puntuacion, c.weights[i]) << i;
      EXPECT_EQ(sums[i], sum += std::size_t(c.weights[i])) << i;
      EXPECT_EQ(pop.records[i].elite, ranking.place[i] < 2) << i;
      EXPECT_EQ(ranking.order[std::size_t(ranking.place[i])], int(i));
      EXPECT_EQ(bitsOf(pop.records[i].adaptacion), bitsOf(c.costs[i])) << i;
      EXPECT_NEAR(picks[i], 600 * c.weights[i] / c.total, 1.0) << i;
    }
    EXPECT_EQ(ranking.order[0], c.best);
  }
  // Shares compared exactly: word 715827883 / 2^32 lies above 1/6 and below
  // the float nearest it (715827904 / 2^32); totals past 2^32 as well.
  const struct {
    std::vector<std::uint64_t> sums;
    std::uint32_t word;
    int picked;
  } edges[] = {{{1, 3, 6}, 715827882, 0},
               {{1, 3, 6}, 715827883, 1},
               {{1ull << 39, 1ull << 40}, 1u << 31, 1},
               {{(1ull << 39) + 1, 1ull << 40}, 1u << 31, 0}};
  for (const auto& edge : edges)
    EXPECT_EQ(rouletteIndex(edge.sums, edge.word), edge.picked) << edge.word;
}

// Each tournament takes `size` words of the active stream, word w drawing
// individual w % n, and the winner is the best of them: a finite cost before
// a non-finite one, then the lower cost, or among non-finite ones more
// finite triples, then the lower index. Every size from 2 to n.
TEST(Tournament, TheBestOfItsDrawsWins) {
  const float inf = INFINITY, nan = NAN;
  const struct {
    std::vector<float> costs;
    std::vector<int> triples;
  } cases[] = {{{2, nan, 1, inf, 1, 7, -inf}, {0, 2, 0, 5, 0, 0, 5}},
               {{nan, inf, -inf, nan}, {1, 3, 0, 3}}};
  for (const auto& c : cases) {
    const auto n = std::uint32_t(c.costs.size());
    Records pop(n);
    Ranking ranking;
    rankPopulation(pop.pointers.data(), int(n), c.costs, c.triples, 1, ranking);
    const auto key = [&](std::uint32_t i) {
      const float cost = c.costs[i];
      return std::isfinite(cost) ? std::tuple(0.0f, cost, i)
                                 : std::tuple(1.0f, float(-c.triples[i]), i);
    };
    for (int size = 2; size <= int(n); ++size) {
      RandomStream drawn(3, 1, std::uint32_t(size)), model = drawn;
      const ActiveStream draws(&drawn);
      for (int round = 0; round < 50; ++round) {
        std::uint32_t best = model.next() % n;
        for (int k = 1; k < size; ++k)
          best = std::min(best, model.next() % n,
                          [&](auto x, auto y) { return key(x) < key(y); });
        ASSERT_EQ(tournamentIndex(ranking, size), int(best))
            << size << " round " << round;
      }
    }
  }
}
