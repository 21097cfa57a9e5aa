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

namespace {

// The nodes a choice may fall on, in the order the tree was grown (a node,
// its right subtree, its left subtree), inner nodes and leaves apart.
struct NodeLists {
  std::vector<Ttree*> inner;
  std::vector<Ttree*> leaves;
};

void listNodes(Ttree* node, bool withNode, NodeLists& lists) {
  const bool leaf = node->Hi == nullptr && node->Hd == nullptr;
  if (withNode) (leaf ? lists.leaves : lists.inner).push_back(node);
  if (node->Hd != nullptr) listNodes(node->Hd, true, lists);
  if (node->Hi != nullptr) listNodes(node->Hi, true, lists);
}

NodeLists nodeLists(Ttree* tree, bool withRoot) {
  NodeLists lists;
  listNodes(tree, withRoot, lists);
  return lists;
}

// The 90/10 rule: one draw for the kind when there is an inner node to
// choose, then one for the node within its kind. Null when the lists are
// empty (a lone root that may not be chosen); no draw is taken then.
Ttree* chooseFrom(const NodeLists& lists) {
  const bool inner = !lists.inner.empty() && uniformDraw() < kInnerNodeChance;
  const std::vector<Ttree*>& kind = inner ? lists.inner : lists.leaves;
  if (kind.empty()) return nullptr;
  return kind[static_cast<std::size_t>(draw()) % kind.size()];
}

// How many levels a subtree reaches below its root: 0 for a leaf.
int height(const Ttree* node) {
  int below = 0;
  if (node->Hi != nullptr) below = std::max(below, 1 + height(node->Hi));
  if (node->Hd != nullptr) below = std::max(below, 1 + height(node->Hd));
  return below;
}

// A copy of `node`'s subtree at `depth` under `father`, with `replaced`
// (if it lies within) copied as `graft`'s subtree instead. Every node gets
// its own parent, depth and leaf flag anew.
Ttree* copyGrafted(const Ttree* node, Ttree* father, int depth,
                   const Ttree* replaced, const Ttree* graft) {
  if (node == replaced) {
    node = graft;
    replaced = nullptr;
  }
  Ttree* const copy = new Ttree(*node);
  copy->padre = father;
  copy->profundidad = depth;
  copy->esHoja = node->Hi == nullptr && node->Hd == nullptr;
  if (node->Hi != nullptr) {
    copy->Hi = copyGrafted(node->Hi, copy, depth + 1, replaced, graft);
  }
  if (node->Hd != nullptr) {
    copy->Hd = copyGrafted(node->Hd, copy, depth + 1, replaced, graft);
  }
  return copy;
}

}  // namespace

Ttree* chooseNode(Ttree* tree, bool withRoot) {
  return chooseFrom(nodeLists(tree, withRoot));
}

Ttree* crossChild(Ttree* parent, Ttree* donor, int treeDepth) {
  const NodeLists places = nodeLists(parent, false);
  const NodeLists grafts = nodeLists(donor, true);
  for (int attempt = 0; attempt < kCrossoverAttempts; ++attempt) {
    const Ttree* const place = chooseFrom(places);
    if (place == nullptr) break;  // a lone root: nothing to replace
    const Ttree* const graft = chooseFrom(grafts);
    if (place->profundidad + height(graft) <= treeDepth) {
      return copyGrafted(parent, nullptr, 0, place, graft);
    }
  }
  return copyGrafted(parent, nullptr, 0, nullptr, nullptr);
}

Ttree* mutateSubtree(Ttree* tree, int treeDepth) {
  Ttree* const place = chooseNode(tree, true);
  const int depth = place->profundidad;
  const int levels = draw() % (std::max(treeDepth - depth, 0) + 1);
  Ttree* const father = place->padre;
  Ttree** const link = father == nullptr ? &tree : &linkTo(place);
  // The old nodes' room takes the new ones.
  deleteTree(place);
  *link = createTree(depth, depth + levels, father);
  return tree;
}

double subtreeMutationChance(float mutRate) {
  return mutRate > 0.0f ? kSubtreeMutationChance : 0.0;
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

// The draws of one generation, in this order, and none elsewhere. For each
// pair of slots (1 and 2, 3 and 4, ...): one draw picks the first parent by
// roulette and one the second. Then the first child: one draw decides its
// crossover; a child that crosses draws a node of its first parent to
// replace and a node of the second to copy there (see chooseNode), again up
// to kCrossoverAttempts times while the result would be too deep. Then the
// second child likewise, with the parents' roles swapped. Then the first
// child's mutations: one draw decides a subtree mutation, which draws its
// node (root included) and the new subtree's depth and grows it as
// createTree does; then the point mutation draws node by node (see
// mutateTree). Then the second child's mutations. When one slot is left,
// the pair is drawn and only its first child is made.
std::vector<Ttree*> nextTrees(TIndividual** population, int popSize, int best,
                              const EvolutionSettings& settings) {
  std::vector<Ttree*> trees;
  if (popSize <= 0) return trees;
  trees.reserve(static_cast<std::size_t>(popSize));
  trees.push_back(copyTree(population[best]->tree, nullptr));
  const double subtreeChance = subtreeMutationChance(settings.mutRate);
  const auto makeChild = [&](Ttree* parent, Ttree* other) {
    if (uniformDraw() < static_cast<double>(settings.crossRate)) {
      return crossChild(parent, other, settings.treeDepth);
    }
    return copyTree(parent, nullptr);
  };
  const auto mutate = [&](Ttree* child) {
    if (uniformDraw() < subtreeChance) {
      child = mutateSubtree(child, settings.treeDepth);
    }
    mutateTree(child, settings.mutRate);
    trees.push_back(child);
  };
  while (static_cast<int>(trees.size()) < popSize) {
    Ttree* const first =
        population[rouletteIndex(population, popSize, uniformDraw())]->tree;
    Ttree* const second =
        population[rouletteIndex(population, popSize, uniformDraw())]->tree;
    Ttree* const childA = makeChild(first, second);
    if (static_cast<int>(trees.size()) + 1 == popSize) {
      mutate(childA);
      break;
    }
    Ttree* const childB = makeChild(second, first);
    mutate(childA);
    mutate(childB);
  }
  return trees;
}

void runGenerations(TIndividual** population, int popSize,
                    std::unique_ptr<NodePool>& nodes,
                    const EvolutionSettings& settings, Workers& workers,
                    std::vector<float> costs) {
  if (popSize <= 0 || settings.genSize <= 0) return;
  int best = rankPopulation(population, popSize, costs);
  // Counted up to genSize, never past it: genSize may be INT_MAX.
  for (int done = 0; done < settings.genSize; ++done) {
    const int generation = done + 1;
    auto next = std::make_unique<NodePool>();
    std::vector<Ttree*> trees;
    {
      const ActivePool active(next.get());
      trees = nextTrees(population, popSize, best, settings);
    }
    for (int i = 0; i < popSize; ++i) population[i]->tree = trees[i];
    // The previous population's nodes all go at once.
    nodes = std::move(next);
    costs =
        quietCosts(population, popSize, workers, generation, settings.genSize);
    best = rankPopulation(population, popSize, costs);
    writeGeneration(generation, costs, population[best], costs[best]);
  }
  writeLine(kSeparator);
  evalIndividual(population[best], best);
}
