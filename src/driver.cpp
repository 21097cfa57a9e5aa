// The run's sequence: the dialogue, the population, the test values, the
// evaluation and, under --evolve, the generations.
#include "driver.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "checkpoint.hpp"
#include "dialogue.hpp"
#include "evaluator.hpp"
#include "evolution.hpp"
#include "fitness.hpp"
#include "long_run.hpp"
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
    // A team of its own: how many threads the evaluation can afford is
    // known only once the trees and the test values are in memory. Where
    // the memory is short of a full team, one thread grows the trees.
    const RunShape shape{.popSize = run.popSize,
                         .treeDepth = run.treeDepth,
                         .populations = populations,
                         .threads = options.threads};
    const bool roomy =
        threadsWithin(shape, static_cast<double>(availableMemoryBytes())) ==
        options.threads;
    Workers growers(roomy ? options.threads : 1);
    growPop(population.data(), run.popSize, run.treeDepth,
            options.seed.value_or(1), growers, nodes);
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
  if (read.openError != 0) writeLine("Unable to open file: ", fileName);
  noteTestValues(read, fileName, evolving);
  vars = std::move(read.values);
  return {};
}

// A file the run writes that is one it needs: the checkpoint in place of
// the test values, the statistics file in place of a checkpoint.
std::string clashRefusal(const RunOptions& options,
                         const std::string& fileName) {
  const auto same = [](const std::string& x, const std::string& y) {
    std::error_code ignored;
    return !x.empty() && (x == y || std::filesystem::equivalent(x, y, ignored));
  };
  if (same(options.checkpointFile, fileName)) {
    return "the checkpoint '" + options.checkpointFile +
           "' would replace the test values";
  }
  for (const std::string& checkpoint :
       {options.checkpointFile, options.resumeFile}) {
    if (same(options.statsFile, checkpoint)) {
      return "the statistics file '" + options.statsFile +
             "' would replace the checkpoint '" + checkpoint + "'";
    }
  }
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

// A run that asked for more threads than it got says so.
void noteFewerThreads(const RunOptions& options, int fitting, int started) {
  if (!options.threadsAsked || started >= options.threads) return;
  std::cerr << "function-approximator: note: " << started << " of the "
            << options.threads << " threads asked for are used: "
            << (fitting < options.threads ? "the memory available holds no more"
                                          : "the system starts no more")
            << std::endl;
}

// How many threads the run starts, once: as many as the memory left holds,
// the first population and the test values built, the next generation
// still to come.
int threadsThatFit(const RunOptions& options, RunShape run) {
  run.threads = options.threads;
  run.triples = vars.size() / 3;
  return threadsWithin(run,
                       static_cast<double>(availableMemoryBytes()) +
                           builtPopulationBytes(run.popSize, run.treeDepth));
}

// The generations after `reached`, on the run's threads, steered by
// `steering`, whose record holds the answers and options.
void evolve(LongRun& steering, TIndividual** population,
            std::unique_ptr<NodePool>& nodes, Workers& workers,
            std::vector<float> costs, std::vector<int> finiteTriples,
            int reached) {
  const RunRecord& record = steering.record;
  runGenerations(population, record.popSize, nodes,
                 {.genSize = record.genSize,
                  .treeDepth = record.treeDepth,
                  .mutRate = record.mutRate,
                  .crossRate = record.crossRate,
                  .seed = record.seed,
                  .reached = reached,
                  .tournament = record.tournament,
                  .elite = record.elite,
                  .lexicase = record.lexicase},
                 std::move(costs), std::move(finiteTriples), workers,
                 [&](int generation, const std::vector<float>& now, int best) {
                   return generationEnded(steering, generation, population,
                                          record.popSize, now, best);
                 });
}

// The population saved in the checkpoint `fileName`, with what the run
// needs of the rest in `saved`.
std::string loadCheckpoint(const std::string& fileName, SavedRun& saved,
                           std::vector<TIndividual*>& population,
                           NodePool& nodes, std::uint64_t available) {
  const std::string refusal = "cannot resume from '" + fileName + "': ";
  std::ifstream file;
  std::error_code ignored;
  // A directory opens as a stream but yields nothing.
  errno = std::filesystem::is_directory(fileName, ignored) ? EISDIR : 0;
  if (errno == 0) file.open(fileName, std::ios::binary);
  if (!file.is_open()) return refusal + std::strerror(errno ? errno : EIO);
  std::vector<Ttree*> trees;
  const ActivePool active(&nodes);
  if (const std::string why = readCheckpoint(file, saved, trees, available);
      !why.empty()) {
    return refusal + why;
  }
  population.resize(trees.size());
  for (std::size_t i = 0; i < trees.size(); ++i) {
    population[i] = keptRecord();
    population[i]->tree = trees[i];
  }
  return {};
}

// The run saved in a checkpoint, continued: nothing is asked, and the
// transcript goes on after the checkpoint's generation.
int resumeRun(const RunOptions& options) {
  LongRun steering;
  const std::string fileName = "testVals.csv";
  if (refused(clashRefusal(options, fileName))) return 1;
  std::vector<TIndividual*> population;
  auto nodes = std::make_unique<NodePool>();
  SavedRun saved;
  const std::uint64_t available = availableMemoryBytes();
  if (refused(loadCheckpoint(options.resumeFile, saved, population, *nodes,
                             available))) {
    return 1;
  }
  const RunRecord& record = saved.record;
  TestValues read;
  try {
    read = readTestValues(
        fileName,
        testValueBytes(record.popSize, record.treeDepth, available, 2));
  } catch (const TestValuesTooLarge& failure) {
    refused(failure.what());
    return 1;
  }
  if (const ValuesMark mark = markValues(read.values); mark != saved.values) {
    refused(mark.count == saved.values.count
                ? fileName + " holds other test values than the run of '" +
                      options.resumeFile + "' had"
                : fileName + " holds " + std::to_string(mark.count) +
                      " test values; the run of '" + options.resumeFile +
                      "' had " + std::to_string(saved.values.count));
    return 1;
  }
  if (!options.statsFile.empty() &&
      refused(openStats(steering.stats, options.statsFile))) {
    return 1;
  }
  noteTestValues(read, fileName, true);
  vars = std::move(read.values);

  const int fitting = threadsThatFit(options, {.popSize = record.popSize,
                                               .treeDepth = record.treeDepth,
                                               .populations = 2});
  Workers workers(fitting);
  noteFewerThreads(options, fitting, workers.count());
  std::vector<int> finiteTriples;
  std::vector<float> costs = quietCosts(population.data(), record.popSize,
                                        workers, 0, 0, &finiteTriples);
  steering.record = record;
  // The clock goes on from the seconds the run had taken.
  steering.state = {saved.bestCost, saved.sinceLower,
                    steering.state.startSeconds - saved.seconds};
  steering.checkpoint = {.path = options.checkpointFile,
                         .every = options.checkpointEvery,
                         .lastWrite = monotonicSeconds(),
                         .values = saved.values};
  if (resumeGenerations(steering, saved.generation, population.data(),
                        record.popSize, costs, finiteTriples, saved.seconds)) {
    evolve(steering, population.data(), nodes, workers, std::move(costs),
           std::move(finiteTriples), saved.generation);
  }
  writeLine("FINISHED");
  return steering.stats.failed || steering.checkpoint.failed ? 1 : 0;
}

}  // namespace

int runApproximator(const RunOptions& options) {
  if (!roomToRun()) {
    // Said with no memory of its own: the heap may have none to give.
    std::cerr << "function-approximator: the memory limits leave the "
                 "program no room to run"
              << std::endl;
    return 1;
  }
  if (!options.resumeFile.empty()) return resumeRun(options);
  // The statistics file is opened before anything is asked.
  LongRun steering;
  const std::string fileName = "testVals.csv";
  if (refused(clashRefusal(options, fileName))) return 1;
  if (!options.statsFile.empty() &&
      refused(openStats(steering.stats, options.statsFile))) {
    return 1;
  }
  // Move-assigned: GCC 12 warns falsely (-Wrestrict) on assigning a literal.
  a = std::string("4");
  b = std::string("4");
  c = std::string("7");

  RunParameters run = runDialogue();
  const bool evolving = options.evolve && run.genSize > 0;
  settleParameters(run, evolving);
  // A run that asks for no tournament size takes the default, or the whole
  // population when it is smaller, without a note.
  EvolutionSettings selection{
      .tournament = options.tournament.value_or(defaultTournament(run.popSize)),
      .elite = options.elite,
      .lexicase = options.lexicase};
  if (evolving) settleSelection(selection, run.popSize);
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

  const int fitting =
      threadsThatFit(options, {.popSize = run.popSize,
                               .treeDepth = run.treeDepth,
                               .populations = populations,
                               .written = !(options.evolve && options.brief)});
  Workers workers(fitting);
  noteFewerThreads(options, fitting, workers.count());
  if (options.evolve && run.popSize > 0) {
    // A brief transcript needs the first population's costs only.
    std::vector<int> finiteTriples;
    std::vector<float> costs =
        options.brief ? quietCosts(population.data(), run.popSize, workers, 0,
                                   0, &finiteTriples)
                      : evalPopCosts(population.data(), run.popSize, workers,
                                     &finiteTriples);
    steering.record = {
        run.popSize,     run.genSize,       run.mutRate,
        run.crossRate,   run.treeDepth,     options.seed.value_or(1),
        options.brief,   options.rules,     selection.tournament,
        selection.elite, selection.lexicase};
    steering.checkpoint = {.path = options.checkpointFile,
                           .every = options.checkpointEvery,
                           .values = markValues(vars)};
    if (beginGenerations(steering, population.data(), run.popSize, costs,
                         finiteTriples)) {
      evolve(steering, population.data(), nodes, workers, std::move(costs),
             std::move(finiteTriples), 0);
    }
  } else {
    evalPop(population.data(), run.popSize, workers);
  }

  writeLine("FINISHED");
  return steering.stats.failed || steering.checkpoint.failed ? 1 : 0;
}
