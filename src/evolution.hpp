// The generations of an evolving run: ranking by cost, roulette selection,
// subtree crossover, subtree and symbol mutation, each new population evaluated
// quietly and summed up in one line.
#pragma once

#include <memory>
#include <vector>

#include "trees.hpp"
#include "workers.hpp"

// What the generations need of the run's answers.
struct EvolutionSettings {
  int genSize = 0;
  int treeDepth = 0;
  float mutRate = 0.0f;    // within 0 to 1
  float crossRate = 0.0f;  // within 0 to 1
};

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

// The chance that a choice of node takes an inner one, when there is one.
inline constexpr double kInnerNodeChance = 0.9;

// How many times a crossover draws its two nodes before the child, still
// too deep, stays a copy of its parent.
inline constexpr int kCrossoverAttempts = 4;

// The chance of a subtree mutation per child at any mutation rate above 0.
inline constexpr double kSubtreeMutationChance = 0.2;

// A node of the tree by the 90/10 rule: with probability kInnerNodeChance an
// inner node when there is one to choose, otherwise a leaf, uniformly within
// the kind in the order the tree was grown (a node, its right subtree, its
// left subtree). The root is a choice only `withRoot`; null when there is
// nothing to choose. One draw for the kind when an inner node may be
// chosen, one for the node.
Ttree* chooseNode(Ttree* tree, bool withRoot);

// A child made where `new Ttree` makes nodes: a copy of `parent` in which a
// node other than the root is replaced by a copy of a subtree of `donor`,
// both chosen by chooseNode. A pair that would reach deeper than treeDepth
// is drawn again, kCrossoverAttempts times in all, after which the child is
// a plain copy; so is the child of a lone root.
Ttree* crossChild(Ttree* parent, Ttree* donor, int treeDepth);

// Replaces one node of the tree, the root included (chooseNode), by a new
// complete random subtree (createTree) reaching no deeper than treeDepth,
// its depth drawn uniformly from what is left there; the old nodes go back
// to the active pool. Returns the root, new when the root was chosen.
Ttree* mutateSubtree(Ttree* tree, int treeDepth);

// The chance of a subtree mutation per child at a mutation rate: 0 at
// rate 0, so that a rate of 0 changes nothing.
double subtreeMutationChance(float mutRate);

// Each node, with probability mutRate, takes a new random symbol: an
// operator at an inner node, a terminal at a leaf. One draw per node, one
// more for each node that changes.
void mutateTree(Ttree* tree, float mutRate);

// The trees of the next population, made where `new Ttree` makes nodes: the
// best first, copied unchanged, then children of roulette-chosen pairs,
// each crossed (crossChild) with probability crossRate, then mutated
// (mutateSubtree, mutateTree). With both rates 0 every child is an exact
// copy of its parent. Reads the bookkeeping that rankPopulation left.
std::vector<Ttree*> nextTrees(TIndividual** population, int popSize, int best,
                              const EvolutionSettings& settings);

// Runs settings.genSize generations on the population, whose trees are in
// `nodes`, and whose final costs (as evalPopCosts gives them) are `costs`:
// each new population takes a pool of its own, and the previous one goes
// once the new one is built; its costs are computed on the run's `workers`.
// Writes one line per generation, then the separator and the full block of
// the final population's best individual.
void runGenerations(TIndividual** population, int popSize,
                    std::unique_ptr<NodePool>& nodes,
                    const EvolutionSettings& settings, Workers& workers,
                    std::vector<float> costs);
