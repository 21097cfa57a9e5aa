// The memory budget: what the populations and the test values take, what
// the process may still have, and the refusals when they do not fit.
#pragma once

#include <cstdint>
#include <string>

// Bytes the population's records and trees take on the heap: each record is
// an allocation of its own, each node 48 bytes of a pool's block. Saturates
// instead of overflowing.
double populationBytes(int popSize, int treeDepth);

// Memory this process can still have: the smaller of the memory the system
// has available and the process's address-space and data limits.
std::uint64_t availableMemoryBytes();

// The deepest tree whose node count and expression length fit 32-bit
// positions (2^(d+1) - 1 <= INT_MAX).
inline constexpr int kMaxTreeDepth = 30;

// The message for `populations` populations that do not fit in memory at
// once.
std::string memoryRefusal(int popSize, int treeDepth,
                          std::uint64_t availableBytes, int populations = 1);

// Why `populations` populations of that size and depth cannot be held at
// once (an evolving run keeps two), or an empty text when they can.
std::string populationRefusal(int popSize, int treeDepth,
                              std::uint64_t availableBytes,
                              int populations = 1);

// What the test values may take beside the populations: nine tenths of the
// memory available, less what the populations take.
std::uint64_t testValueBytes(int popSize, int treeDepth,
                             std::uint64_t availableBytes, int populations = 1);
