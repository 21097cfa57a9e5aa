// Selection in an evolving run: the population ranked by cost, parents drawn
// by rank roulette or by tournament, the elite kept, the median cost.
#pragma once

#include <cstdint>
#include <vector>

#include "trees.hpp"

// The tournament's size unless the run asks for another, chosen by
// measurement (README, "How well it finds"); a smaller population holds
// its tournament over everyone.
inline constexpr int kTournamentSize = 5;
inline int defaultTournament(int popSize) {
  return popSize < kTournamentSize ? popSize : kTournamentSize;
}

// The chance, per pair, that its first parent is chosen by lexicase
// (lexicase.hpp) unless the run asks for another; chosen by measurement.
inline constexpr float kLexicaseChance = 0.5f;

// A population's ranking, made by rankPopulation.
struct Ranking {
  std::vector<int> order;  // the individuals' indexes, the best first
  std::vector<int> place;  // each individual's place in `order`, 0 the best
  // The roulette's running sums of the weights, exact and in index order.
  std::vector<std::uint64_t> runningWeights;
};

// Ranks the population and fills the records' bookkeeping; returns the
// index of the best. Finite costs rank lowest first, the non-finite ones
// after them; among the non-finite ones, more finite triples (finiteTriples,
// one per individual, or empty to leave them aside) rank first; equal ranks
// go by index. `adaptacion` is the cost; `puntuacion` the roulette's weight:
// f for the best of f finite costs down to 1 for the last finite one, 0 for
// a non-finite cost; when no cost is finite, 1 plus the number of
// individuals with fewer finite triples (so 1 for everyone when they all
// have as many). `punt_acu` is the running sum of the weights divided by
// their total, rounded to float; `elite` is set for the `elite` best.
int rankPopulation(TIndividual** population, int popSize,
                   const std::vector<float>& costs,
                   const std::vector<int>& finiteTriples, int elite,
                   Ranking& ranking);

// The individual a roulette draw picks, a stream's word w standing for
// u = w / 2^32: the first whose running sum of weights divided by their
// total exceeds u, compared exactly.
int rouletteIndex(const std::vector<std::uint64_t>& runningWeights,
                  std::uint32_t word);

// A tournament of `size` individuals, each drawn as draw() % the population
// size (the same one may be drawn again): the one of them that ranks first.
int tournamentIndex(const Ranking& ranking, int size);

// The median of the finite costs (the two middle ones averaged in double),
// NaN when none is finite.
float medianCost(const std::vector<float>& costs);
