#include "long_run.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iostream>
#include <string>

#include "evolution.hpp"
#include "fitness.hpp"
#include "progress.hpp"
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

}  // namespace

bool beginGenerations(LongRun& run, TIndividual** population, int popSize,
                      const std::vector<float>& costs) {
  std::vector<std::uint64_t> weights;
  const int best = rankPopulation(population, popSize, costs, weights);
  const float bestCost = costs[static_cast<std::size_t>(best)];
  run.state.bestCost = bestCost;
  const bool generations = run.record.genSize > 0;
  if (generations || run.record.brief) writeLine(recordLine(run.record));
  if (run.record.brief) writeGeneration(0, costs, population[best], bestCost);
  writeStats(run, 0, population, popSize, costs, best);
  if (generations) {
    armCleanStop();
    return true;
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
  if (reason == StopReason::kNone || generation >= run.record.genSize) {
    return false;
  }
  run.stopped = reason;
  writeLine("Stopped: ", stopText(reason, run.record.rules),
            " after generation ", generation);
  return true;
}
