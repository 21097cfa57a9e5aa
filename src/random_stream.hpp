// The program's random draws: glibc's rand() grows the first population, and
// every later draw comes from the stream of the pair of slots being bred.
#pragma once

#include <array>
#include <cstdint>

// One pair's draws in a generation: Random123's Philox4x32-10 under the key
// {seed, generation}. Word n of the stream (n = 0, 1, 2, ...) is word n % 4
// of the block at the counter {pair, low and high 32 bits of n / 4, lane},
// so that any pair's draws can be made on any thread, in any order. The
// pairs' lane is 0; the generation's own draws (kGenerationLane, pair 0)
// can meet none of them.
inline constexpr std::uint32_t kGenerationLane = 1;
class RandomStream {
 public:
  RandomStream(std::uint32_t seed, std::uint32_t generation, std::uint32_t pair,
               std::uint32_t lane = 0)
      : key_{seed, generation}, pair_(pair), lane_(lane) {}

  // The stream's next word.
  std::uint32_t next() {
    if (used_ == block_.size()) nextBlock();
    return block_[used_++];
  }

 private:
  // Out of line, so that a word already made costs a few instructions.
  [[gnu::noinline]] void nextBlock();

  std::array<std::uint32_t, 2> key_;
  std::uint32_t pair_;
  std::uint32_t lane_;
  std::uint64_t blocks_ = 0;  // made so far
  std::array<std::uint32_t, 4> block_{};
  std::size_t used_ = block_.size();
};

// Makes `stream` the one draw() reads on this thread (null: rand()) and
// returns the one that was active before.
RandomStream* activateStream(RandomStream* stream);

// Makes draw() read one stream on this thread for the scope's lifetime.
class ActiveStream {
 public:
  explicit ActiveStream(RandomStream* stream)
      : outer_(activateStream(stream)) {}
  ~ActiveStream() { activateStream(outer_); }
  ActiveStream(const ActiveStream&) = delete;
  ActiveStream& operator=(const ActiveStream&) = delete;

 private:
  RandomStream* outer_;
};

// The one random source, a draw r: the active stream's next word, or, with
// no stream active, rand() (never seeded but by --seed, so a run depends on
// nothing but its answers). A choice among n things is r % n.
std::uint32_t draw();

// A draw as a value in [0, 1): a stream's word w is w / 2^32, exactly; a
// rand() value r is r / (RAND_MAX + 1).
double drawUniform();
