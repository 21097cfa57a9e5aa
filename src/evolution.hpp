// The generations of an evolving run: ranking by cost, roulette selection,
// subtree crossover and symbol mutation, each new population evaluated
// quietly and summed up in one line.
#pragma once

#include <memory>
#include <vector>

#include "trees.hpp"

// What the generations need of the run's answers.
struct EvolutionSettings {
  int genSize = 0;
  int treeDepth = 0;
  float mutRate = 0.0f;    // within 0 to 1
  float crossRate = 0.0f;  // within 0 to 1
  int threads = 1;         // that compute a population's costs
};

// Each individual's final cost, as its last "Cost1: " line shows it,
// computed on up to `threads` threads; the costs do not depend on them.
// `generation` of `generations` is what the status line shows meanwhile.
std::vector<float> populationCosts(TIndividual** population, int popSize,
                                   int generation = 0, int generations = 0,
                                   int threads = 1);

// Fills the records' bookkeeping from the costs (one per individual) and
// returns the index of the best. Finite costs rank lowest first, the
// non-finite ones after them, equal ranks by index. `adaptacion` is the cost;
// `puntuacion` the rank weight: f for the best of f finite costs down to 1
// for the last finite one, 0 for a non-finite cost, 1 for everyone when no
// cost is finite; `punt_acu` the running sum of the weights divided by their
// total; `elite` is set for the best only.
int rankPopulation(TIndividual** population, int popSize,
                   const std::vector<float>& costs);

// The individual a roulette draw u in [0, 1) picks: the first whose
// `punt_acu` exceeds u (the last one with a weight when rounding leaves u
// beyond every sum).
int rouletteIndex(TIndividual** population, int popSize, double u);

// The median of the finite costs (the two middle ones averaged in double),
// NaN when none is finite.
float medianCost(const std::vector<float>& costs);

// The node of a complete tree at `depth` (at least 1) and `position`
// (0 = leftmost of the 2^depth nodes there), reached from the root by the
// position's bits, highest first: 0 goes left, 1 right.
Ttree* nodeAt(Ttree* tree, int depth, unsigned position);

// Swaps the subtree of `first` at depth and firstPosition with that of
// `second` at the same depth and secondPosition, parents included.
void exchangeSubtrees(Ttree* first, Ttree* second, int depth,
                      unsigned firstPosition, unsigned secondPosition);

// Each node, with probability mutRate, takes a new random symbol: an
// operator at an inner node, a terminal at a leaf. One draw per node, one
// more for each node that changes.
void mutateTree(Ttree* tree, float mutRate);

// The trees of the next population, made where `new Ttree` makes nodes: the
// best first, copied unchanged, then children of roulette-chosen pairs,
// crossed and mutated. Reads the bookkeeping that rankPopulation left.
std::vector<Ttree*> nextTrees(TIndividual** population, int popSize, int best,
                              const EvolutionSettings& settings);

// Runs settings.genSize generations on the population, whose trees are in
// `nodes`: each new population takes a pool of its own, and the previous one
// goes once the new one is built. Writes one line per generation, then the
// separator and the full block of the final population's best individual.
void runGenerations(TIndividual** population, int popSize,
                    std::unique_ptr<NodePool>& nodes,
                    const EvolutionSettings& settings);
