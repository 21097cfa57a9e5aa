#include "evolution.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <numeric>
#include <string>

#include "fitness.hpp"
#include "transcript.hpp"

namespace {

// A draw as a value in [0, 1): below a rate with that rate's probability.
double uniformDraw() {
  return static_cast<double>(draw()) / (static_cast<double>(RAND_MAX) + 1.0);
}

// A child slot's link in its parent.
Ttree*& linkTo(Ttree* node) {
  Ttree* const parent = node->padre;
  return parent->Hi == node ? parent->Hi : parent->Hd;
}

void writeGeneration(int generation, const std::vector<float>& costs,
                     TIndividual* best, float bestCost) {
  const auto nonFinite =
      std::count_if(costs.begin(), costs.end(),
                    [](float cost) { return !std::isfinite(cost); });
  writeLine("Generation: ", generation, "\t---\tBest cost: ", bestCost,
            "\t---\tMedian cost: ", medianCost(costs),
            "\t---\tNon-finite costs: ", nonFinite,
            "\t---\tBest expression: ", parseTree(best->tree));
}

}  // namespace

std::vector<float> populationCosts(TIndividual** population, int popSize,
                                   int generation, int generations,
                                   int threads) {
  return quietCosts(population, popSize, threads, generation, generations);
}

int rankPopulation(TIndividual** population, int popSize,
                   const std::vector<float>& costs) {
  if (popSize <= 0) return 0;
  std::vector<int> order(static_cast<std::size_t>(popSize));
  std::iota(order.begin(), order.end(), 0);
  const auto cost = [&](int i) { return costs[static_cast<std::size_t>(i)]; };
  // Stable: equal costs, and all the non-finite ones, keep index order.
  std::stable_sort(order.begin(), order.end(), [&](int x, int y) {
    const bool finiteX = std::isfinite(cost(x));
    const bool finiteY = std::isfinite(cost(y));
    if (finiteX != finiteY) return finiteX;
    return finiteX && cost(x) < cost(y);
  });
  const auto finite = static_cast<int>(
      std::count_if(costs.begin(), costs.end(),
                    [](float value) { return std::isfinite(value); }));
  for (int rank = 0; rank < popSize; ++rank) {
    TIndividual* const individual = population[order[rank]];
    individual->adaptacion = cost(order[rank]);
    individual->elite = rank == 0;
    individual->puntuacion =
        finite == 0 ? 1.0f : static_cast<float>(std::max(finite - rank, 0));
  }
  const double total = finite == 0
                           ? static_cast<double>(popSize)
                           : static_cast<double>(finite) * (finite + 1.0) / 2.0;
  double sum = 0.0;
  for (int i = 0; i < popSize; ++i) {
    sum += static_cast<double>(population[i]->puntuacion) / total;
    population[i]->punt_acu = static_cast<float>(sum);
  }
  return order[0];
}

int rouletteIndex(TIndividual** population, int popSize, double u) {
  int low = 0;
  int high = popSize;
  while (low < high) {
    const int middle = low + (high - low) / 2;
    if (u < static_cast<double>(population[middle]->punt_acu)) {
      high = middle;
    } else {
      low = middle + 1;
    }
  }
  if (low < popSize) return low;
  low = popSize - 1;
  while (low > 0 && !(population[low]->puntuacion > 0.0f)) --low;
  return low;
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

Ttree* nodeAt(Ttree* tree, int depth, unsigned position) {
  for (int level = depth - 1; level >= 0; --level) {
    Ttree* const next = (position >> level) & 1u ? tree->Hd : tree->Hi;
    if (next == nullptr) break;
    tree = next;
  }
  return tree;
}

void exchangeSubtrees(Ttree* first, Ttree* second, int depth,
                      unsigned firstPosition, unsigned secondPosition) {
  Ttree* const x = nodeAt(first, depth, firstPosition);
  Ttree* const y = nodeAt(second, depth, secondPosition);
  Ttree*& linkX = linkTo(x);
  Ttree*& linkY = linkTo(y);
  linkX = y;
  linkY = x;
  std::swap(x->padre, y->padre);
}

// Draws, in the order createTree drew the nodes (a node, then its right
// subtree, then its left one): one to decide whether the node changes, and
// for a node that does one more for its new symbol.
void mutateTree(Ttree* tree, float mutRate) {
  if (uniformDraw() < static_cast<double>(mutRate)) {
    const bool leaf = tree->Hi == nullptr && tree->Hd == nullptr;
    tree->dato = leaf ? eqVar[draw() % 4] : opVar[draw() % 5];
  }
  if (tree->Hd != nullptr) mutateTree(tree->Hd, mutRate);
  if (tree->Hi != nullptr) mutateTree(tree->Hi, mutRate);
}

// The draws of one generation, in this order, and none elsewhere: for each
// pair of slots (1 and 2, 3 and 4, ...), one draw picks the first parent by
// roulette and one the second; one draw decides the crossover; a pair that
// crosses, with a tree depth of 1 or more, then draws the depth (1 to the
// tree depth), the position at that depth in the first child and that in the
// second; then the first child's mutation draws (see mutateTree), then the
// second child's. When one slot is left, the pair is drawn and crossed all
// the same and its second child is dropped before its mutation draws.
std::vector<Ttree*> nextTrees(TIndividual** population, int popSize, int best,
                              const EvolutionSettings& settings) {
  std::vector<Ttree*> trees;
  if (popSize <= 0) return trees;
  trees.reserve(static_cast<std::size_t>(popSize));
  trees.push_back(copyTree(population[best]->tree, nullptr));
  while (static_cast<int>(trees.size()) < popSize) {
    const int first = rouletteIndex(population, popSize, uniformDraw());
    const int second = rouletteIndex(population, popSize, uniformDraw());
    Ttree* const childA = copyTree(population[first]->tree, nullptr);
    Ttree* const childB = copyTree(population[second]->tree, nullptr);
    if (uniformDraw() < static_cast<double>(settings.crossRate) &&
        settings.treeDepth >= 1) {
      const int depth = 1 + draw() % settings.treeDepth;
      const unsigned width = 1u << depth;
      const unsigned positionA = static_cast<unsigned>(draw()) % width;
      const unsigned positionB = static_cast<unsigned>(draw()) % width;
      exchangeSubtrees(childA, childB, depth, positionA, positionB);
    }
    mutateTree(childA, settings.mutRate);
    trees.push_back(childA);
    if (static_cast<int>(trees.size()) < popSize) {
      mutateTree(childB, settings.mutRate);
      trees.push_back(childB);
    }
  }
  return trees;
}

void runGenerations(TIndividual** population, int popSize,
                    std::unique_ptr<NodePool>& nodes,
                    const EvolutionSettings& settings) {
  if (popSize <= 0 || settings.genSize <= 0) return;
  std::vector<float> costs = populationCosts(
      population, popSize, 1, settings.genSize, settings.threads);
  int best = rankPopulation(population, popSize, costs);
  for (int generation = 1; generation <= settings.genSize; ++generation) {
    auto next = std::make_unique<NodePool>();
    std::vector<Ttree*> trees;
    {
      const ActivePool active(next.get());
      trees = nextTrees(population, popSize, best, settings);
    }
    for (int i = 0; i < popSize; ++i) population[i]->tree = trees[i];
    // The previous population's nodes all go at once.
    nodes = std::move(next);
    costs = populationCosts(population, popSize, generation, settings.genSize,
                            settings.threads);
    best = rankPopulation(population, popSize, costs);
    writeGeneration(generation, costs, population[best], costs[best]);
  }
  writeLine(kSeparator);
  evalIndividual(population[best], best);
}
