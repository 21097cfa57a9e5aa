// The run's sequence: the dialogue, the population, the test values, the
// evaluation and, under --evolve, the generations.
#include "driver.hpp"

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "dialogue.hpp"
#include "evaluator.hpp"
#include "evolution.hpp"
#include "fitness.hpp"
#include "memory_budget.hpp"
#include "reader.hpp"
#include "transcript.hpp"
#include "trees.hpp"
#include "workers.hpp"

namespace {

// Says why the run cannot be carried out, when there is a reason.
bool refused(const std::string& why) {
  if (why.empty()) return false;
  std::cerr << "function-approximator: " << why << std::endl;
  return true;
}

// A record of the population. The records live until the process ends, on
// purpose: the leak checker of a sanitizer build (whose runtime defines this
// hook) is told so, and still reports anything else left behind.
extern "C" void __lsan_ignore_object(const void* object) __attribute__((weak));

TIndividual* keptRecord() {
  auto* const record = new TIndividual{};
  if (__lsan_ignore_object != nullptr) __lsan_ignore_object(record);
  return record;
}

// The records and their trees, whose nodes come from `nodes`. Returns the
// refusal when memory runs out on the way.
std::string growPopulation(std::vector<TIndividual*>& population,
                           NodePool& nodes, const RunParameters& run,
                           const RunOptions& options, int populations) {
  try {
    population.resize(static_cast<std::size_t>(run.popSize));
    for (TIndividual*& slot : population) slot = keptRecord();
    const ActivePool active(&nodes);
    if (options.seed) std::srand(*options.seed);
    createPop(population.data(), run.popSize, run.treeDepth);
  } catch (const std::bad_alloc&) {
    return memoryRefusal(run.popSize, run.treeDepth, availableMemoryBytes(),
                         populations);
  }
  return {};
}

// Reads the test values into `vars`, with the notes on them. Returns the
// refusal when they do not fit in `memoryBytes`.
std::string loadTestValues(const std::string& fileName,
                           std::uint64_t memoryBytes, bool evolving) {
  TestValues read;
  try {
    read = readTestValues(fileName, memoryBytes);
  } catch (const TestValuesTooLarge& failure) {
    return failure.what();
  }
  noteTestValues(read, fileName, evolving);
  vars = std::move(read.values);
  return {};
}

void listTestValues() {
  writeLine(kSeparator);
  writeLine("Test values: ");
  for (std::size_t k = 0; k + 2 < vars.size(); k += 3) {
    writeLine("Var[", k, "] --- a(", vars[k], "),b(", vars[k + 1], "),c(",
              vars[k + 2], ")");
  }
  writeLine(kSeparator);
}

}  // namespace

int runApproximator(const RunOptions& options) {
  // Move-assigned: GCC 12 warns falsely (-Wrestrict) on assigning a literal.
  a = std::string("4");
  b = std::string("4");
  c = std::string("7");
  const std::string fileName = "testVals.csv";

  RunParameters run = runDialogue();
  const bool evolving = options.evolve && run.genSize > 0;
  settleParameters(run, evolving);
  // A run that asks for no tournament size takes the default, or the whole
  // population when it is smaller, without a note.
  const int tournament =
      options.tournament.value_or(std::min(kTournamentSize, run.popSize));
  EvolutionSettings settings{run.genSize,     run.treeDepth,
                             run.mutRate,     run.crossRate,
                             options.threads, options.seed.value_or(1),
                             tournament,      options.elite};
  if (evolving) settleSelection(settings, run.popSize);
  // While generations run, a new population is built beside the old one.
  const int populations = evolving ? 2 : 1;
  // One figure for the populations and, after them, the test values.
  const std::uint64_t available = availableMemoryBytes();
  if (refused(populationRefusal(run.popSize, run.treeDepth, available,
                                populations))) {
    return 1;
  }

  // The records live until the process ends; the trees until their pool
  // goes, at the end of the run or when the next generation replaces them.
  std::vector<TIndividual*> population;
  auto nodes = std::make_unique<NodePool>();
  if (refused(growPopulation(population, *nodes, run, options, populations))) {
    return 1;
  }
  const std::uint64_t valueBytes =
      testValueBytes(run.popSize, run.treeDepth, available, populations);
  if (refused(
          loadTestValues(fileName, valueBytes, evolving && run.popSize > 0))) {
    return 1;
  }
  listTestValues();

  if (evolving) {
    std::vector<int> finiteTriples;
    std::vector<float> costs =
        evalPopCosts(population.data(), run.popSize, &finiteTriples);
    Workers workers(options.threads);
    runGenerations(population.data(), run.popSize, nodes, settings,
                   std::move(costs), std::move(finiteTriples), workers);
  } else {
    evalPop(population.data(), run.popSize);
  }

  writeLine("FINISHED");
  return 0;
}
