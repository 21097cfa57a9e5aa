#include "random_stream.hpp"

#include <Random123/philox.h>

#include <cstdlib>

namespace {

thread_local RandomStream* activeStream = nullptr;

}  // namespace

void RandomStream::nextBlock() {
  const philox4x32_ctr_t counter = {{pair_, static_cast<std::uint32_t>(blocks_),
                                     static_cast<std::uint32_t>(blocks_ >> 32),
                                     lane_}};
  const philox4x32_key_t key = {{key_[0], key_[1]}};
  const philox4x32_ctr_t words = philox4x32(counter, key);
  for (std::size_t k = 0; k < block_.size(); ++k) block_[k] = words.v[k];
  ++blocks_;
  used_ = 0;
}

RandomStream* activateStream(RandomStream* stream) {
  RandomStream* const outer = activeStream;
  activeStream = stream;
  return outer;
}

std::uint32_t draw() {
  if (activeStream != nullptr) return activeStream->next();
  return static_cast<std::uint32_t>(std::rand());
}

double drawUniform() {
  if (activeStream != nullptr) return activeStream->next() * 0x1p-32;
  return std::rand() / (static_cast<double>(RAND_MAX) + 1.0);
}
