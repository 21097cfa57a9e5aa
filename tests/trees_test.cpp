#include "trees.hpp"

#include <gtest/gtest.h>
#include <malloc.h>

#include "support.hpp"

// Counts the nodes of a complete tree, checking each one's parent link and
// leaf flag on the way.
int checkedNodes(const Ttree* node, const Ttree* parent) {
  EXPECT_EQ(node->padre, parent);
  EXPECT_EQ(node->esHoja, node->Hi == nullptr && node->Hd == nullptr);
  if (node->Hi == nullptr || node->Hd == nullptr) return 1;
  return 1 + checkedNodes(node->Hi, node) + checkedNodes(node->Hd, node);
}

TEST(Trees, PoolTreePrintedInPreOrderAndReleasedWithItsPool) {
  // The pool's blocks are mapped on their own: small blocks freed into
  // malloc's caches would still count as in use.
  const auto heap = [] { return mallinfo2().hblkhd; };
  const std::size_t before = heap();  // (the sanitizers' heap is not seen)
  {
    NodePool pool;
    // Depth 2 from draws 1-14: 2-2-a+2. A node's blanks, one more than its
    // parent's on the left and two more on the right, follow its subtrees.
    TIndividual only{};
    TIndividual* population[] = {&only};
    std::srand(1);
    {
      const ActivePool active(&pool);
      createPop(population, 1, 2);
    }
    EXPECT_EQ(checkedNodes(only.tree, nullptr), 7);
    CoutCapture out;
    printPop(population, 1);
    EXPECT_EQ(
        out.text(),
        "\nPopulation: 0\n-,0-,12,2  2,2    +,1a,2   2,2      \nFinished\n");
  }
  EXPECT_EQ(heap(), before);
}
