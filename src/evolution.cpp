#include "evolution.hpp"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <string>

#include "fitness.hpp"
#include "transcript.hpp"

namespace {

// A child slot's link in its parent.
Ttree*& linkTo(Ttree* node) {
  Ttree* const parent = node->padre;
  return parent->Hi == node ? parent->Hi : parent->Hd;
}

}  // namespace

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

namespace {

// A selection option larger than the population is the population size.
void settleSize(int& size, int popSize, const char* what) {
  if (size <= popSize) return;
  std::cerr << "function-approximator: note: the " << what << ' ' << size
            << " is larger than the population of " << popSize << "; "
            << popSize << " is used" << std::endl;
  size = popSize;
}

}  // namespace

void settleSelection(EvolutionSettings& settings, int popSize) {
  if (popSize <= 0) return;
  settleSize(settings.tournament, popSize, "tournament size");
  settleSize(settings.elite, popSize, "elite size");
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

// The lists of a tree in the thread's own scratch (`which` of two, for the
// two trees of a crossover), so that their room is made once per thread.
const NodeLists& nodeLists(Ttree* tree, bool withRoot, int which) {
  thread_local NodeLists scratch[2];
  NodeLists& lists = scratch[which];
  lists.inner.clear();
  lists.leaves.clear();
  listNodes(tree, withRoot, lists);
  return lists;
}

// The 80/20 rule: one draw for the kind when there is an inner node to
// choose, then one for the node within its kind. Null when the lists are
// empty (a lone root that may not be chosen); no draw is taken then.
Ttree* chooseFrom(const NodeLists& lists) {
  const bool inner = !lists.inner.empty() && drawUniform() < kInnerNodeChance;
  const std::vector<Ttree*>& kind = inner ? lists.inner : lists.leaves;
  if (kind.empty()) return nullptr;
  return kind[draw() % kind.size()];
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
  return chooseFrom(nodeLists(tree, withRoot, 0));
}

Ttree* crossChild(Ttree* parent, Ttree* donor, int treeDepth) {
  const NodeLists& places = nodeLists(parent, false, 0);
  const NodeLists& grafts = nodeLists(donor, true, 1);
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
  const auto levels = static_cast<int>(
      draw() % static_cast<std::uint32_t>(std::max(treeDepth - depth, 0) + 1));
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

namespace {

// Where the point mutation stands: the draw it compares with, 1 - u, and
// (1 - mutRate)^k over the k nodes walked since the draw.
struct PointWalk {
  double keep;  // 1 - mutRate
  double threshold;
  double stay;
};

// Walks the nodes in the order createTree drew them (a node, then its right
// subtree, then its left one).
void mutateNodes(Ttree* node, PointWalk& walk) {
  walk.stay *= walk.keep;
  if (walk.stay < walk.threshold) {
    const bool leaf = node->Hi == nullptr && node->Hd == nullptr;
    node->dato = leaf ? eqVar[draw() % 4] : opVar[draw() % 5];
    walk.threshold = 1.0 - drawUniform();
    walk.stay = 1.0;
  }
  if (node->Hd != nullptr) mutateNodes(node->Hd, walk);
  if (node->Hi != nullptr) mutateNodes(node->Hi, walk);
}

}  // namespace

void mutateTree(Ttree* tree, float mutRate) {
  PointWalk walk{1.0 - static_cast<double>(mutRate), 1.0 - drawUniform(), 1.0};
  // At a rate of 0 no node would change.
  if (mutRate > 0.0f) mutateNodes(tree, walk);
}

// The draws of a pair of slots (the first two after the elite, the next
// two, ...), in this order, all from the pair's stream: the first parent's,
// by tournament (one draw per individual in it) or by roulette (one draw),
// after, when the run uses lexicase, one draw that may choose lexicase
// instead; then the second parent's, never by lexicase. Then the first child:
// one draw decides its crossover; a child that crosses draws a node of its
// first parent to replace and a node of the second to copy there (see
// chooseNode), again up to kCrossoverAttempts times while the result would be
// too deep. Then the second child likewise, with the parents' roles swapped.
// Then the first child's mutations: one draw decides a subtree mutation, which
// draws its node (root included) and the new subtree's depth and grows it as
// createTree does; then the point mutation (see mutateTree). Then the second
// child's mutations. When one slot is left, the pair is drawn and only its
// first child is made.
std::vector<Ttree*> nextTrees(TIndividual** population, int popSize,
                              const Ranking& ranking,
                              const EvolutionSettings& settings, int generation,
                              Workers& workers, NodePool& nodes,
                              const Lexicase* lexicase) {
  std::vector<Ttree*> trees(static_cast<std::size_t>(std::max(popSize, 0)));
  if (popSize <= 0) return trees;
  // One pool per thread: taking a node needs no lock.
  std::vector<NodePool> pools(static_cast<std::size_t>(workers.count()));
  const auto elite =
      static_cast<std::size_t>(std::clamp(settings.elite, 0, popSize));
  {
    const ActivePool active(&pools[0]);
    for (std::size_t slot = 0; slot < elite; ++slot) {
      trees[slot] = copyTree(population[ranking.order[slot]]->tree, nullptr);
    }
  }
  const double subtreeChance = subtreeMutationChance(settings.mutRate);
  const auto makeChild = [&](Ttree* parent, Ttree* other) {
    if (drawUniform() < static_cast<double>(settings.crossRate)) {
      return crossChild(parent, other, settings.treeDepth);
    }
    return copyTree(parent, nullptr);
  };
  const auto mutate = [&](Ttree* child) {
    if (drawUniform() < subtreeChance) {
      child = mutateSubtree(child, settings.treeDepth);
    }
    mutateTree(child, settings.mutRate);
    return child;
  };
  const auto parent = [&](bool first) {
    const int chosen =
        first && settings.lexicase > 0.0f &&
                drawUniform() < static_cast<double>(settings.lexicase)
            ? lexicaseIndex(*lexicase, kLexicasePool)
        : settings.tournament > 0
            ? tournamentIndex(ranking, settings.tournament)
            : rouletteIndex(ranking.runningWeights, draw());
    return population[chosen]->tree;
  };
  const auto breed = [&](std::size_t pair, int worker) {
    RandomStream stream(settings.seed, static_cast<std::uint32_t>(generation),
                        static_cast<std::uint32_t>(pair));
    const ActiveStream draws(&stream);
    const ActivePool active(&pools[static_cast<std::size_t>(worker)]);
    const std::size_t slot = elite + 2 * pair;
    Ttree* const first = parent(true);
    Ttree* const second = parent(false);
    Ttree* const childA = makeChild(first, second);
    if (slot + 1 == trees.size()) {
      trees[slot] = mutate(childA);
      return;
    }
    Ttree* const childB = makeChild(second, first);
    trees[slot] = mutate(childA);
    trees[slot + 1] = mutate(childB);
  };
  workers.forEach((trees.size() - elite + 1) / 2, kPairShare, breed);
  for (NodePool& pool : pools) nodes.absorb(pool);
  return trees;
}

void runGenerations(TIndividual** population, int popSize,
                    std::unique_ptr<NodePool>& nodes,
                    const EvolutionSettings& settings, std::vector<float> costs,
                    std::vector<int> finiteTriples, Workers& workers,
                    const GenerationEnd& generationEnded) {
  if (popSize <= 0 || settings.genSize <= 0) return;
  Ranking ranking;
  // Lexicase's terms, of triples drawn for each generation: a resumed run
  // finds them again from the population.
  const bool lexicase = settings.lexicase > 0.0f;
  TripleTerms terms;
  Lexicase ready;
  const auto drawFor = [&](int generation) {
    if (!lexicase) return;
    terms.triples =
        drawTriples(settings.seed, static_cast<std::uint32_t>(generation),
                    vars.size() / 3, kLexicaseTriples);
  };
  const auto prepare = [&] {
    if (lexicase) {
      prepareLexicase(terms, static_cast<std::size_t>(popSize), ready);
    }
  };
  if (lexicase) {
    drawFor(settings.reached);
    quietCosts(population, popSize, workers, settings.reached, settings.genSize,
               nullptr, &terms);
    prepare();
  }
  int best = rankPopulation(population, popSize, costs, finiteTriples,
                            settings.elite, ranking);
  // Counted up to genSize, never past it: genSize may be INT_MAX.
  for (int done = settings.reached; done < settings.genSize; ++done) {
    const int generation = done + 1;
    auto next = std::make_unique<NodePool>();
    const std::vector<Ttree*> trees =
        nextTrees(population, popSize, ranking, settings, generation, workers,
                  *next, &ready);
    for (int i = 0; i < popSize; ++i) population[i]->tree = trees[i];
    // The previous population's nodes all go at once.
    nodes = std::move(next);
    drawFor(generation);
    costs =
        quietCosts(population, popSize, workers, generation, settings.genSize,
                   &finiteTriples, lexicase ? &terms : nullptr);
    prepare();
    best = rankPopulation(population, popSize, costs, finiteTriples,
                          settings.elite, ranking);
    writeGeneration(generation, costs, population[best], costs[best]);
    if (generationEnded && generationEnded(generation, costs, best)) break;
  }
  writeLine(kSeparator);
  evalIndividual(population[best], best);
}
