#include "trees.hpp"

#include <sys/mman.h>

#include <cstdint>
#include <iomanip>
#include <iostream>
#include <mutex>
#include <new>
#include <utility>

#include "transcript.hpp"

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
  Ttree* node = new Ttree{};
  // The first draw only advances the sequence; the trees users know were
  // grown this way, so it stays.
  draw();
  node->padre = father;
  node->profundidad = treeDepth;
  if (treeDepth < maxDepth) {
    node->dato = opVar[draw() % 5];
    node->esHoja = false;
    node->Hd = createTree(treeDepth + 1, maxDepth, node);
    node->Hi = createTree(treeDepth + 1, maxDepth, node);
  } else {
    node->dato = eqVar[draw() % 4];
    node->esHoja = true;
  }
  return node;
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

void printPop(TIndividual** population, int popSize) {
  for (int i = 0; i < popSize; ++i) {
    writeLine();
    writeLine("Population: ", i);
    printTree(population[i]->tree, 0);
  }
  writeLine();
  writeLine("Finished");
}
