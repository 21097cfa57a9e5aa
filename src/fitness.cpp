#include "fitness.hpp"

#include "evaluator.hpp"
#include "transcript.hpp"

std::vector<std::string> vars;

float function(float val) {
  const double A = decimalValue(a);
  const float S = val * val;
  double T = A * static_cast<double>(S);
  T = T + decimalValue(b) * static_cast<double>(val);
  T = T + decimalValue(c);
  return static_cast<float>(T);
}

void evalIndividual(TIndividual* individual, int index) {
  const std::string expression = parseTree(individual->tree);
  writeLine("Expression: ", index, "\t---\t", expression);
  float cost1 = 0.0f;
  for (std::size_t k = 0; k + 2 < vars.size(); k += 3) {
    a = vars[k];
    b = vars[k + 1];
    c = vars[k + 2];
    // Each triple starts again from the expression with its letters.
    const float eval = parseString(expression);
    writeLine("Result (floating point): ", eval);
    cost1 = function(eval) / 100.0f + cost1;
    writeLine("Cost1: ", cost1);
  }
  writeLine(kSeparator);
}

void evalPop(TIndividual** population, int popSize) {
  // One individual at a time: its expression and cost live only while it is
  // evaluated, so the evaluation adds little to what the trees hold.
  for (int i = 0; i < popSize; ++i) evalIndividual(population[i], i);
}

float expressionCost(std::string_view expression) {
  float cost1 = 0.0f;
  for (std::size_t k = 0; k + 2 < vars.size(); k += 3) {
    a = vars[k];
    b = vars[k + 1];
    c = vars[k + 2];
    cost1 = function(expressionValue(expression)) / 100.0f + cost1;
  }
  return cost1;
}
