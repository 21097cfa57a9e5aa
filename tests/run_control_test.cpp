// The stopping rules' bookkeeping.
#include "run_control.hpp"

#include <gtest/gtest.h>

#include <limits>

namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

}  // namespace

// Lower goes by the ranking: any finite cost is lower than a non-finite
// one, so a finite best after a NaN one is progress, and -inf is none. The
// target wants a finite cost.
TEST(StopRules, BestCostsTakenOneGenerationAtATime) {
  const StopRules rules{.targetCost = 0.5f, .stall = 2, .timeLimit = 10.0};
  StopState state{.bestCost = kNaN};
  const struct {
    float best;
    double elapsed;
    StopReason expected;
  } steps[] = {{kNaN, 0, StopReason::kNone},
               {3.0f, 0, StopReason::kNone},
               {-kInf, 0, StopReason::kNone},
               {3.0f, 0, StopReason::kStall},
               {2.0f, 10.0, StopReason::kTimeLimit},
               {0.5f, 99.0, StopReason::kTargetCost}};
  for (const auto& step : steps)
    EXPECT_EQ(applyRules(rules, state, step.best, step.elapsed), step.expected)
        << step.best;
}
