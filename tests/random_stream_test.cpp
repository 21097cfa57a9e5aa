#include "random_stream.hpp"

#include <Random123/philox.h>
#include <gtest/gtest.h>

#include <cstdlib>

// Random123's published known-answer vectors for Philox4x32-10 (the library
// itself), the first of which starts the stream of seed 0, generation 0, pair
// 0; a later block of another stream sits at its counter {pair, n / 4, 0, 0}
// under the key {seed, generation}.
TEST(RandomStream, WordsAreThoseOfPhiloxAtThePairsCounters) {
  const philox4x32_ctr_t digits = {
      {0x243f6a88, 0x85a308d3, 0x13198a2e, 0x03707344}};
  const philox4x32_key_t key = {{0xa4093822, 0x299f31d0}};
  EXPECT_EQ(
      philox4x32(digits, key),
      (philox4x32_ctr_t{{0xd16cfe09, 0x94fdcceb, 0x5001e420, 0x24126ea1}}));
  RandomStream zero(0, 0, 0);
  for (const std::uint32_t word :
       {0x6627e8d5u, 0xe169c58du, 0xbc57ac4cu, 0x9b00dbd8u})
    EXPECT_EQ(zero.next(), word);
  const philox4x32_ctr_t counter = {{7, 2, 0, 0}};
  const philox4x32_ctr_t third =
      philox4x32(counter, (philox4x32_key_t{{5, 9}}));
  RandomStream stream(5, 9, 7);
  for (int k = 0; k < 8; ++k) stream.next();
  for (const std::uint32_t word : third.v) EXPECT_EQ(stream.next(), word);
}

// A word w is w / 2^32 as a uniform value and w % n as a choice; with no
// stream active the draws are rand()'s again.
TEST(RandomStream, DrawsReadTheActiveStream) {
  RandomStream zero(0, 0, 0);
  {
    const ActiveStream active(&zero);
    EXPECT_EQ(drawUniform(), 0x6627e8d5p-32);  // 0.399...
    EXPECT_EQ(draw() % 5, 3u);                 // 0xe169c58d: / of +-*/s
    EXPECT_EQ(draw() % 4, 0u);                 // 0xbc57ac4c: a of abc2
  }
  std::srand(1);
  EXPECT_EQ(draw(), 1804289383u);  // glibc's first value for seed 1
  EXPECT_EQ(zero.next(), 0x9b00dbd8u);
}
