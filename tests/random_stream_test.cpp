#include "random_stream.hpp"

#include <Random123/philox.h>
#include <gtest/gtest.h>

#include <cstdlib>

// Random123's published known-answer vector for Philox4x32-10 at counter and
// key 0 starts the stream of seed 0, generation 0, pair 0; a later block of
// another stream sits at its counter {pair, n / 4, 0, 0} under the key
// {seed, generation}. A word w is w / 2^32 as a uniform value; with no
// stream active the draws are rand()'s again.
TEST(RandomStream, WordsOfPhiloxAtThePairsCountersMadeIntoDraws) {
  RandomStream zero(0, 0, 0);
  {
    const ActiveStream active(&zero);
    EXPECT_EQ(drawUniform(), 0x6627e8d5p-32);  // 0.399...
    EXPECT_EQ(draw(), 0xe169c58du);
    EXPECT_EQ(draw(), 0xbc57ac4cu);
  }
  std::srand(1);
  EXPECT_EQ(draw(), 1804289383u);  // glibc's first value for seed 1
  EXPECT_EQ(zero.next(), 0x9b00dbd8u);
  const philox4x32_ctr_t counter = {{7, 2, 0, 0}};
  const philox4x32_ctr_t third =
      philox4x32(counter, (philox4x32_key_t{{5, 9}}));
  RandomStream stream(5, 9, 7);
  for (int k = 0; k < 8; ++k) stream.next();
  for (const std::uint32_t word : third.v) EXPECT_EQ(stream.next(), word);
}
