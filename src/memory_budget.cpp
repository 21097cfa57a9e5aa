// The memory budget: estimates, the memory available, refusals.
#include "memory_budget.hpp"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "trees.hpp"

namespace {

// What malloc really takes for one block: the request plus its header,
// rounded up to 16 bytes.
double heapBlockBytes(std::size_t size) {
  return static_cast<double>((size + sizeof(void*) + 15) / 16 * 16);
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

// What the populations and the test values may take of the memory that is
// available: the evaluation and the program itself need the rest.
double usableBytes(std::uint64_t availableBytes) {
  return 0.9 * static_cast<double>(availableBytes);
}

}  // namespace

double populationBytes(int popSize, int treeDepth) {
  if (popSize <= 0) return 0.0;
  const double nodes =
      treeDepth < 0 ? 1.0 : std::exp2(static_cast<double>(treeDepth) + 1) - 1;
  const double perIndividual = static_cast<double>(sizeof(TIndividual*)) +
                               heapBlockBytes(sizeof(TIndividual)) +
                               NodePool::bytesFor(nodes);
  return static_cast<double>(popSize) * perIndividual;
}

std::uint64_t availableMemoryBytes() {
  std::uint64_t available = memAvailableFromProc();
  if (available == 0) {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages > 0 && pageSize > 0) {
      available = static_cast<std::uint64_t>(pages) *
                  static_cast<std::uint64_t>(pageSize);
    }
  }
  for (const int resource : {RLIMIT_AS, RLIMIT_DATA}) {
    rlimit limit{};
    if (getrlimit(resource, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
      available = std::min<std::uint64_t>(available, limit.rlim_cur);
    }
  }
  return available;
}

std::string memoryRefusal(int popSize, int treeDepth,
                          std::uint64_t availableBytes, int populations) {
  return "cannot build a population of " + std::to_string(popSize) +
         " trees of depth " + std::to_string(treeDepth) +
         (populations > 1 ? " and the next generation beside it" : "") +
         ": it needs " +
         humanBytes(populations * populationBytes(popSize, treeDepth)) +
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
  if (populations * populationBytes(popSize, treeDepth) >
      usableBytes(availableBytes)) {
    return memoryRefusal(popSize, treeDepth, availableBytes, populations);
  }
  return {};
}

std::uint64_t testValueBytes(int popSize, int treeDepth,
                             std::uint64_t availableBytes, int populations) {
  const double left = usableBytes(availableBytes) -
                      populations * populationBytes(popSize, treeDepth);
  return static_cast<std::uint64_t>(std::max(left, 0.0));
}
