#include "fitness.hpp"

#include <algorithm>
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

// Where both operands of an operation are NaN, the result keeps the NaN
// (and so the sign) of `kept`: the choices the program's transcripts have
// always shown, made explicit so that the compiler's operand order cannot
// change them.
template <typename Number>
Number nanOfFirst(Number kept, Number other, Number result) {
  return std::isnan(kept) && std::isnan(other) ? kept : result;
}

Coefficients coefficientsOf(std::string_view x, std::string_view y,
                            std::string_view z) {
  return {decimalValue(x), decimalValue(y), decimalValue(z)};
}

// The running cost after one more result: quotient first, then the sum, both
// in single precision, as every "Cost1: " line shows it. The transcript
// and the quiet costs both add through here, counting the finite terms when
// asked.
float addedCost(float cost1, float eval, const Coefficients& k,
                int* finiteTerms, float* term = nullptr) {
  const float quotient = function(eval, k) / 100.0f;
  if (finiteTerms != nullptr) *finiteTerms += std::isfinite(quotient);
  if (term != nullptr) *term = quotient;
  return nanOfFirst(quotient, cost1, quotient + cost1);
}

}  // namespace

float function(float val) { return function(val, coefficientsOf(a, b, c)); }

float function(float val, const Coefficients& k) {
  const double A = k.a;
  const float S = val * val;
  double T = nanOfFirst(static_cast<double>(S), A, A * static_cast<double>(S));
  const double product = k.b * static_cast<double>(val);
  T = nanOfFirst(T, product, T + product);
  T = nanOfFirst(k.c, T, T + k.c);
  return static_cast<float>(T);
}

float writeBlock(std::string_view expression, std::size_t index,
                 const CostTriples& triples, evaluation::ValueCache& cache,
                 BlockLines& lines, int* finiteTriples) {
  lines.add("Expression: ", index, "\t---\t", expression);
  if (finiteTriples != nullptr) *finiteTriples = 0;
  float cost1 = 0.0f;
  for (std::size_t t = 0; t < triples.coefficients.size(); ++t) {
    // Each triple starts again from the expression with its letters.
    std::string_view parsed;
    const float eval = evaluation::foldedValue(
        expression, triples.values.texts(t), cache, parsed);
    lines.add("Parsed: ", parsed);
    lines.add("Result (floating point): ", eval);
    cost1 = addedCost(cost1, eval, triples.coefficients[t], finiteTriples);
    lines.add("Cost1: ", cost1);
  }
  lines.add(kSeparator);
  return cost1;
}

float evalIndividual(TIndividual* individual, int index) {
  const CostTriples triples(vars);
  evaluation::ValueCache cache;
  BlockLines lines;
  return writeBlock(parseTree(individual->tree),
                    static_cast<std::size_t>(index), triples, cache, lines);
}

std::vector<float> evalPopCosts(TIndividual** population, int popSize,
                                Workers& workers,
                                std::vector<int>* finiteTriples) {
  std::vector<float> costs(static_cast<std::size_t>(std::max(popSize, 0)));
  if (finiteTriples != nullptr) finiteTriples->resize(costs.size());
  const CostTriples triples(vars);
  std::vector<evaluation::ValueCache> caches(
      static_cast<std::size_t>(workers.count()));
  OrderedWriter writer(costs.size());
  // One individual at a time: its expression lives only while its block is
  // made, so the evaluation adds little to what the trees hold.
  workers.forEach(
      costs.size(), 1,
      [&](std::size_t i, int worker) {
        writer.make(i, worker, [&](BlockLines& lines) {
          costs[i] = writeBlock(
              parseTree(population[i]->tree), i, triples,
              caches[static_cast<std::size_t>(worker)], lines,
              finiteTriples == nullptr ? nullptr : &(*finiteTriples)[i]);
        });
      },
      [&](bool done) { writer.serve(done); });
  writer.rethrowFailure();
  return costs;
}

void evalPop(TIndividual** population, int popSize, Workers& workers) {
  evalPopCosts(population, popSize, workers);
  if (popSize > 0 && vars.size() >= 3) takeTriple((vars.size() / 3 - 1) * 3);
}

CostTriples::CostTriples(const std::vector<std::string>& texts)
    : values(texts) {
  for (std::size_t k = 0; k + 2 < texts.size(); k += 3) {
    coefficients.push_back(
        coefficientsOf(texts[k], texts[k + 1], texts[k + 2]));
  }
}

float expressionCost(std::string_view expression, const CostTriples& triples,
                     evaluation::EvaluationScratch& scratch, int* finiteTriples,
                     const std::vector<std::uint32_t>* picked, float* terms) {
  evaluation::expressionValues(expression, triples.values, scratch,
                               scratch.results);
  // Summed in file order, whatever order the values were found in.
  float cost1 = 0.0f;
  if (finiteTriples != nullptr) *finiteTriples = 0;
  std::size_t next = 0;  // the next of `picked`
  const std::size_t wanted = terms == nullptr ? 0 : picked->size();
  for (std::size_t t = 0; t < scratch.results.size(); ++t) {
    float* const term =
        next < wanted && (*picked)[next] == t ? terms + next++ : nullptr;
    cost1 = addedCost(cost1, scratch.results[t], triples.coefficients[t],
                      finiteTriples, term);
  }
  return cost1;
}

std::vector<float> quietCosts(TIndividual** population, int popSize,
                              Workers& workers, int generation, int generations,
                              std::vector<int>* finiteTriples,
                              TripleTerms* terms) {
  std::vector<float> costs(static_cast<std::size_t>(std::max(popSize, 0)));
  if (finiteTriples != nullptr) finiteTriples->resize(costs.size());
  const std::size_t perIndividual =
      terms == nullptr ? 0 : terms->triples.size();
  if (terms != nullptr) terms->terms.resize(costs.size() * perIndividual);
  const CostTriples triples(vars);
  std::vector<evaluation::EvaluationScratch> scratch(
      static_cast<std::size_t>(workers.count()));
  // Shares small enough to even out, large enough to cost nothing to hand out.
  constexpr std::size_t kShare = 8;
  workers.forEach(costs.size(), kShare, [&](std::size_t i, int worker) {
    if (worker == 0) {
      showProgress(static_cast<long long>(i), popSize, generation, generations);
    }
    costs[i] = expressionCost(
        parseTree(population[i]->tree), triples,
        scratch[static_cast<std::size_t>(worker)],
        finiteTriples == nullptr ? nullptr : &(*finiteTriples)[i],
        terms == nullptr ? nullptr : &terms->triples,
        terms == nullptr ? nullptr : terms->terms.data() + i * perIndividual);
  });
  return costs;
}
