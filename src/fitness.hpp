// The target function and the evaluation of the population on every test
// triple: written out or quietly, on the run's threads.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ordered_writer.hpp"
#include "prepared.hpp"
#include "trees.hpp"
#include "workers.hpp"

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

// The test values as the quiet evaluation reads them, once: each triple's
// values prepared and its coefficients converted. The values must outlive
// it and stay unchanged.
struct CostTriples {
  explicit CostTriples(const std::vector<std::string>& values);
  evaluation::PreparedTriples values;
  std::vector<Coefficients> coefficients;
};

// Some triples' terms of the cost (each result's function value / 100),
// individual by individual: `triples` holds the triples' numbers (0 for the
// first), rising, and `terms` takes triples.size() terms per individual.
struct TripleTerms {
  std::vector<std::uint32_t> triples;
  std::vector<float> terms;
};

// The last running cost evalIndividual would write for the expression,
// computed in the same order and precision, writing nothing. `scratch` is
// the calling thread's own. `finiteTriples`, when given, takes the number of
// triples whose term of the cost was finite; `terms`, when given, the terms
// of the triples listed in `picked`, in its order.
float expressionCost(std::string_view expression, const CostTriples& triples,
                     evaluation::EvaluationScratch& scratch,
                     int* finiteTriples = nullptr,
                     const std::vector<std::uint32_t>* picked = nullptr,
                     float* terms = nullptr);

// One individual's block for its expression, numbered `index`, into
// `lines`: the expression, then per complete test triple the "Parsed: "
// line, the result and the running cost, then the separator. Returns the
// last running cost (0 without a triple). `cache` is the calling thread's;
// `finiteTriples` as for expressionCost.
float writeBlock(std::string_view expression, std::size_t index,
                 const CostTriples& triples, evaluation::ValueCache& cache,
                 BlockLines& lines, int* finiteTriples = nullptr);

// The block of one individual, numbered `index`, written at once. Returns
// its last running cost.
float evalIndividual(TIndividual* individual, int index);

// Each individual's block, in index order, each block made on one of the
// threads and written by the calling thread alone, so that the transcript
// is the same on any number of them. A trailing group of one or two values
// is not a triple and is skipped. Returns each individual's last running
// cost. Only the calling thread draws the status line. When an evaluation
// or a write fails, the lines before it are written and the failure is
// thrown, as on one thread. Each one's finite triples (see expressionCost)
// go to `finiteTriples` when it is given.
std::vector<float> evalPopCosts(TIndividual** population, int popSize,
                                Workers& workers,
                                std::vector<int>* finiteTriples = nullptr);

// The plain run's evaluation: evalPopCosts, after which a, b and c hold
// the last triple's values, as they did when one thread went through them.
void evalPop(TIndividual** population, int popSize, Workers& workers);

// Each individual's final cost, as expressionCost gives it, computed on the
// threads, which take the individuals in shares; gathered by index, so the
// costs do not depend on the threads. Only the calling thread draws the
// status line, as `generation` of `generations`. When evaluations fail, the
// failure of the lowest index is thrown, as one thread would. Each one's
// finite triples go to `finiteTriples` when it is given, and the terms of
// the triples `terms` lists to it when it is given.
std::vector<float> quietCosts(TIndividual** population, int popSize,
                              Workers& workers, int generation = 0,
                              int generations = 0,
                              std::vector<int>* finiteTriples = nullptr,
                              TripleTerms* terms = nullptr);
