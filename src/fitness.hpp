// The target function and the evaluation of the population on every test
// triple.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "trees.hpp"

// The test values in file order; entries k, k+1, k+2 (k = 0, 3, 6, ...) are
// one triple of values for a, b and c.
extern std::vector<std::string> vars;

// a*val^2 + b*val + c with the current texts of a, b, c read by atof: the
// square in single precision, the sums in double, the result narrowed.
float function(float val);

// One individual's block, written as `index`: its expression, then per
// complete test triple the "Parsed: " line, the result and the running cost,
// then the separator.
void evalIndividual(TIndividual* individual, int index);

// For each individual: its expression, then per complete test triple the
// evaluation's "Parsed: " line, the result and the running cost, then the
// separator. A trailing group of one or two values is not a triple and is
// skipped.
void evalPop(TIndividual** population, int popSize);

// The last running cost evalIndividual would write for the expression,
// computed in the same order and precision, writing nothing.
float expressionCost(std::string_view expression);
