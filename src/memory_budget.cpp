// The memory budget: estimates, the memory available, refusals.
#include "memory_budget.hpp"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <limits>
#include <utility>

#include "evolution.hpp"
#include "ordered_writer.hpp"
#include "trees.hpp"
#include "workers.hpp"

namespace {

// A record on the heap: its 24 bytes with malloc's 8-byte header, rounded
// up to 16.
constexpr double kRecordBytes = (sizeof(TIndividual) + 8 + 15) / 16 * 16;
// Beside each record: its slot, and the run's lists of costs, ranks,
// running weights and the next generation's trees.
constexpr double kListBytes = 64.0;
// Under --evolve, each individual's part of lexicase's lists: three of
// floats or indexes per triple looked at, and their bookkeeping.
constexpr double kLexicaseBytes = 12.0 * kLexicaseTriples + 56.0;
// A thread's scratch: its value cache and working arrays; per node of a
// tree its expression, its steps and "Parsed: " text, and the lists of
// nodes a crossover draws from; per triple its results and working values.
constexpr double kScratchBytes = 256 << 10;
constexpr double kScratchNodeBytes = 96.0;
constexpr double kScratchTripleBytes = 32.0;
// Each evaluation's triples, converted and prepared, while they grow.
constexpr double kTripleBytes = 96.0;
// The heap's free top, buffers, what the libraries map as they go.
constexpr double kSpareBytes = 1 << 20;

double nodesPerTree(int treeDepth) {
  return treeDepth < 0 ? 1.0 : std::exp2(std::min(treeDepth, 1000) + 1.0) - 1.0;
}

// The blocks of one pool that holds a population's trees.
double poolBlocks(int popSize, int treeDepth) {
  return std::ceil(static_cast<double>(popSize) *
                   NodePool::bytesFor(nodesPerTree(treeDepth)) /
                   static_cast<double>(NodePool::kBlockBytes));
}

std::string humanBytes(double bytes) {
  static const char* const units[] = {"bytes", "KiB", "MiB", "GiB",
                                      "TiB",   "PiB", "EiB"};
  std::size_t unit = 0;
  while (bytes >= 1024.0 && unit + 1 < std::size(units)) {
    bytes /= 1024.0;
    ++unit;
  }
  char text[64];
  std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes,
                units[unit]);
  return text;
}

std::uint64_t memAvailableFromProc() {
  std::ifstream meminfo("/proc/meminfo");
  std::string key;
  std::uint64_t kib = 0;
  std::string unit;
  while (meminfo >> key >> kib >> unit) {
    if (key == "MemAvailable:") return kib * 1024;
  }
  return 0;
}

// The one-thread run of the memory check.
RunShape oneThread(int popSize, int treeDepth, int populations) {
  return {
      .popSize = popSize, .treeDepth = treeDepth, .populations = populations};
}

}  // namespace

double runBytes(const RunShape& run) {
  const double threads = std::max(run.threads, 1);
  const double nodes = nodesPerTree(run.treeDepth);
  const double block = NodePool::kBlockBytes;
  double bytes = kSpareBytes;
  if (run.popSize > 0) {
    // The threads that make nodes at once, each in a pool of its own: one
    // for the first population, those that take pairs to breed for the
    // next ones.
    const double pairShares = std::ceil(run.popSize / 2 / double{kPairShare});
    const double makers =
        run.populations > 1 ? std::clamp(pairShares, 1.0, threads) : 1.0;
    bytes += run.populations *
                 (poolBlocks(run.popSize, run.treeDepth) + makers - 1) * block +
             makers * block + run.popSize * (kRecordBytes + kListBytes);
    if (run.populations > 1) bytes += run.popSize * kLexicaseBytes;
  }
  // A thread with no individual to take keeps no scratch.
  const double working =
      std::min(threads, static_cast<double>(std::max(run.popSize, 1)));
  const auto triples = static_cast<double>(run.triples);
  bytes += (threads - 1) * static_cast<double>(kHelperBytes) +
           working * (kScratchBytes + kScratchNodeBytes * nodes +
                      kScratchTripleBytes * triples) +
           kTripleBytes * triples;
  if (run.written && threads > 1) {
    // Chunks grow by doubling: one may hold twice its bytes.
    bytes += static_cast<double>(kWindowBytes) +
             threads * 2.0 * static_cast<double>(kChunkBytes);
  }
  return bytes;
}

double addressSpaceLeft() {
  // Pages: all mappings, resident, shared, text, 0, data and stack. Read
  // with a buffer of its own: the heap may have no room left.
  char text[256] = {};
  const int fd = ::open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    const ssize_t got = ::read(fd, text, sizeof text - 1);
    text[std::max<ssize_t>(got, 0)] = '\0';
    ::close(fd);
  }
  double pages[6] = {};
  char* at = text;
  for (double& field : pages) field = std::strtod(at, &at);
  const double page = static_cast<double>(sysconf(_SC_PAGESIZE));
  double left = std::numeric_limits<double>::infinity();
  for (const auto& [resource, used] :
       {std::pair{RLIMIT_AS, pages[0]}, std::pair{RLIMIT_DATA, pages[5]}}) {
    rlimit limit{};
    if (getrlimit(resource, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
      left = std::min(left, static_cast<double>(limit.rlim_cur) - used * page);
    }
  }
  return left;
}

std::uint64_t availableMemoryBytes() {
  std::uint64_t system = memAvailableFromProc();
  if (system == 0) {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages > 0 && pageSize > 0) {
      system = static_cast<std::uint64_t>(pages) *
               static_cast<std::uint64_t>(pageSize);
    }
  }
  const double left = addressSpaceLeft();
  if (left >= static_cast<double>(system)) return system;
  return static_cast<std::uint64_t>(std::max(left, 0.0));
}

bool roomToRun() {
  // Enough for the heap to grow once, as the first lines are written.
  return addressSpaceLeft() >= 256 << 10;
}

std::string memoryRefusal(int popSize, int treeDepth,
                          std::uint64_t availableBytes, int populations) {
  return "cannot build a population of " + std::to_string(popSize) +
         " trees of depth " + std::to_string(treeDepth) +
         (populations > 1 ? " and the next generation beside it" : "") +
         ": it needs " +
         humanBytes(runBytes(oneThread(popSize, treeDepth, populations))) +
         " of memory and " + humanBytes(static_cast<double>(availableBytes)) +
         " is available";
}

std::string populationRefusal(int popSize, int treeDepth,
                              std::uint64_t availableBytes, int populations) {
  if (popSize <= 0) return {};
  if (treeDepth > kMaxTreeDepth) {
    return "cannot build trees of depth " + std::to_string(treeDepth) +
           ": the deepest tree whose expression fits 32-bit positions has "
           "depth " +
           std::to_string(kMaxTreeDepth);
  }
  if (runBytes(oneThread(popSize, treeDepth, populations)) >
      static_cast<double>(availableBytes)) {
    return memoryRefusal(popSize, treeDepth, availableBytes, populations);
  }
  return {};
}

std::uint64_t testValueBytes(int popSize, int treeDepth,
                             std::uint64_t availableBytes, int populations) {
  // A triple's values take at least 96 bytes (three strings), its
  // evaluation on one thread 128 more: a third leaves room for both.
  const double left =
      static_cast<double>(availableBytes) -
      runBytes(oneThread(std::max(popSize, 0), treeDepth, populations));
  return static_cast<std::uint64_t>(std::max(left / 3.0, 0.0));
}

int threadsWithin(RunShape run, double spareBytes) {
  while (run.threads > 1 && runBytes(run) > spareBytes) --run.threads;
  return std::max(run.threads, 1);
}

double builtPopulationBytes(int popSize, int treeDepth) {
  if (popSize <= 0) return 0.0;
  return poolBlocks(popSize, treeDepth) * NodePool::kBlockBytes +
         popSize * kRecordBytes;
}
