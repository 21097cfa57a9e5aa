#include "selection.hpp"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <numeric>

#include "random_stream.hpp"

int rankPopulation(TIndividual** population, int popSize,
                   const std::vector<float>& costs,
                   const std::vector<int>& finiteTriples, int elite,
                   Ranking& ranking) {
  std::vector<int>& order = ranking.order;
  const auto count = static_cast<std::size_t>(std::max(popSize, 0));
  order.resize(count);
  ranking.place.resize(count);
  ranking.runningWeights.resize(count);
  if (count == 0) return 0;
  std::iota(order.begin(), order.end(), 0);
  const auto cost = [&](int i) { return costs[static_cast<std::size_t>(i)]; };
  const auto triples = [&](int i) {
    return finiteTriples.empty() ? 0
                                 : finiteTriples[static_cast<std::size_t>(i)];
  };
  const auto before = [&](int x, int y) {
    const bool finiteX = std::isfinite(cost(x));
    const bool finiteY = std::isfinite(cost(y));
    if (finiteX != finiteY) return finiteX;
    if (finiteX) return cost(x) < cost(y);
    // Non-finite: the nearer to a finite cost, the better.
    return triples(x) > triples(y);
  };
  // Stable: equal ranks keep index order.
  std::stable_sort(order.begin(), order.end(), before);
  const auto finite = static_cast<std::size_t>(
      std::count_if(costs.begin(), costs.begin() + popSize,
                    [](float value) { return std::isfinite(value); }));
  // Whole numbers: the weights are counted from the ranks, never from their
  // float copies, which stop being exact past 2^24.
  std::vector<std::uint64_t>& weights = ranking.runningWeights;
  for (std::size_t rank = 0, lower = count; rank < count; ++rank) {
    const int i = order[rank];
    if (finite == 0 && (rank == 0 || before(order[rank - 1], i))) {
      // Where a group of equal ranks begins: those after it rank lower.
      lower = rank;
      while (lower < count && !before(i, order[lower])) ++lower;
    }
    const std::size_t weight = finite == 0     ? 1 + (count - lower)
                               : rank < finite ? finite - rank
                                               : 0;
    weights[static_cast<std::size_t>(i)] = weight;
    TIndividual* const individual = population[i];
    individual->adaptacion = cost(i);
    individual->elite = rank < static_cast<std::size_t>(std::max(elite, 0));
    individual->puntuacion = static_cast<float>(weight);
    ranking.place[static_cast<std::size_t>(i)] = static_cast<int>(rank);
  }
  // The running sums take the weights' place.
  std::partial_sum(weights.begin(), weights.end(), weights.begin());
  const auto total = static_cast<double>(weights.back());
  for (std::size_t i = 0; i < count; ++i) {
    population[i]->punt_acu =
        static_cast<float>(static_cast<double>(weights[i]) / total);
  }
  return order[0];
}

int rouletteIndex(const std::vector<std::uint64_t>& runningWeights,
                  std::uint32_t word) {
  // sum / total > word / 2^32 exactly when sum > floor(word * total / 2^32);
  // the product is taken in two halves, as it may pass 2^64.
  const std::uint64_t total = runningWeights.back();
  const std::uint64_t bar =
      word * (total >> 32) + ((word * (total & 0xffffffffU)) >> 32);
  return static_cast<int>(
      std::upper_bound(runningWeights.begin(), runningWeights.end(), bar) -
      runningWeights.begin());
}

int tournamentIndex(const Ranking& ranking, int size) {
  const auto count = static_cast<std::uint32_t>(ranking.place.size());
  int best = std::numeric_limits<int>::max();
  for (int drawn = 0; drawn < size; ++drawn) {
    best = std::min(best, ranking.place[draw() % count]);
  }
  return ranking.order[static_cast<std::size_t>(best)];
}

float medianCost(const std::vector<float>& costs) {
  std::vector<float> finite;
  std::copy_if(costs.begin(), costs.end(), std::back_inserter(finite),
               [](float cost) { return std::isfinite(cost); });
  if (finite.empty()) return std::numeric_limits<float>::quiet_NaN();
  std::sort(finite.begin(), finite.end());
  const std::size_t middle = finite.size() / 2;
  if (finite.size() % 2 == 1) return finite[middle];
  return static_cast<float>((static_cast<double>(finite[middle - 1]) +
                             static_cast<double>(finite[middle])) /
                            2.0);
}
