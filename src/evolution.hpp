// The generations of an evolving run: the elite kept, subtree crossover,
// subtree and symbol mutation, each new population evaluated quietly and
// summed up in one line.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "lexicase.hpp"
#include "selection.hpp"
#include "trees.hpp"
#include "workers.hpp"

// What the generations need of the run's answers.
struct EvolutionSettings {
  int genSize = 0;
  int treeDepth = 0;
  float mutRate = 0.0f;    // within 0 to 1
  float crossRate = 0.0f;  // within 0 to 1
  std::uint32_t seed = 1;  // the key of the generations' streams
  int reached = 0;         // the population's generation: 0 for the first
  // Selection: the tournament's size, 2 up to the population size, or 0
  // for the rank roulette; how many of the best pass on unchanged, up to the
  // population size.
  int tournament = 0;
  int elite = 1;
  // The chance, per pair, that its first parent is chosen by lexicase
  // (lexicaseIndex), within 0 to 1; 0 for none.
  float lexicase = 0.0f;
};

// The selection options made to fit a population of popSize, with a note
// when one was larger than the population: it is then the population size.
void settleSelection(EvolutionSettings& settings, int popSize);

// The chance that a choice of node takes an inner one, when there is one.
inline constexpr double kInnerNodeChance = 0.8;

// How many times a crossover draws its two nodes before the child, still
// too deep, stays a copy of its parent.
inline constexpr int kCrossoverAttempts = 4;

// The chance of a subtree mutation per child at any mutation rate above 0.
inline constexpr double kSubtreeMutationChance = 0.5;

// Pairs handed to a thread at a time: enough to cost nothing to hand out,
// few enough to even out.
inline constexpr std::size_t kPairShare = 8;

// A node of the tree by the 80/20 rule: with probability kInnerNodeChance an
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
// operator at an inner node, a terminal at a leaf. Rather than a draw per
// node, a draw u skips to the next node that changes: the first, in the
// order createTree grew them, at which (1 - mutRate)^k, multiplied in double
// node by node since the draw, falls below 1 - u. A node that changes draws
// its symbol, then the next u. At a rate of 0 the first u is the only draw.
void mutateTree(Ttree* tree, float mutRate);

// The trees of the next population, generation `generation` of the run, in
// `nodes`: the settings.elite best first, copied unchanged in their order,
// then the children of each pair of slots, bred on the workers from the
// pair's own stream (RandomStream): parents drawn by lexicase (from
// `lexicase`, which must be given when settings.lexicase is above 0),
// tournament or roulette (from the ranking), each child crossed (crossChild)
// with probability crossRate, then mutated (mutateSubtree, mutateTree). With
// both rates 0 every child is an exact copy of its parent.
std::vector<Ttree*> nextTrees(TIndividual** population, int popSize,
                              const Ranking& ranking,
                              const EvolutionSettings& settings, int generation,
                              Workers& workers, NodePool& nodes,
                              const Lexicase* lexicase = nullptr);

// The line of a generation: its best cost (`best`'s), the median, the
// count of non-finite costs and the best expression.
void writeGeneration(int generation, const std::vector<float>& costs,
                     TIndividual* best, float bestCost);

// Called after each generation's line with its number, costs and best
// index; true ends the run there.
using GenerationEnd = std::function<bool(
    int generation, const std::vector<float>& costs, int best)>;

// Runs the generations after settings.reached up to settings.genSize on
// the population, whose trees are in `nodes`, and whose final costs (as
// evalPopCosts gives them) are `costs`, with the finite triples of each in
// `finiteTriples`: each new population takes a pool of its own, and the
// previous one goes once the new one is built; its costs are computed on the
// run's `workers`. Writes one line per generation (after which
// `generationEnded` may end the run), then the separator and the full block
// of the final population's best individual.
void runGenerations(TIndividual** population, int popSize,
                    std::unique_ptr<NodePool>& nodes,
                    const EvolutionSettings& settings, std::vector<float> costs,
                    std::vector<int> finiteTriples, Workers& workers,
                    const GenerationEnd& generationEnded = {});
