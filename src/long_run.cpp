#include "long_run.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iostream>
#include <string>

#include "evolution.hpp"
#include "fitness.hpp"
#include "progress.hpp"
#include "selection.hpp"
#include "transcript.hpp"

namespace {

// The statistics row of a generation; a failure is told on standard error
// once and stops the run at the end of the generation.
void writeStats(LongRun& run, int generation, TIndividual** population,
                int popSize, const std::vector<float>& costs, int best) {
  if (!run.stats.file || run.stats.failed) return;
  StatsRow row{.generation = generation,
               .bestCost = costs[static_cast<std::size_t>(best)],
               .medianCost = medianCost(costs)};
  row.nonFinite = std::count_if(costs.begin(), costs.end(), [](float cost) {
    return !std::isfinite(cost);
  });
  row.bestNodes = treeNodes(population[best]->tree);
  long long nodes = 0;
  for (int i = 0; i < popSize; ++i) nodes += treeNodes(population[i]->tree);
  row.meanNodes = static_cast<double>(nodes) / popSize;
  row.seconds = monotonicSeconds() - run.state.startSeconds;
  if (const std::string why = writeStatsRow(run.stats, row); !why.empty()) {
    endProgress();
    std::cerr << "function-approximator: " << why << std::endl;
  }
}

// Writes the checkpoint of `generation` when one is due, or whenever the
// run `ends` there; a failure is told on standard error once, and no more
// are tried. Returns false when this one could not be written.
bool saveCheckpoint(LongRun& run, int generation, TIndividual** population,
                    double seconds, bool ends) {
  CheckpointPlan& plan = run.checkpoint;
  if (plan.path.empty() || plan.failed) return true;
  if (!ends && monotonicSeconds() - plan.lastWrite < plan.every) return true;
  const SavedRun saved{run.record,         plan.values,          generation,
                       run.state.bestCost, run.state.sinceLower, seconds};
  const std::string why = writeCheckpoint(plan.path, saved, population);
  plan.lastWrite = monotonicSeconds();
  if (why.empty()) return true;
  plan.failed = true;
  endProgress();
  std::cerr << "function-approximator: " << why << std::endl;
  return false;
}

// The Stopped line, the separator and the block of the best individual.
void endStopped(LongRun& run, StopReason reason, int generation,
                TIndividual** population, int best) {
  run.stopped = reason;
  writeLine("Stopped: ", stopText(reason, run.record.rules),
            " after generation ", generation);
  writeLine(kSeparator);
  evalIndividual(population[best], best);
}

}  // namespace

bool beginGenerations(LongRun& run, TIndividual** population, int popSize,
                      const std::vector<float>& costs,
                      const std::vector<int>& finiteTriples) {
  Ranking ranking;
  const int best = rankPopulation(population, popSize, costs, finiteTriples,
                                  run.record.elite, ranking);
  const float bestCost = costs[static_cast<std::size_t>(best)];
  run.state.bestCost = bestCost;
  const bool generations = run.record.genSize > 0;
  if (generations || run.record.brief) writeLine(recordLine(run.record));
  if (run.record.brief) writeGeneration(0, costs, population[best], bestCost);
  writeStats(run, 0, population, popSize, costs, best);
  if (generations) {
    armCleanStop();
    // The first checkpoint is written at once: a path that cannot be
    // written is found before the generations run.
    const double seconds = monotonicSeconds() - run.state.startSeconds;
    if (saveCheckpoint(run, 0, population, seconds, true)) return true;
    endStopped(run, StopReason::kCheckpoint, 0, population, best);
    return false;
  }
  if (run.record.brief) {
    writeLine(kSeparator);
    evalIndividual(population[best], best);
  }
  return false;
}

bool generationEnded(LongRun& run, int generation, TIndividual** population,
                     int popSize, const std::vector<float>& costs, int best) {
  writeStats(run, generation, population, popSize, costs, best);
  const double elapsed = monotonicSeconds() - run.state.startSeconds;
  StopReason reason =
      applyRules(run.record.rules, run.state,
                 costs[static_cast<std::size_t>(best)], elapsed);
  if (stopSignal() != 0) reason = StopReason::kInterrupted;
  if (run.stats.failed) reason = StopReason::kStatsFile;
  const bool last = generation >= run.record.genSize;
  if (!saveCheckpoint(run, generation, population, elapsed,
                      last || reason != StopReason::kNone) &&
      reason != StopReason::kStatsFile) {
    reason = StopReason::kCheckpoint;
  }
  if (reason == StopReason::kNone || last) return false;
  run.stopped = reason;
  writeLine("Stopped: ", stopText(reason, run.record.rules),
            " after generation ", generation);
  return true;
}

bool resumeGenerations(LongRun& run, int generation, TIndividual** population,
                       int popSize, const std::vector<float>& costs,
                       const std::vector<int>& finiteTriples, double seconds) {
  Ranking ranking;
  const int best = rankPopulation(population, popSize, costs, finiteTriples,
                                  run.record.elite, ranking);
  const RunRecord& record = run.record;
  // The rules were looked at when this generation ended, as here.
  StopReason reason =
      generation > 0 && generation < record.genSize
          ? ruleThatHolds(record.rules, run.state,
                          costs[static_cast<std::size_t>(best)], seconds)
          : StopReason::kNone;
  if (generation < record.genSize && reason == StopReason::kNone) {
    armCleanStop();
    return true;
  }
  if (!saveCheckpoint(run, generation, population, seconds, true)) {
    reason = StopReason::kCheckpoint;
  }
  if (reason != StopReason::kNone) {
    endStopped(run, reason, generation, population, best);
    return false;
  }
  writeLine(kSeparator);
  evalIndividual(population[best], best);
  return false;
}
