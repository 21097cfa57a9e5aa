#include "transcript.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <sstream>

namespace {

std::string streamed(float value) {
  std::ostringstream out;
  out << value;
  return out.str();
}

float fromBits(std::uint32_t bits) {
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

}  // namespace

TEST(FloatText, MatchesTheStreamsDefaultNotation) {
  const float special[] = {0.0f,
                           -0.0f,
                           0.1f,
                           0.25f,
                           1e6f,
                           1000001.0f,
                           1e-5f,
                           1e-7f,
                           123456.5f,
                           999999.5f,
                           0.0001f,
                           0.00001f,
                           std::numeric_limits<float>::infinity(),
                           -std::numeric_limits<float>::infinity(),
                           std::numeric_limits<float>::quiet_NaN(),
                           -std::numeric_limits<float>::quiet_NaN(),
                           std::numeric_limits<float>::denorm_min(),
                           std::numeric_limits<float>::max()};
  char buffer[32];
  for (const float value : special) {
    EXPECT_EQ(formatFloat(value, buffer), streamed(value));
  }
  // Every exponent and sign, with random mantissas.
  std::mt19937 rng(3);
  for (int i = 0; i < 200000; ++i) {
    const float value = fromBits(static_cast<std::uint32_t>(rng()));
    ASSERT_EQ(formatFloat(value, buffer), streamed(value)) << value;
  }
}
