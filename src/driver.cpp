#include "driver.hpp"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <new>
#include <vector>

#include "evaluator.hpp"
#include "evolution.hpp"
#include "fitness.hpp"
#include "reader.hpp"
#include "transcript.hpp"
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

void refuse(const std::string& why) {
  std::cerr << "function-approximator: " << why << std::endl;
}

// A rate the generations can use: within 0 to 1, NaN as 0, with a note when
// the answer was not.
float clampedRate(const char* name, float rate) {
  if (rate >= 0.0f && rate <= 1.0f) return rate;
  const float clamped = rate > 1.0f ? 1.0f : 0.0f;  // NaN goes to 0 as well
  char typed[32];
  char used[32];
  std::cerr << "function-approximator: note: the " << name << " rate "
            << formatFloat(rate, typed) << " is outside 0 to 1; "
            << formatFloat(clamped, used) << " is used" << std::endl;
  return clamped;
}

// Reads one answer of the dialogue. A failed read leaves the start value, and
// the stream stays failed, so the later answers keep theirs too.
template <typename T>
void ask(const char* prompt, T& value) {
  writeLine(prompt);
  std::cin >> value;
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
  // The evaluation, the test values and the program itself need room too.
  if (populations * populationBytes(popSize, treeDepth) >
      0.9 * static_cast<double>(availableBytes)) {
    return memoryRefusal(popSize, treeDepth, availableBytes, populations);
  }
  return {};
}

int runApproximator(const RunOptions& options) {
  // Move-assigned: GCC 12 warns falsely (-Wrestrict) on assigning a literal.
  a = std::string("4");
  b = std::string("4");
  c = std::string("7");
  const std::string fileName = "testVals.csv";
  int treeDepth = 0;
  int genSize = 0;
  int popSize = 0;
  float crossRate = 0.0f;
  float mutRate = 0.0f;

  writeLine(kSeparator);
  writeLine("Function approximator application");
  writeLine(kSeparator);
  ask("Give me population size", popSize);
  ask("Give me generations", genSize);
  ask("Give me mutation rate", mutRate);
  ask("Give me crossover rate", crossRate);
  ask("Give me tree depth", treeDepth);
  writeLine(kSeparator);
  writeLine("Starting algorithm");
  writeLine("Characteristics");
  writeLine(kSeparator);
  writeLine("Generations: ", genSize);
  writeLine("Population size: ", popSize);
  writeLine("Mutation rate: ", mutRate);
  writeLine("Crossover rate: ", crossRate);

  if (popSize < 0) {
    std::cerr << "function-approximator: note: the population size " << popSize
              << " is negative; the population is empty" << std::endl;
    popSize = 0;
  }
  const bool evolving = options.evolve && genSize > 0;
  if (evolving) {
    mutRate = clampedRate("mutation", mutRate);
    crossRate = clampedRate("crossover", crossRate);
  }
  if (evolving && popSize == 0) {
    std::cerr << "function-approximator: note: the population is empty; "
                 "there are no generations to run"
              << std::endl;
  }
  // While generations run, a new population is built beside the old one.
  const int populations = evolving ? 2 : 1;
  if (const std::string why = populationRefusal(
          popSize, treeDepth, availableMemoryBytes(), populations);
      !why.empty()) {
    refuse(why);
    return 1;
  }

  // The records live until the process ends; the trees until their pool
  // goes, at the end of the run or when the next generation replaces them.
  std::vector<TIndividual*> population;
  auto nodes = std::make_unique<NodePool>();
  try {
    population.resize(static_cast<std::size_t>(popSize));
    for (TIndividual*& slot : population) slot = new TIndividual{};
    const ActivePool active(nodes.get());
    createPop(population.data(), popSize, treeDepth);
  } catch (const std::bad_alloc&) {
    refuse(
        memoryRefusal(popSize, treeDepth, availableMemoryBytes(), populations));
    return 1;
  }

  vars = readVars(fileName);
  if (const std::size_t extra = vars.size() % 3; extra != 0) {
    std::cerr << "function-approximator: warning: " << fileName << " holds "
              << vars.size() << " values, not a multiple of three; the last "
              << extra << (extra == 1 ? " value is" : " values are")
              << " ignored" << std::endl;
  }

  writeLine(kSeparator);
  writeLine("Test values: ");
  for (std::size_t k = 0; k + 2 < vars.size(); k += 3) {
    writeLine("Var[", k, "] --- a(", vars[k], "),b(", vars[k + 1], "),c(",
              vars[k + 2], ")");
  }
  writeLine(kSeparator);

  evalPop(population.data(), popSize);

  if (evolving) {
    runGenerations(population.data(), popSize, nodes,
                   {genSize, treeDepth, mutRate, crossRate, options.threads});
  }

  writeLine("FINISHED");
  return 0;
}
