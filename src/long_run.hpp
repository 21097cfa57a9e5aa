// What an evolving run does around its generations: the record line, the
// first population summed up as generation 0, a statistics row and the
// stopping rules at the end of each generation, and the Stopped line.
#pragma once

#include <vector>

#include "checkpoint.hpp"
#include "run_control.hpp"
#include "run_stats.hpp"
#include "trees.hpp"

// A run's steering: what it was asked, where it stands, its statistics
// file and checkpoints, and why it stopped. The clock starts when it is made.
struct LongRun {
  RunRecord record;
  StopState state{.startSeconds = monotonicSeconds()};
  StatsFile stats;
  CheckpointPlan checkpoint;
  StopReason stopped = StopReason::kNone;
};

// Once the first population's costs are known: the record line when there
// are generations to run or the transcript is brief, the Generation 0 line
// when brief, the statistics row of generation 0. Returns whether
// generations follow; then the clean stop is armed and the first checkpoint
// written (a run whose checkpoint cannot be written stops here). A brief
// transcript without generations ends here with the separator and the best
// individual's block.
bool beginGenerations(LongRun& run, TIndividual** population, int popSize,
                      const std::vector<float>& costs,
                      const std::vector<int>& finiteTriples);

// After the line of a generation from 1 on, whose costs are `costs` and
// whose best is `best`: its statistics row, then the rules and a signal,
// then the checkpoint when one is due or the run ends. Returns whether the
// run stops there, before its last generation; the Stopped line is then
// written.
bool generationEnded(LongRun& run, int generation, TIndividual** population,
                     int popSize, const std::vector<float>& costs, int best);

// A run resumed at `generation` from its checkpoint, whose population's
// costs are `costs` and whose state is in `run`: returns whether generations
// follow (the clean stop is then armed). A run that had ended there, by its
// last generation or by a rule, ends as it did: its checkpoint written
// again, the Stopped line for a rule, the separator and the best
// individual's block.
bool resumeGenerations(LongRun& run, int generation, TIndividual** population,
                       int popSize, const std::vector<float>& costs,
                       const std::vector<int>& finiteTriples, double seconds);
