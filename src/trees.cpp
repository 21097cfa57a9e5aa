#include "trees.hpp"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <iomanip>
#include <iostream>
#include <limits>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

#include "transcript.hpp"
#include "workers.hpp"

namespace {

void appendInOrder(const Ttree* node, std::string& out) {
  // The right subtree is fetched while the left one is walked.
  if (node->Hd != nullptr) __builtin_prefetch(node->Hd);
  if (node->Hi != nullptr) appendInOrder(node->Hi, out);
  out += node->dato;
  if (node->Hd != nullptr) appendInOrder(node->Hd, out);
}

// A deep population then costs a few faults instead of one per 4 KiB.
constexpr std::size_t kBlockBytes = NodePool::kBlockBytes;

// One aligned block, holding no more address space than its own: twice its
// size is mapped once and the ends beside the aligned block are given back.
// (aligned_alloc would keep the whole double span reserved.)
void* alignedBlock() {
  void* const span = mmap(nullptr, 2 * kBlockBytes, PROT_READ | PROT_WRITE,
                          MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (span == MAP_FAILED) throw std::bad_alloc();
  auto* const start = static_cast<std::byte*>(span);
  const std::size_t lead =
      (kBlockBytes - reinterpret_cast<std::uintptr_t>(start) % kBlockBytes) %
      kBlockBytes;
  if (lead != 0) munmap(start, lead);
  munmap(start + lead + kBlockBytes, kBlockBytes - lead);
  return start + lead;
}

// The blocks of pools that went, for the pools made after them: a new
// generation's nodes then land on pages already mapped, instead of pages the
// kernel must clear first (a tenth of a deep run's time). They never exceed
// what the pools held at once. Never destroyed: a pool may go at exit.
struct SpareBlocks {
  std::mutex mutex;
  std::vector<void*> blocks;
};
SpareBlocks& spareBlocks() {
  static SpareBlocks* const spare = new SpareBlocks;
  return *spare;
}

thread_local NodePool* activePool = nullptr;

NodePool& processPool() {
  static NodePool pool;
  return pool;
}

// A complete tree grown from `draws`: every node takes two, the first only
// advancing the sequence (the trees users know were grown this way, so it
// stays), the second choosing its symbol; a node's right subtree is drawn
// before its left one.
template <typename Draws>
Ttree* grownTree(int treeDepth, int maxDepth, Ttree* father, Draws& draws) {
  Ttree* node = ::new (draws.node()) Ttree{};
  draws.skip();
  node->padre = father;
  node->profundidad = treeDepth;
  if (treeDepth < maxDepth) {
    node->dato = opVar[draws.symbol() % 5];
    node->esHoja = false;
    node->Hd = grownTree(treeDepth + 1, maxDepth, node, draws);
    node->Hi = grownTree(treeDepth + 1, maxDepth, node, draws);
  } else {
    node->dato = eqVar[draws.symbol() % 4];
    node->esHoja = true;
  }
  return node;
}

// The program's random source as it is, rand() or the active stream, and
// nodes from the active pool.
struct LiveDraws {
  static void* node() { return Ttree::operator new(sizeof(Ttree)); }
  static void skip() { draw(); }
  static std::uint32_t symbol() { return draw(); }
};

// Symbol draws made ahead, each kept as r % 20, which gives r % 5 and r % 4
// alike (the skipped draws were made and dropped then), and room taken
// ahead for the tree's nodes.
struct DrawnAhead {
  const std::uint8_t* symbols;
  NodePool::Room room;
  int run = 0;

  void* node() {
    if (room.counts[run] == 0) ++run;
    --room.counts[run];
    return std::exchange(room.runs[run], room.runs[run] + sizeof(Ttree));
  }
  static void skip() {}
  std::uint32_t symbol() { return *symbols++; }
};

// rand()'s sequence after srand(seed), on a state of its own: glibc's rand()
// is random_r over a 128-byte state.
class RandSequence {
 public:
  explicit RandSequence(unsigned seed) {
    initstate_r(seed, state_, sizeof state_, &data_);
  }
  RandSequence(const RandSequence&) = delete;
  RandSequence& operator=(const RandSequence&) = delete;

  std::uint32_t next() {
    std::int32_t value = 0;
    random_r(&data_, &value);
    return static_cast<std::uint32_t>(value);
  }

 private:
  char state_[128] = {};
  random_data data_{};  // points into state_
};

// rand()'s draws from such a sequence, without rand()'s lock; nodes from
// the active pool.
struct SequenceDraws {
  RandSequence& sequence;

  static void* node() { return Ttree::operator new(sizeof(Ttree)); }
  void skip() { sequence.next(); }
  std::uint32_t symbol() { return sequence.next(); }
};

// Whether this C library's rand() is that sequence: checked, not assumed,
// before trees are grown from it. Leaves rand() as srand(seed) left it.
bool randIsSequence(unsigned seed) {
  RandSequence sequence(seed);
  std::srand(seed);
  bool same = true;
  for (int k = 0; k < 64; ++k) {
    same = same && static_cast<std::uint32_t>(std::rand()) == sequence.next();
  }
  std::srand(seed);
  return same;
}

// Nodes in a complete tree of depth d (beyond what memory holds, the most).
std::size_t treeNodes(int depth) {
  if (depth >= std::numeric_limits<std::size_t>::digits - 1) {
    return std::numeric_limits<std::size_t>::max();
  }
  return depth <= 0 ? 1 : (std::size_t{2} << depth) - 1;
}

// Trees are grown in batches of about this many nodes: the calling thread
// makes the next batch's draws while the others grow the trees of this one.
constexpr std::size_t kBatchNodes = std::size_t{1} << 18;
// Fewer trees to a batch than this, and the threads would wait on each other;
// trees smaller than kMinTreeNodes cost less to grow than to share out.
constexpr std::size_t kMinBatchTrees = 8;
constexpr std::size_t kMinTreeNodes = 31;
// Below this many nodes in all, threads would cost more than they save.
constexpr std::size_t kThreadedNodes = std::size_t{1} << 16;

// The trees grown on the workers' threads, in room that `nodes` gives.
void growOnThreads(TIndividual** population, std::size_t count, int treeDepth,
                   unsigned seed, Workers& workers, NodePool& nodes) {
  const std::size_t perTree = treeNodes(treeDepth);
  const std::size_t batchTrees = kBatchNodes / perTree;
  RandSequence sequence(seed);
  struct Batch {
    std::vector<std::uint8_t> symbols;
    std::vector<NodePool::Room> rooms;
  };
  Batch ready, coming;
  const auto drawAhead = [&](Batch& into, std::size_t trees) {
    into.symbols.resize(trees * perTree);
    into.rooms.resize(trees);
    for (std::size_t k = 0; k < into.symbols.size(); ++k) {
      sequence.next();
      into.symbols[k] = static_cast<std::uint8_t>(sequence.next() % 20);
    }
    for (NodePool::Room& room : into.rooms) room = nodes.takeRoom(perTree);
  };
  // Shares of a few thousand nodes: small enough to even out.
  const std::size_t share = std::max<std::size_t>(4096 / perTree, 1);
  drawAhead(ready, std::min(batchTrees, count));
  for (std::size_t first = 0; first < count; first += batchTrees) {
    const std::size_t trees = ready.rooms.size();
    const std::size_t after = std::min(batchTrees, count - first - trees);
    bool drawn = false;
    workers.forEach(
        trees, share,
        [&](std::size_t i, int) {
          DrawnAhead draws{ready.symbols.data() + i * perTree, ready.rooms[i]};
          population[first + i]->tree = grownTree(0, treeDepth, nullptr, draws);
        },
        [&](bool) {
          // The next batch is drawn while the other threads grow this one.
          if (!std::exchange(drawn, true)) drawAhead(coming, after);
        });
    std::swap(ready, coming);
  }
}

}  // namespace

void* Ttree::operator new(std::size_t size) {
  static_assert(sizeof(Ttree) == 48 && alignof(Ttree) <= 16);
  (void)size;  // always sizeof(Ttree): nothing derives from a node
  return (activePool != nullptr ? *activePool : processPool()).allocate();
}

void Ttree::operator delete(void* node) noexcept {
  (activePool != nullptr ? *activePool : processPool()).release(node);
}

NodePool::~NodePool() {
  SpareBlocks& spare = spareBlocks();
  const std::lock_guard lock(spare.mutex);
  try {
    spare.blocks.insert(spare.blocks.end(), blocks_.begin(), blocks_.end());
  } catch (const std::bad_alloc&) {
    for (void* block : blocks_) munmap(block, kBlockBytes);
  }
}

void* NodePool::allocate() {
  if (freed_ != nullptr) {
    return std::exchange(freed_, *static_cast<void**>(freed_));
  }
  if (end_ - next_ < static_cast<std::ptrdiff_t>(sizeof(Ttree))) addBlock();
  void* node = next_;
  next_ += sizeof(Ttree);
  return node;
}

void NodePool::addBlock() {
  blocks_.reserve(blocks_.size() + 1);
  void* block = nullptr;
  {
    SpareBlocks& spare = spareBlocks();
    const std::lock_guard lock(spare.mutex);
    if (!spare.blocks.empty()) {
      block = spare.blocks.back();
      spare.blocks.pop_back();
    }
  }
  if (block == nullptr) {
    block = alignedBlock();
    madvise(block, kBlockBytes, MADV_HUGEPAGE);
  }
  blocks_.push_back(block);
  next_ = static_cast<std::byte*>(block);
  end_ = next_ + kBlockBytes;
}

NodePool::Room NodePool::takeRoom(std::size_t count) {
  Room room{};
  const auto fit =
      std::min(count, static_cast<std::size_t>(end_ - next_) / sizeof(Ttree));
  room.runs[0] = next_;
  room.counts[0] = fit;
  next_ += fit * sizeof(Ttree);
  if (fit < count) {
    addBlock();
    room.runs[1] = next_;
    room.counts[1] = count - fit;
    next_ += room.counts[1] * sizeof(Ttree);
  }
  return room;
}

void NodePool::release(void* node) noexcept {
  *static_cast<void**>(node) = freed_;
  freed_ = node;
}

void NodePool::absorb(NodePool& other) {
  blocks_.insert(blocks_.end(), other.blocks_.begin(), other.blocks_.end());
  other.blocks_.clear();
  other.freed_ = nullptr;
  other.next_ = other.end_ = nullptr;
}

void releaseSpareBlocks() {
  SpareBlocks& spare = spareBlocks();
  const std::lock_guard lock(spare.mutex);
  for (void* block : spare.blocks) munmap(block, kBlockBytes);
  spare.blocks.clear();
}

NodePool* activateNodePool(NodePool* pool) {
  return std::exchange(activePool, pool);
}

Ttree* createTree(int treeDepth, int maxDepth, Ttree* father) {
  LiveDraws draws;
  return grownTree(treeDepth, maxDepth, father, draws);
}

void printTree(Ttree* tree, int indent) {
  std::cout << tree->dato << ',' << tree->profundidad;
  if (tree->Hi != nullptr) printTree(tree->Hi, indent + 1);
  if (tree->Hd != nullptr) printTree(tree->Hd, indent + 2);
  // A node's blanks follow everything printed for its subtrees.
  if (indent != 0) std::cout << std::setw(indent) << ' ';
}

// Appending into one string keeps the flattening linear in the node count.
std::string parseTree(Ttree* tree) {
  std::string expression;
  appendInOrder(tree, expression);
  return expression;
}

Ttree* copyTree(const Ttree* tree, Ttree* father) {
  Ttree* node = new Ttree(*tree);
  node->padre = father;
  if (tree->Hi != nullptr) node->Hi = copyTree(tree->Hi, node);
  if (tree->Hd != nullptr) node->Hd = copyTree(tree->Hd, node);
  return node;
}

void deleteTree(Ttree* tree) {
  if (tree->Hi != nullptr) deleteTree(tree->Hi);
  if (tree->Hd != nullptr) deleteTree(tree->Hd);
  delete tree;
}

void createPop(TIndividual** population, int popSize, int treeDepth) {
  for (int i = 0; i < popSize; ++i) {
    population[i]->tree = createTree(0, treeDepth, nullptr);
  }
}

void growPop(TIndividual** population, int popSize, int treeDepth,
             unsigned seed, Workers& workers, NodePool& nodes) {
  const auto count = static_cast<std::size_t>(std::max(popSize, 0));
  const std::size_t perTree = treeNodes(treeDepth);
  const ActivePool active(&nodes);
  if (!randIsSequence(seed)) {
    std::srand(seed);
    createPop(population, popSize, treeDepth);
  } else if (workers.count() > 1 && perTree >= kMinTreeNodes &&
             kBatchNodes / perTree >= kMinBatchTrees &&
             count * perTree >= kThreadedNodes) {
    growOnThreads(population, count, treeDepth, seed, workers, nodes);
  } else {
    RandSequence sequence(seed);
    SequenceDraws draws{sequence};
    for (std::size_t i = 0; i < count; ++i) {
      population[i]->tree = grownTree(0, treeDepth, nullptr, draws);
    }
  }
}

void printPop(TIndividual** population, int popSize) {
  for (int i = 0; i < popSize; ++i) {
    writeLine();
    writeLine("Population: ", i);
    printTree(population[i]->tree, 0);
  }
  writeLine();
  writeLine("Finished");
}
