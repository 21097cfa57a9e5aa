// Random expression trees and the population that holds them.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "random_stream.hpp"

class Workers;

// One node of an expression tree. num_nodos and esRaiz are kept for the
// record's layout; nothing maintains them.
struct Ttree {
  char dato;     // operator at an inner node, terminal at a leaf
  Ttree* Hi;     // left child
  Ttree* Hd;     // right child
  Ttree* padre;  // parent, null at the root
  int num_nodos;
  int profundidad;  // depth, 0 at the root
  bool esRaiz;
  bool esHoja;  // true at a leaf

  // Nodes come from the active NodePool and go with it: a node costs its
  // own 48 bytes, and a population's trees are released all at once. A node
  // deleted while its pool is active is made again from its room.
  static void* operator new(std::size_t size);
  static void operator delete(void* node) noexcept;
};

// Where the nodes of trees are made: large blocks cut into nodes, released
// together when the pool is, as spare blocks that the pools made later take
// before they map new ones. While a pool is active on a thread, `new Ttree`
// there takes its nodes from it, with no lock; when none is, from one pool
// that lives as long as the process (for one thread at a time).
class NodePool {
 public:
  NodePool() = default;
  NodePool(const NodePool&) = delete;
  NodePool& operator=(const NodePool&) = delete;
  ~NodePool();

  // Room for one node: the last one given back, or a new one.
  void* allocate();

  // Room for `count` nodes (at most a block's) in one go, for another
  // thread to fill: the nodes allocate would give next, in up to two runs,
  // the second at the start of a new block.
  struct Room {
    std::byte* runs[2];
    std::size_t counts[2];
  };
  Room takeRoom(std::size_t count);

  // Takes back a node of this pool for the next allocate.
  void release(void* node) noexcept;

  // Takes over the other pool's blocks, nodes and all, leaving it empty:
  // the nodes then go when this pool does.
  void absorb(NodePool& other);

  // A pool maps its nodes' room in blocks of this size, aligned so that the
  // kernel can back each with one huge page.
  static constexpr std::size_t kBlockBytes = std::size_t{2} << 20;

  // Bytes a pool takes for n nodes, its blocks' rounding left aside.
  static constexpr double bytesFor(double nodes) {
    return nodes * static_cast<double>(sizeof(Ttree));
  }

 private:
  // Out of line, so that the common path of allocate stays short.
  [[gnu::noinline]] void addBlock();

  std::vector<void*> blocks_;
  void* freed_ = nullptr;  // nodes given back, each holding the next
  std::byte* next_ = nullptr;
  std::byte* end_ = nullptr;
};

// Gives the spare blocks of released pools back to the system.
void releaseSpareBlocks();

// Makes pool the one `new Ttree` takes nodes from on this thread (null: the
// process-wide pool) and returns the one that was active before.
NodePool* activateNodePool(NodePool* pool);

// Makes `new Ttree` on this thread take nodes from one pool for the scope's
// lifetime, so that no pool stays active once it is gone, whatever ends the
// scope.
class ActivePool {
 public:
  explicit ActivePool(NodePool* pool) : outer_(activateNodePool(pool)) {}
  ~ActivePool() { activateNodePool(outer_); }
  ActivePool(const ActivePool&) = delete;
  ActivePool& operator=(const ActivePool&) = delete;

 private:
  NodePool* outer_;
};

// One member of the population. The fitness fields are used by the
// generations of an evolving run; a plain run sets only `tree`.
struct TIndividual {
  Ttree* tree;
  float adaptacion;
  float puntuacion;
  float punt_acu;
  bool elite;
};

inline constexpr char eqVar[4] = {'a', 'b', 'c', '2'};
inline constexpr char opVar[5] = {'+', '-', '*', '/', 's'};

// Builds a complete random tree: nodes at depth below maxDepth are operators,
// the others terminals. Every node takes two draws, the first discarded, the
// second r % 5 over opVar or r % 4 over eqVar; the right subtree is drawn
// before the left one.
Ttree* createTree(int treeDepth, int maxDepth, Ttree* father);

// Pre-order print "symbol,depth" of every node, with no line break.
void printTree(Ttree* tree, int indent);

// The in-order flattening: left subtree, symbol, right subtree.
std::string parseTree(Ttree* tree);

// A copy of the subtree, node for node, made where `new Ttree` makes nodes;
// its root's parent is father.
Ttree* copyTree(const Ttree* tree, Ttree* father);

// Gives every node of the subtree back to the active pool, which made them.
void deleteTree(Ttree* tree);

// Gives each of the popSize individuals a fresh tree of depth treeDepth.
void createPop(TIndividual** population, int popSize, int treeDepth);

// createPop from rand() after srand(seed), into `nodes`, on the workers'
// threads when the population is large enough to gain from them: the draws
// and the nodes' room are taken in order on one thread, and the trees grown
// in it on all, so the pool ends as createPop would leave it.
void growPop(TIndividual** population, int popSize, int treeDepth,
             unsigned seed, Workers& workers, NodePool& nodes);

// Diagnostic print of every individual's tree.
void printPop(TIndividual** population, int popSize);
