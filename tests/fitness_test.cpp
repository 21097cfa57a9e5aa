#include "fitness.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "evaluator.hpp"
#include "support.hpp"

// The quadratic a r^2 + b r + c, with every value read from text at run time
// so that no operation can be folded: where two NaNs meet, in a product or a
// sum, the one written first gives the sign.
TEST(TargetFunction, QuadraticWithTheFirstWrittenNaN) {
  // clang-format off
  struct Case { std::string a, b, c, r; float value; };
  const Case cases[] = {{"2", "3", "4", "0.5", 6}, {"nan", "-nan", "1", "1", NAN},
      {"0", "-nan", "nan", "1", -NAN}, {"nan", "0", "0", "-nan", NAN}};
  // clang-format on
  for (const Case& t : cases) {
    a = t.a, b = t.b, c = t.c;
    EXPECT_EQ(bitsOf(function(number(t.r))), bitsOf(t.value)) << a + b + c;
  }
  // The running cost: each triple's quotient first, then the sum so far.
  vars = {"nan", "0", "0", "-nan", "0", "0", "1", "0", "0"};
  EXPECT_EQ(bitsOf(expressionCost("c")), bitsOf(-NAN));
}
