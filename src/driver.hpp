// The console driver: the dialogue, the population, the test values, the
// evaluation and the end of the run.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// What the command line asks of a run. A run with the defaults is the plain
// run: one evaluation of the first population.
struct RunOptions {
  bool evolve = false;        // run the generations after the first evaluation
  int threads = 1;            // that the run's evaluations share
  bool threadsAsked = false;  // threads given on the command line
  // srand's argument before the first tree is grown; none: rand() stays
  // unseeded, which glibc makes the same sequence as a seed of 1.
  std::optional<std::uint32_t> seed;
};

// The whole run, reading the answers from standard input and writing the
// transcript to standard output. Returns the exit status; throws
// OutputError when standard output fails.
int runApproximator(const RunOptions& options = {});

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
