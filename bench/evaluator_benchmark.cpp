// Throughput of the evaluator on flattened random trees, in characters of
// expression per second: with its Parsed line for positive and for negative
// test values, without it (expressionValue), and on the general path, which
// reads the whole folded text: there every 2 is written 12, so that two
// pieces meet in one operand. The quiet evaluation of a set of negative
// triples, in symbol evaluations per second: one triple at a time, and in
// the prepared form, all of one shape together.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <iostream>
#include <streambuf>
#include <string>
#include <vector>

#include "evaluator.hpp"
#include "prepared.hpp"
#include "trees.hpp"

namespace {

// Swallows the "Parsed: " lines.
class NullBuffer : public std::streambuf {
 protected:
  int overflow(int ch) override { return ch; }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

struct Triple {
  const char* a;
  const char* b;
  const char* c;
};

const std::vector<Triple> kPositive = {
    {"4", "4", "7"},       {"1.5", "2.25", "3"}, {"0.1", "10", "100"},
    {"12", "2.5", "0.75"}, {"3", "9", "27"},     {"1e-3", "2e2", "5"},
    {"7.125", "8", "0.5"}, {"2", "3", "4"},      {"6", "0.2", "1.75"},
    {"100", "0.01", "42"}};

const std::vector<Triple> kNegative = {
    {"-4.5", "-4.25", "-7.75"},   {"-1.5", "-2.25", "-3.5"},
    {"-0.1", "-10.5", "-100.25"}, {"-12.5", "-2.5", "-0.75"},
    {"-3.5", "-9.5", "-27.5"},    {"-1.001", "-2.2", "-5.5"},
    {"-7.125", "-8.5", "-0.5"},   {"-2.5", "-3.5", "-4.5"},
    {"-6.5", "-0.2", "-1.75"},    {"-100.5", "-0.01", "-42.5"}};

enum class Path { kParsed, kValueOnly, kGeneral };

void evaluateTrees(benchmark::State& state, const std::vector<Triple>& triples,
                   Path path) {
  const int depth = static_cast<int>(state.range(0));
  std::srand(1);
  std::string expression = parseTree(createTree(0, depth, nullptr));
  if (path == Path::kGeneral) {
    std::string joined;
    for (const char ch : expression)
      joined += ch == '2' ? "12" : std::string(1, ch);
    expression = joined;
  }
  NullBuffer sink;
  std::streambuf* const saved = std::cout.rdbuf(&sink);
  std::size_t index = 0;
  for (auto _ : state) {
    const Triple& t = triples[index++ % triples.size()];
    a = t.a;
    b = t.b;
    c = t.c;
    benchmark::DoNotOptimize(path == Path::kValueOnly
                                 ? expressionValue(expression)
                                 : parseString(expression));
  }
  std::cout.rdbuf(saved);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(expression.size()));
  state.counters["chars"] = static_cast<double>(expression.size());
}

void positiveValues(benchmark::State& state) {
  evaluateTrees(state, kPositive, Path::kParsed);
}
void negativeValues(benchmark::State& state) {
  evaluateTrees(state, kNegative, Path::kParsed);
}
void negativeValuesWithoutParsedLine(benchmark::State& state) {
  evaluateTrees(state, kNegative, Path::kValueOnly);
}
void generalPath(benchmark::State& state) {
  evaluateTrees(state, kNegative, Path::kGeneral);
}

// The expression on every triple of the set, as a generation's quiet costs
// take it; `prepared` runs the prepared form, else one triple at a time.
void quietTriples(benchmark::State& state, bool prepared) {
  std::srand(1);
  const std::string expression =
      parseTree(createTree(0, static_cast<int>(state.range(0)), nullptr));
  std::vector<std::string> values;
  for (const Triple& t : kNegative)
    values.insert(values.end(), {t.a, t.b, t.c});
  for (const Triple& t : kNegative)
    values.insert(values.end(), {t.c, t.a, t.b});
  const evaluation::PreparedTriples triples(values);
  evaluation::EvaluationScratch scratch;
  std::vector<float> results(triples.size());
  for (auto _ : state) {
    if (prepared) {
      evaluation::expressionValues(expression, triples, scratch, results);
    } else {
      for (std::size_t k = 0; k < values.size(); k += 3) {
        a = values[k];
        b = values[k + 1];
        c = values[k + 2];
        results[k / 3] = expressionValue(expression);
      }
    }
    benchmark::DoNotOptimize(results.data());
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(triples.size()) *
                          static_cast<std::int64_t>(expression.size()));
}

void quietOneTripleAtATime(benchmark::State& state) {
  quietTriples(state, false);
}
void quietPreparedForm(benchmark::State& state) { quietTriples(state, true); }

BENCHMARK(quietOneTripleAtATime)->Arg(6)->Arg(8)->Arg(12);
BENCHMARK(quietPreparedForm)->Arg(6)->Arg(8)->Arg(12);

BENCHMARK(positiveValues)->Arg(4)->Arg(8)->Arg(12)->Arg(16);
BENCHMARK(negativeValues)->Arg(4)->Arg(8)->Arg(12)->Arg(16);
BENCHMARK(negativeValuesWithoutParsedLine)->Arg(4)->Arg(8)->Arg(12)->Arg(16);
BENCHMARK(generalPath)->Arg(4)->Arg(8)->Arg(12)->Arg(16);

}  // namespace

BENCHMARK_MAIN();
