// The target function and the running cost: where both operands of a step
// are NaN, the sign the transcript shows comes from the operand the program
// has always kept.
#include "fitness.hpp"

#include <gtest/gtest.h>

#include "support.hpp"

TEST(TargetFunction, NaNSignsFollowTheTranscriptsChoices) {
  const float nan = NAN, minusNan = -NAN;
  const double dnan = NAN, dminusNan = -NAN;
  struct Case {
    float val;
    Coefficients k;
    float value;
  };
  const Case cases[] = {
      {2, {2, 3, 4}, 18},                  // 2*4 + 3*2 + 4
      {minusNan, {dnan, 0, 0}, minusNan},  // a*S keeps S's NaN
      {1, {dnan, dminusNan, 0}, nan},      // a*S + b*val keeps the first
      {1, {dnan, 0, dminusNan}, minusNan}  // ... + c keeps c's
  };
  for (const Case& t : cases)
    EXPECT_EQ(bitsOf(function(t.val, t.k)), bitsOf(t.value))
        << t.val << ' ' << t.k.a << ' ' << t.k.b << ' ' << t.k.c;
}

// The first triple's cost is c's NaN, -nan; the second's quotient is nan,
// and the quotient's NaN is the one the running cost keeps.
TEST(RunningCost, KeepsTheQuotientsNaN) {
  vars = {"nan", "0", "-nan", "nan", "0", "0"};
  TIndividual only{};
  Ttree leaf{'a', nullptr, nullptr, nullptr, 0, 0, true, true};
  only.tree = &leaf;
  CoutCapture out;
  evalIndividual(&only, 0);
  vars.clear();
  EXPECT_EQ(out.text(),
            "Expression: 0\t---\ta\nParsed: nan\nResult (floating point): "
            "nan\nCost1: -nan\nParsed: nan\nResult (floating point): nan\n"
            "Cost1: nan\n" +
                std::string(48, '*') + "\n");
}
