#include "fitness.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "evaluator.hpp"
#include "support.hpp"

namespace {

Ttree* leaf(char symbol) {
  return new Ttree{symbol, nullptr, nullptr, nullptr, 0, 1, false, true};
}

Ttree* inner(char symbol, char left, char right) {
  return new Ttree{symbol, leaf(left), leaf(right), nullptr,
                   0,      0,          false,       false};
}

}  // namespace

TEST(TargetFunction, QuadraticInTheCurrentValues) {
  struct Case {
    std::string va, vb, vc;
    float val, expected;
  };
  const Case cases[] = {
      {"2", "3", "4", 1.0f, 9.0f},
      {"2", "3", "4", 0.5f, 6.0f},
      {"2", "3", "4", -1.0f, 3.0f},
      {"2", "3", "4", 0.0f, 4.0f},
      {"1", "x", "1", 2.0f, 5.0f},
      {"4", "4", "9", 15.0f, 969.0f},
      // The square is a float: (1 + 2^-12)^2 rounds to 1 + 2^-11.
      {"1", "0", "-1", 1.000244140625f, 0.00048828125f},
      // The sums are doubles: 1e-8 survives 1 + 1e-8 - 1.
      {"1", "1e-8", "-1", 1.0f, static_cast<float>(1.0 + 1e-8 - 1.0)},
      // 0 times an infinite square is NaN, and it flows on.
      {"0", "0", "0", 1e30f, 0.0f * std::numeric_limits<float>::infinity()},
  };
  for (const Case& t : cases) {
    a = t.va;
    b = t.vb;
    c = t.vc;
    EXPECT_EQ(bitsOf(function(t.val)), bitsOf(t.expected))
        << t.va << "," << t.vb << "," << t.vc << " at " << t.val;
  }
}

TEST(PopulationEvaluation, RunningCostsPerIndividualOverCompleteTriples) {
  TIndividual first = individual(inner('+', 'a', 'b'));
  TIndividual second = individual(inner('s', 'a', 'c'));
  TIndividual* population[] = {&first, &second};
  // The seventh value is no triple and is skipped.
  vars = {"2", "3", "4", "1", "-1", "0.5", "9"};
  CoutCapture out;
  evalPop(population, 2);
  EXPECT_EQ(out.text(),
            "Expression: 0\t---\ta+b\n"
            "Parsed: 2+3\n"
            "Result (floating point): 5\n"
            "Cost1: 0.69\n"
            "Parsed: 1-1\n"
            "Result (floating point): 0\n"
            "Cost1: 0.695\n"
            "************************************************\n"
            "Expression: 1\t---\tasc\n"
            "Parsed: 2s4\n"
            "Result (floating point): 4\n"
            "Cost1: 0.48\n"
            "Parsed: 1s0.5\n"
            "Result (floating point): 1.70711\n"
            "Cost1: 0.497071\n"
            "************************************************\n");
  EXPECT_EQ(a, "1");
  EXPECT_EQ(c, "0.5");
}

TEST(PopulationEvaluation, NoValuesOrNoIndividuals) {
  TIndividual only = individual(leaf('c'));
  TIndividual* population[] = {&only};
  vars = {};
  a = std::string("4");  // a literal trips a false GCC 12 -Wrestrict
  {
    CoutCapture out;
    evalPop(population, 1);
    EXPECT_EQ(out.text(),
              "Expression: 0\t---\tc\n"
              "************************************************\n");
  }
  EXPECT_EQ(a, "4");
  vars = {"1", "2", "3"};
  {
    CoutCapture out;
    evalPop(population, 0);
    evalPop(population, -1);
    EXPECT_EQ(out.text(), "");
  }
}
