// The quiet evaluation held to the transcript's: the prepared form against
// parseString on random expressions and values, and the costs of a
// population the same on any number of threads.
#include "prepared.hpp"

#include <gtest/gtest.h>

#include <random>

#include "evaluator.hpp"
#include "fitness.hpp"
#include "support.hpp"
#include "transcript.hpp"

namespace {

// Values of every kind a test-value file may hold; most are plain signed
// decimals, which share shapes.
std::string randomValue(std::mt19937& rng) {
  // clang-format off
  static const char* const kOdd[] = {
      "inf", "-inf", "nan", "-nan", "+4", "0", "-0", "1e3", "-2.5e-3", "1e39",
      "2*3", "-1+4", " 7", "3 ", "", "b", "a1", "c-2", "s9", "--5", "4/", "-",
      "+-", "0x10", "1.5s", "*2", "12345678901234567"};
  // clang-format on
  if (rng() % 3 == 0) return kOdd[rng() % std::size(kOdd)];
  std::string number = rng() % 2 ? "-" : "";
  number += std::to_string(rng() % 100);
  if (rng() % 2) number += '.' + std::to_string(rng() % 1000);
  return number;
}

// A tree's expression (terminals and operators alternating) or, now and
// then, any text of their characters.
std::string randomExpression(std::mt19937& rng) {
  std::string text(1 + 2 * (rng() % 12), ' ');
  for (std::size_t i = 0; i < text.size(); ++i)
    text[i] = i % 2 ? "+-*/s"[rng() % 5] : "abc2"[rng() % 4];
  if (rng() % 6 == 0)
    for (char& ch : text) ch = "abc2+-*/s7. "[rng() % 12];
  return text;
}

// parseString's result for each triple, through the current values.
std::vector<float> transcriptResults(const std::string& expression,
                                     const std::vector<std::string>& values) {
  CoutCapture quiet;
  std::vector<float> results;
  for (std::size_t k = 0; k + 2 < values.size(); k += 3) {
    a = values[k], b = values[k + 1], c = values[k + 2];
    results.push_back(parseString(expression));
  }
  return results;
}

}  // namespace

TEST(PreparedForm, AgreesBitForBitWithTheTranscriptPath) {
  std::mt19937 rng(20261207);
  evaluation::EvaluationScratch scratch;
  std::vector<float> results;
  for (int round = 0; round < 300; ++round) {
    std::vector<std::string> values(3 * (1 + rng() % 9) + rng() % 3);
    for (std::string& value : values) value = randomValue(rng);
    const evaluation::PreparedTriples triples(values);
    for (int e = 0; e < 10; ++e) {
      const std::string expression = randomExpression(rng);
      const std::vector<float> expected = transcriptResults(expression, values);
      evaluation::expressionValues(expression, triples, scratch, results);
      std::string trace = expression;
      for (const std::string& value : values) trace += '|' + value;
      ASSERT_EQ(results.size(), expected.size()) << trace;
      for (std::size_t t = 0; t < expected.size(); ++t)
        ASSERT_EQ(bitsOf(results[t]), bitsOf(expected[t])) << t << trace;
    }
  }
}

// A text that would outgrow 32-bit positions is refused as parseString
// refuses it; one a little shorter is evaluated.
TEST(PreparedForm, RefusesWhatTheTranscriptPathRefuses) {
  const std::vector<std::string> values = {"1", "-2", std::string(4096, '1')};
  const evaluation::PreparedTriples triples(values);
  evaluation::EvaluationScratch scratch;
  std::vector<float> results;
  // n c's and n - 1 stars take 4097 n - 1 characters: 2^31 - 129 for
  // n = 524160, 2^31 + 3968 for one more.
  std::string expression = "c";
  for (int n = 1; n < 524160; ++n) expression += "*c";
  evaluation::expressionValues(expression, triples, scratch, results);
  EXPECT_EQ(results, std::vector<float>{INFINITY});
  EXPECT_THROW(evaluation::expressionValues(expression + "*c", triples, scratch,
                                            results),
               std::length_error);
}

// The threads take shares of the population; each cost is the last
// "Cost1: " line of the individual's block, and a failure is thrown as a
// single thread throws it.
TEST(QuietCosts, SameOnAnyNumberOfThreads) {
  vars = {"-1.5", "2.25", "-3",  "0.5",  "-0.75", "4",
          "nan",  "-2",   "1e3", "-1+2", " 3",    "-4.5"};
  NodePool pool;
  std::vector<TIndividual> records(61);
  std::vector<TIndividual*> population;
  for (TIndividual& record : records) population.push_back(&record);
  {
    const ActivePool active(&pool);
    createPop(population.data(), 61, 4);
  }
  std::vector<std::string> expected;  // each block's last cost, as written
  for (int i = 0; i < 61; ++i) {
    CoutCapture out;
    evalIndividual(population[i], i);
    const std::string block = out.text();
    const std::size_t at = block.rfind("Cost1: ") + 7;
    expected.push_back(block.substr(at, block.find('\n', at) - at));
  }
  for (const int threads : {1, 2, 3, 64}) {
    const std::vector<float> costs = quietCosts(population.data(), 61, threads);
    ASSERT_EQ(costs.size(), expected.size());
    for (std::size_t i = 0; i < costs.size(); ++i) {
      char text[32];
      EXPECT_EQ(formatFloat(costs[i], text), expected[i])
          << threads << ' ' << i;
    }
  }
  // b's value grows to 2^31 characters once its c's are put in: every
  // expression that holds a b is refused.
  vars = {"1", std::string(1024, 'c'), std::string(1 << 21, '1')};
  for (const int threads : {1, 3})
    EXPECT_THROW(quietCosts(population.data(), 61, threads), std::length_error);
  vars.clear();
}
