#include "fitness.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <system_error>
#include <thread>

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
                int* finiteTerms = nullptr) {
  const float quotient = function(eval, k) / 100.0f;
  if (finiteTerms != nullptr) *finiteTerms += std::isfinite(quotient);
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

float evalIndividual(TIndividual* individual, int index, int* finiteTriples) {
  const std::string expression = parseTree(individual->tree);
  writeLine("Expression: ", index, "\t---\t", expression);
  if (finiteTriples != nullptr) *finiteTriples = 0;
  float cost1 = 0.0f;
  for (std::size_t k = 0; k + 2 < vars.size(); k += 3) {
    takeTriple(k);
    // Each triple starts again from the expression with its letters.
    const float eval = parseString(expression);
    writeLine("Result (floating point): ", eval);
    cost1 = addedCost(cost1, eval, coefficientsOf(a, b, c), finiteTriples);
    writeLine("Cost1: ", cost1);
  }
  writeLine(kSeparator);
  return cost1;
}

void evalPop(TIndividual** population, int popSize) {
  evalPopCosts(population, popSize);
}

std::vector<float> evalPopCosts(TIndividual** population, int popSize,
                                std::vector<int>* finiteTriples) {
  // One individual at a time: its expression lives only while it is
  // evaluated, so the evaluation adds little to what the trees hold.
  std::vector<float> costs(static_cast<std::size_t>(std::max(popSize, 0)));
  if (finiteTriples != nullptr) finiteTriples->resize(costs.size());
  for (int i = 0; i < popSize; ++i) {
    showProgress(i, popSize);
    const auto at = static_cast<std::size_t>(i);
    costs[at] = evalIndividual(
        population[i], i,
        finiteTriples == nullptr ? nullptr : &(*finiteTriples)[at]);
  }
  return costs;
}

CostTriples::CostTriples(const std::vector<std::string>& texts)
    : values(texts) {
  for (std::size_t k = 0; k + 2 < texts.size(); k += 3) {
    coefficients.push_back(
        coefficientsOf(texts[k], texts[k + 1], texts[k + 2]));
  }
}

float expressionCost(std::string_view expression, const CostTriples& triples,
                     evaluation::EvaluationScratch& scratch,
                     int* finiteTriples) {
  evaluation::expressionValues(expression, triples.values, scratch,
                               scratch.results);
  // Summed in file order, whatever order the values were found in.
  float cost1 = 0.0f;
  if (finiteTriples != nullptr) *finiteTriples = 0;
  for (std::size_t t = 0; t < scratch.results.size(); ++t) {
    cost1 = addedCost(cost1, scratch.results[t], triples.coefficients[t],
                      finiteTriples);
  }
  return cost1;
}

std::vector<float> quietCosts(TIndividual** population, int popSize,
                              int threads, int generation, int generations,
                              std::vector<int>* finiteTriples) {
  std::vector<float> costs(static_cast<std::size_t>(std::max(popSize, 0)));
  if (finiteTriples != nullptr) finiteTriples->resize(costs.size());
  const CostTriples triples(vars);
  // Shares small enough to even out, large enough to cost nothing to hand out.
  constexpr std::size_t kShare = 8;
  const std::size_t shares = (costs.size() + kShare - 1) / kShare;
  const std::size_t workers =
      std::clamp<std::size_t>(static_cast<std::size_t>(std::max(threads, 1)), 1,
                              std::max<std::size_t>(shares, 1));
  std::atomic<std::size_t> next{0};
  std::atomic<std::size_t> firstFailure{costs.size()};
  struct Failure {
    std::size_t index = 0;
    std::exception_ptr error;
  };
  std::vector<Failure> failures(workers);
  const auto work = [&](std::size_t worker) {
    evaluation::EvaluationScratch scratch;
    for (;;) {
      const std::size_t start = next.fetch_add(kShare);
      // Shares past a failure are not needed: its error ends the run.
      if (start >= costs.size() || start > firstFailure.load()) return;
      if (worker == 0)
        showProgress(static_cast<long long>(start), popSize, generation,
                     generations);
      const std::size_t end = std::min(costs.size(), start + kShare);
      for (std::size_t i = start; i < end; ++i) {
        try {
          costs[i] = expressionCost(
              parseTree(population[i]->tree), triples, scratch,
              finiteTriples == nullptr ? nullptr : &(*finiteTriples)[i]);
        } catch (...) {
          failures[worker] = {i, std::current_exception()};
          for (std::size_t seen = firstFailure.load();
               i < seen && !firstFailure.compare_exchange_weak(seen, i);) {
          }
          return;
        }
      }
    }
  };
  std::vector<std::thread> helpers;
  for (std::size_t worker = 1; worker < workers; ++worker) {
    try {
      helpers.emplace_back(work, worker);
    } catch (const std::system_error&) {
      break;  // fewer threads give the same costs
    }
  }
  work(0);
  for (std::thread& helper : helpers) helper.join();
  const Failure* first = nullptr;
  for (const Failure& failure : failures) {
    if (failure.error && (first == nullptr || failure.index < first->index)) {
      first = &failure;
    }
  }
  if (first != nullptr) std::rethrow_exception(first->error);
  return costs;
}
