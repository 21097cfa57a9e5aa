// The quiet costs held to the transcript: the prepared form against
// parseString on random expressions and values, the costs of a population
// on any number of threads, and the NaN each step of a cost keeps.
#include "prepared.hpp"

#include <gtest/gtest.h>

#include <random>

#include "evaluator.hpp"
#include "fitness.hpp"
#include "support.hpp"

// Values mostly plain signed decimals, which share shapes, else of any kind
// a test-value file may hold; tree-like expressions, else any text of their
// characters. Each result is parseString's, bit for bit.
TEST(PreparedForm, AgreesBitForBitWithTheTranscriptPath) {
  // clang-format off
  const char* const odd[] = {
      "inf", "-inf", "nan", "-nan", "+4", "0", "-0", "1e3", "-2.5e-3", "1e39",
      "2*3", "-1+4", " 7", "3 ", "", "b", "a1", "c-2", "s9", "--5", "4/", "-",
      "+-", "0x10", "1.5s", "*2", "12345678901234567"};
  // clang-format on
  std::mt19937 rng(20261207);
  evaluation::EvaluationScratch scratch;
  std::vector<float> results;
  for (int round = 0; round < 300; ++round) {
    std::vector<std::string> values(3 * (1 + rng() % 9) + rng() % 3);
    for (std::string& v : values) {
      const auto kind = rng() % 3, sign = rng() % 2, whole = rng() % 100,
                 part = rng() % 1000;  // in turn
      v = kind == 0 ? odd[part % std::size(odd)]
                    : std::string(sign, '-') + std::to_string(whole) + '.' +
                          std::to_string(part);
    }
    const evaluation::PreparedTriples triples(values);
    for (int e = 0; e < 10; ++e) {
      std::string text(1 + 2 * (rng() % 12), ' ');
      for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = rng() % 12 == 0 ? "abc2+-*/s7. "[rng() % 12]
                  : i % 2         ? "+-*/s"[rng() % 5]
                                  : "abc2"[rng() % 4];
      evaluation::expressionValues(text, triples, scratch, results);
      CoutCapture quiet;
      for (std::size_t k = 0; k + 2 < values.size(); k += 3) {
        a = values[k], b = values[k + 1], c = values[k + 2];
        ASSERT_EQ(bitsOf(results[k / 3]), bitsOf(parseString(text)))
            << k << ' ' << text << '|' << a << '|' << b << '|' << c;
      }
      ASSERT_EQ(results.size(), values.size() / 3);
    }
  }
}

// Each cost is the one the individual's block ends with, and a failure is
// thrown as a single thread throws it.
TEST(QuietCosts, SameOnAnyNumberOfThreads) {
  vars = {"-1.5", "2.25", "-3",  "0.5",  "-0.75", "4",
          "nan",  "-2",   "1e3", "-1+2", " 3",    "-4.5"};
  NodePool pool;
  std::vector<TIndividual> records(61);
  std::vector<TIndividual*> population;
  for (TIndividual& record : records) population.push_back(&record);
  const ActivePool active(&pool);
  createPop(population.data(), 61, 4);
  for (const int threads : {1, 2, 3, 64}) {
    Workers workers(threads);
    const std::vector<float> costs = quietCosts(population.data(), 61, workers);
    const CoutCapture quiet;
    for (int i = 0; i < 61; ++i)
      EXPECT_EQ(bitsOf(costs[std::size_t(i)]),
                bitsOf(evalIndividual(population[i], i)))
          << threads << ' ' << i;
  }
  // b's value grows to 2^31 characters once its c's are put in: every
  // expression that holds a b is refused.
  vars = {"1", std::string(1024, 'c'), std::string(1 << 21, '1')};
  for (const int threads : {1, 3}) {
    Workers workers(threads);
    EXPECT_THROW(quietCosts(population.data(), 61, workers), std::length_error);
  }
  vars.clear();
}

// Where both operands of a step are NaN, the NaN kept is the one the
// transcripts have always shown: S's over a's, the sum's over b*val, c's
// over the sum, and the quotient's over the running cost.
TEST(TargetFunction, KeepsTheTranscriptsNaNs) {
  const double nan = NAN, minusNan = -NAN;
  EXPECT_EQ(bitsOf(function(2, {2, 3, 4})), bitsOf(18.0f));
  EXPECT_EQ(bitsOf(function(-NAN, {nan, 0, 0})), bitsOf(-NAN));
  EXPECT_EQ(bitsOf(function(1, {nan, minusNan, 0})), bitsOf(NAN));
  EXPECT_EQ(bitsOf(function(1, {nan, 0, minusNan})), bitsOf(-NAN));
  vars = {"nan", "0", "-nan", "nan", "0", "0"};  // costs -nan, then nan
  Ttree leaf{'a', nullptr, nullptr, nullptr, 0, 0, true, true};
  TIndividual only{&leaf, 0, 0, 0, false};
  CoutCapture out;
  evalIndividual(&only, 0);
  vars.clear();
  EXPECT_NE(out.text().find("Cost1: -nan\nParsed: nan\nResult (floating "
                            "point): nan\nCost1: nan\n"),
            std::string::npos);
}
