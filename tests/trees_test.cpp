#include "trees.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "support.hpp"

namespace {

// Draw n of the unseeded sequence, counting from 1.
unsigned r(int n) { return kUnseededDraws[n - 1]; }
char op(int n) { return opVar[r(n) % 5]; }
char term(int n) { return eqVar[r(n) % 4]; }

Ttree* node(char symbol, int depth, Ttree* left = nullptr,
            Ttree* right = nullptr) {
  return new Ttree{symbol, left,  right, nullptr,
                   0,      depth, false, left == nullptr && right == nullptr};
}

// The value rand() gives after `draws` draws from the unseeded start.
int drawAfter(int draws) {
  std::srand(1);
  for (int i = 0; i < draws; ++i) std::rand();
  return std::rand();
}

}  // namespace

TEST(TreeGeneration, DrawsTwicePerNodeRightSubtreeFirst) {
  struct Case {
    int depth;
    std::string expected;
  };
  // Root (r1, r2), then the right subtree, then the left one; the second
  // draw of each node picks its symbol.
  const Case cases[] = {
      {0, {term(2)}},
      {1, {term(6), op(2), term(4)}},
      {2, {term(14), op(10), term(12), op(2), term(8), op(4), term(6)}},
  };
  for (const Case& c : cases) {
    std::srand(1);
    Ttree* tree = createTree(0, c.depth, nullptr);
    EXPECT_EQ(parseTree(tree), c.expected) << "depth " << c.depth;
  }
}

TEST(TreeGeneration, ShapeInvariants) {
  for (const int depth : {-1, 0, 1, 2, 5}) {
    SCOPED_TRACE("depth " + std::to_string(depth));
    std::srand(1);
    Ttree* root = createTree(0, depth, nullptr);
    const int expectedNodes = depth < 0 ? 1 : (2 << depth) - 1;
    const int leafDepth = depth < 0 ? 0 : depth;

    int nodes = 0;
    std::function<void(const Ttree*, const Ttree*, int)> walk =
        [&](const Ttree* n, const Ttree* parent, int level) {
          ++nodes;
          EXPECT_EQ(n->padre, parent);
          EXPECT_EQ(n->profundidad, level);
          const bool leaf = n->Hi == nullptr && n->Hd == nullptr;
          EXPECT_EQ(n->esHoja, leaf);
          EXPECT_TRUE(leaf || (n->Hi != nullptr && n->Hd != nullptr));
          if (leaf) {
            EXPECT_EQ(level, leafDepth);
            EXPECT_NE(std::string("abc2").find(n->dato), std::string::npos);
          } else {
            EXPECT_NE(std::string("+-*/s").find(n->dato), std::string::npos);
            walk(n->Hi, n, level + 1);
            walk(n->Hd, n, level + 1);
          }
        };
    walk(root, nullptr, 0);
    EXPECT_EQ(nodes, expectedNodes);
    // The tree took exactly two draws per node.
    const int next = std::rand();
    EXPECT_EQ(next, drawAfter(2 * expectedNodes));

    const std::string expression = parseTree(root);
    ASSERT_EQ(expression.size(), static_cast<std::size_t>(expectedNodes));
    for (std::size_t i = 0; i < expression.size(); ++i) {
      const std::string_view symbols = i % 2 == 0 ? "abc2" : "+-*/s";
      EXPECT_NE(symbols.find(expression[i]), std::string_view::npos)
          << expression << " at " << i;
    }
  }
}

TEST(TreeText, ParseTreeIsInOrder) {
  Ttree* sum = node('+', 0, node('a', 1), node('b', 1));
  EXPECT_EQ(parseTree(sum), "a+b");

  Ttree* product = node('*', 0, node('-', 1, node('a', 2), node('2', 2)),
                        node('s', 1, node('c', 2), node('b', 2)));
  EXPECT_EQ(parseTree(product), "a-2*csb");

  EXPECT_EQ(parseTree(node('-', 0, node('a', 1))), "a-");
  EXPECT_EQ(parseTree(node('-', 0, nullptr, node('b', 1))), "-b");
}

TEST(TreeText, PrintTreeWritesPreOrderWithTrailingBlanks) {
  struct Case {
    Ttree* tree;
    std::string expected;
  };
  const Case cases[] = {
      {node('+', 0, node('a', 1), node('b', 1)), "+,0a,1 b,1  "},
      {node('c', 0), "c,0"},
      // Blanks of a node come after its subtrees: the left child's single
      // blank follows its own children, the right leaf adds two more.
      {node('*', 0, node('-', 1, node('a', 2), node('2', 2)), node('b', 1)),
       "*,0-,1a,2  2,2    b,1  "},
  };
  for (const Case& c : cases) {
    CoutCapture out;
    printTree(c.tree, 0);
    EXPECT_EQ(out.text(), c.expected);
  }
}

TEST(Population, CreatePopTakesConsecutiveStretchesOfDraws) {
  TIndividual first{};
  TIndividual second{};
  TIndividual* population[] = {&first, &second};
  std::srand(1);
  createPop(population, 2, 1);
  EXPECT_EQ(parseTree(first.tree), (std::string{term(6), op(2), term(4)}));
  EXPECT_EQ(parseTree(second.tree), (std::string{term(12), op(8), term(10)}));
  EXPECT_NE(first.tree, second.tree);
}

TEST(Population, EmptyOrNegativeSizeDrawsNothing) {
  for (const int size : {0, -4}) {
    std::srand(1);
    createPop(nullptr, size, 3);
    EXPECT_EQ(static_cast<unsigned>(std::rand()), r(1));
  }
}

TEST(Population, PrintPopFramesEachTree) {
  TIndividual first = individual(node('a', 0));
  TIndividual second = individual(node('+', 0, node('2', 1), node('c', 1)));
  TIndividual* population[] = {&first, &second};
  {
    CoutCapture out;
    printPop(population, 2);
    EXPECT_EQ(out.text(),
              "\nPopulation: 0\na,0\nPopulation: 1\n+,0"
              "2,1 c,1  \nFinished\n");
  }
  {
    CoutCapture out;
    printPop(population, 0);
    EXPECT_EQ(out.text(), "\nFinished\n");
  }
}
