// The memory budget: what a run will map beside what the process holds,
// what the process may still have, and the refusals when a run does not fit.
#pragma once

#include <cstdint>
#include <string>

// What the memory check knows of a run.
struct RunShape {
  int popSize = 0;
  int treeDepth = 0;
  // 2 while generations run: the next population is bred beside the
  // current one, on the threads.
  int populations = 1;
  int threads = 1;
  std::uint64_t triples = 0;  // test triples, once they are read
  bool written = false;       // the evaluation is written on the threads
};

// Bytes the run maps beyond what the process holds before it builds its
// first population, the test values' own text aside: the pools' 2 MiB
// blocks (each population's last block partly used on every thread that
// breeds it, and a second block mapped for a moment while one is aligned),
// the records and the run's lists of them, the helpers' stacks, each
// thread's scratch, the lines waiting to be written, and 1 MiB to spare.
double runBytes(const RunShape& run);

// The address space this process may still map within its limits
// (RLIMIT_AS over every mapping, RLIMIT_DATA over its data); infinity
// without limits. Allocates nothing, so it can be asked when little is left.
double addressSpaceLeft();

// Memory this process can still have: the smaller of the memory the system
// has available and what the process's limits leave beside what it has
// mapped already (the program itself, its libraries and its heap).
std::uint64_t availableMemoryBytes();

// Whether the limits leave the program room to ask its questions and say
// why a run does not fit (about 6 MB of address space are the program's).
bool roomToRun();

// The deepest tree whose node count and expression length fit 32-bit
// positions (2^(d+1) - 1 <= INT_MAX).
inline constexpr int kMaxTreeDepth = 30;

// The message for `populations` populations that do not fit in memory at
// once.
std::string memoryRefusal(int popSize, int treeDepth,
                          std::uint64_t availableBytes, int populations = 1);

// Why `populations` populations of that size and depth cannot be held at
// once (an evolving run keeps two), on one thread, or an empty text when
// they can.
std::string populationRefusal(int popSize, int treeDepth,
                              std::uint64_t availableBytes,
                              int populations = 1);

// What the test values may take of the memory the run leaves on one
// thread: a third, so that their evaluation fits beside them.
std::uint64_t testValueBytes(int popSize, int treeDepth,
                             std::uint64_t availableBytes, int populations = 1);

// The most threads, from 1 to run.threads, whose run (runBytes) fits in
// `spareBytes`, counted before the first population was built.
int threadsWithin(RunShape run, double spareBytes);

// What the first population took when it was built, or read from a
// checkpoint, in one pool: its blocks and its records.
double builtPopulationBytes(int popSize, int treeDepth);
