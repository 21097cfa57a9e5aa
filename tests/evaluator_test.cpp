#include "evaluator.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>

#include "reference.hpp"
#include "support.hpp"

namespace {

namespace ref = reference;
constexpr float kInf = INFINITY, kNaN = NAN, kMinusNaN = -NAN;  // 0/0 on x86

std::string randomText(std::mt19937& rng, const std::string& set, unsigned n) {
  std::string text(rng() % (n + 1), ' ');
  for (char& ch : text) ch = set[rng() % set.size()];
  return text;
}

}  // namespace

// Runs of signs fold to one sign (the text itself when no fold is given), then
// the terms sum left to right; within a term s, * and / go strictly left to
// right, and an operand is atof narrowed to float. Between two NaNs the one
// written first wins.
TEST(Evaluation, NumbersTermsSignsAndSums) {
  // clang-format off
  struct Case { std::string text; float value; std::string fold = {}; };
  const Case cases[] = {
      {"", 0}, {"4", 4}, {"2.5", 2.5f}, {"0.1", 0.1f}, {"12abc", 12},
      {"abc", 0}, {"  7", 7}, {"-3", -3}, {"1e3", 1000}, {"1e39", kInf},
      {"-1e39", -kInf}, {"1e", 1}, {"inf", kInf}, {"0x10", 16}, {"6*2/4", 3},
      {"6/4*2", 3}, {"2.5*2", 5}, {"2s9", 5}, {"s16", 4}, {"2s9*2", 10},
      {"5*", 0}, {"/2", 0}, {"2*3s16", 10}, {"8/0", kInf}, {"2*/3", 0},
      {"0/0", kMinusNaN}, {"1/3*3", 1}, {"0/0snan", kMinusNaN},
      {"0/0*nan", kNaN}, {"4*7", 28}, {"-3+4", 1}, {"4+", 4}, {"4*-3", -3},
      {"1e-05+2", -2}, {"6*2/4+1", 4}, {"1+2+3", 6}, {"10-4-3", 3},
      {"2-3*4", -10}, {"-4*2", -8}, {"-2s9", -5}, {"4/-2", kInf}, {"2s9-1", 4},
      {"5-", 5}, {"1e-5", -4}, {"1/0-1/0", kMinusNaN}, {"0-4s0-9", -13},
      {"nan+0/0", kMinusNaN}, {"nan-0/0", kNaN}, {"4++3", 7, "4+3"},
      {"4+-3", 1, "4-3"}, {"4-+3", 1, "4-3"}, {"4--3", 7, "4+3"},
      {"+-3", -3, "-3"}, {"4---3", 1, "4-3"}, {"4+--3", 7, "4+3"},
      {"4-+-3", 7, "4+3"}, {"+-+-", 0, "+"}, {"4--3--3--3", 13, "4+3+3+3"},
      {"--3+4", 7, "+3+4"}, {"-3--2", -1, "-3+2"},
      {"-12+-3--12+-3", -6, "-12-3+12-3"}, {"4--3*2+-1", 9, "4+3*2-1"},
      {"4+-", 4, "4-"}};
  // clang-format on
  for (const Case& t : cases) {
    CoutCapture out;
    EXPECT_EQ(bitsOf(sumres(t.text)), bitsOf(t.value)) << t.text;
    EXPECT_EQ(out.text(),
              "Parsed: " + (t.fold.empty() ? t.text : t.fold) + '\n');
  }
}

// Letters take their values pass by pass (a, then b, then c), and the text
// is folded and evaluated, as the plain procedures do: first for the cases
// below, then for random texts. Expressions alternate letters or 2 with
// operators, as trees' do, or are any text (d and runs of letters too);
// values are mostly signed decimals, some with exponents, operators, blanks,
// letters or nothing. Triples recur, as for every individual of a run.
TEST(Pipeline, FastProceduresAgreeWithThePlainOnes) {
  // clang-format off
  struct Case { std::string expression, va, vb, vc, replaced; };
  const Case cases[] = {
      {"a+b*c", "4", "4", "7", "4+4*7"}, {"a+b", "12", "2.5", "", "12+2.5"},
      {"a*a", "1.5", "", "", "1.5*1.5"}, {"b+a", "12", "4", "", "4+12"},
      {"c-a", "-1e-05", "", "-2", "-2--1e-05"}, {"a+b", "", "4", "", "+4"},
      {"a-b", "12", "-3", "", "12--3"}, {"asb", "4", "7", "", "4s7"},
      {"a+c", "b", "5", "1", "5+1"}, {"a+a", "a1", "", "", "a1+a1"},
      {"2*2", "9", "9", "9", "2*2"}, {"a", "bc", "cc", "x", "xxx"},
      {"a", "cb", "1", "b", "b1"},  // the c that a brings, not c's own
      {"a+b", "nan", "0/0", "", "nan+0/0"}};
  // clang-format on
  std::mt19937 rng(20261206);
  std::string pool[6];
  for (std::size_t i = 0; i < 4000; ++i) {
    const std::string text = randomText(rng, "0123456789.e+-*/s x", 40);
    ASSERT_EQ(operatorPositions(text, "s*/"), ref::operatorList(text, "s*/"));
    std::vector<int> both = findChar(text, '*'), roots = findChar(text, 's');
    both.insert(both.end(), roots.begin(), roots.end());
    ASSERT_EQ(sortAsc(both), ref::operatorList(text, "*s")) << text;
    ASSERT_EQ(parseSigns(text), ref::parseSigns(text)) << text;
    ASSERT_EQ(bitsOf(muldiv(text)), bitsOf(ref::muldiv(text))) << text;
    ASSERT_EQ(decimalValue(text), std::atof(text.c_str())) << text;

    pool[rng() % 6] = rng() % 3 == 0
                          ? randomText(rng, "abcd0123456789.e+-*/s ", 6)
                          : std::to_string(-int(rng() % 100)) + ".375";
    a = pool[rng() % 6], b = pool[rng() % 6], c = pool[rng() % 6];
    std::string exp = randomText(rng, "abc2", 25);
    for (auto k = 1u; k < exp.size(); k += 2) exp[k] = "+-*/s"[rng() % 5];
    if (i % 3 == 0) exp = randomText(rng, "abcd2+-*/s .", 24);
    if (i < std::size(cases)) {
      const Case& t = cases[i];
      a = t.va, b = t.vb, c = t.vc, exp = t.expression;
      EXPECT_EQ(replaceVar(exp), t.replaced) << exp;
    }
    ASSERT_EQ(ref::pipelineFault(exp), "") << exp + '|' + a + '|' + b + '|' + c;
  }
}

// The guard works from counts: none of these texts is built.
TEST(Substitution, RefusesResultsBeyondThirtyTwoBitPositions) {
  a = "b*c", b = "c", c = std::string(32767, '1');  // a: 2^16 - 1 characters
  std::string expression = "a";
  for (int i = 1; i < (1 << 15); ++i) expression += "*a";
  EXPECT_EQ(expressionValue(expression), kInf);  // 2^31 - 1 characters
  for (const std::string& longer : {expression + "*", "2" + expression,
                                    expression + "*b", expression + "*c"}) {
    EXPECT_THROW(expressionValue(longer), std::length_error);
    EXPECT_THROW(replaceVar(longer), std::length_error);
    EXPECT_THROW(parseString(longer), std::length_error);
  }
  a = std::string(1000000, 'c'), b = "1", c = std::string(1000000, 'x');
  EXPECT_EQ(expressionValue("b+2"), 3.0f);  // a's value is never built
  EXPECT_THROW(expressionValue("2+a"), std::length_error);
}
