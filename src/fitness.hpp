// The target function and the evaluation of the population on every test
// triple: written out, or quietly and on several threads.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "prepared.hpp"
#include "trees.hpp"

// The test values in file order; entries k, k+1, k+2 (k = 0, 3, 6, ...) are
// one triple of values for a, b and c.
extern std::vector<std::string> vars;

// A triple's values as the target function reads them (atof of each text).
struct Coefficients {
  double a, b, c;
};

// a*val^2 + b*val + c with the current texts of a, b, c read by atof: the
// square in single precision, the sums in double, the result narrowed.
float function(float val);

// The same for coefficients converted already.
float function(float val, const Coefficients& k);

// One individual's block, written as `index`: its expression, then per
// complete test triple the "Parsed: " line, the result and the running cost,
// then the separator. Returns the last running cost (0 without a triple);
// `finiteTriples`, when given, takes the number of triples whose term of the
// cost was finite.
float evalIndividual(TIndividual* individual, int index,
                     int* finiteTriples = nullptr);

// For each individual: its expression, then per complete test triple the
// evaluation's "Parsed: " line, the result and the running cost, then the
// separator. A trailing group of one or two values is not a triple and is
// skipped.
void evalPop(TIndividual** population, int popSize);

// evalPop that also gives each individual's last running cost, so that an
// evolving run need not evaluate its first population twice, and, when
// asked, each one's finite triples (see evalIndividual).
std::vector<float> evalPopCosts(TIndividual** population, int popSize,
                                std::vector<int>* finiteTriples = nullptr);

// The test values as the quiet evaluation reads them, once: each triple's
// values prepared and its coefficients converted. The values must outlive
// it and stay unchanged.
struct CostTriples {
  explicit CostTriples(const std::vector<std::string>& values);
  evaluation::PreparedTriples values;
  std::vector<Coefficients> coefficients;
};

// The last running cost evalIndividual would write for the expression,
// computed in the same order and precision, writing nothing. `scratch` is
// the calling thread's own; `finiteTriples`, when given, takes the number of
// triples whose term of the cost was finite.
float expressionCost(std::string_view expression, const CostTriples& triples,
                     evaluation::EvaluationScratch& scratch,
                     int* finiteTriples = nullptr);

// Each individual's final cost, as expressionCost gives it, computed on up
// to `threads` threads that take the individuals in shares; gathered by
// index, so the costs do not depend on the threads. Only the calling thread
// draws the status line, as `generation` of `generations`. When evaluations
// fail, the failure of the lowest index is thrown, as one thread would.
// Each one's finite triples go to `finiteTriples` when it is given.
std::vector<float> quietCosts(TIndividual** population, int popSize,
                              int threads, int generation = 0,
                              int generations = 0,
                              std::vector<int>* finiteTriples = nullptr);
