#include "fitness.hpp"

#include <cmath>

#include "evaluator.hpp"
#include "progress.hpp"
#include "transcript.hpp"

std::vector<std::string> vars;

namespace {

// Makes the triple at k the current values of a, b and c.
void takeTriple(std::size_t k) {
  a = vars[k];
  b = vars[k + 1];
  c = vars[k + 2];
}

// Between two NaNs the processor keeps the first operand's, but the compiler
// may swap the operands of + and *: the one written first is kept here, so
// that every build writes the same sign.
template <typename Number>
Number sumInOrder(Number x, Number y) {
  return std::isnan(x) && std::isnan(y) ? x : x + y;
}

template <typename Number>
Number productInOrder(Number x, Number y) {
  return std::isnan(x) && std::isnan(y) ? x : x * y;
}

// The running cost after one more result: quotient first, then the sum, both
// in single precision, as every "Cost1: " line shows it.
float addedCost(float cost1, float eval) {
  return sumInOrder(function(eval) / 100.0f, cost1);
}

}  // namespace

float function(float val) {
  const double A = decimalValue(a);
  const float S = val * val;
  double T = productInOrder(A, static_cast<double>(S));
  T = sumInOrder(T, productInOrder(decimalValue(b), static_cast<double>(val)));
  T = sumInOrder(T, decimalValue(c));
  return static_cast<float>(T);
}

void evalIndividual(TIndividual* individual, int index) {
  const std::string expression = parseTree(individual->tree);
  writeLine("Expression: ", index, "\t---\t", expression);
  float cost1 = 0.0f;
  for (std::size_t k = 0; k + 2 < vars.size(); k += 3) {
    takeTriple(k);
    // Each triple starts again from the expression with its letters.
    const float eval = parseString(expression);
    writeLine("Result (floating point): ", eval);
    cost1 = addedCost(cost1, eval);
    writeLine("Cost1: ", cost1);
  }
  writeLine(kSeparator);
}

void evalPop(TIndividual** population, int popSize) {
  // One individual at a time: its expression and cost live only while it is
  // evaluated, so the evaluation adds little to what the trees hold.
  for (int i = 0; i < popSize; ++i) {
    showProgress(i, popSize);
    evalIndividual(population[i], i);
  }
}

float expressionCost(std::string_view expression) {
  float cost1 = 0.0f;
  for (std::size_t k = 0; k + 2 < vars.size(); k += 3) {
    takeTriple(k);
    cost1 = addedCost(cost1, expressionValue(expression));
  }
  return cost1;
}
