// The console driver: the run's sequence, from the dialogue to FINISHED.
#pragma once

#include <cstdint>
#include <optional>

#include "run_control.hpp"
#include "selection.hpp"

// What the command line asks of a run. A run with the defaults is the plain
// run: one evaluation of the first population.
struct RunOptions {
  bool evolve = false;        // run the generations after the first evaluation
  int threads = 1;            // that the run's evaluations share
  bool threadsAsked = false;  // threads given on the command line
  // srand's argument before the first tree is grown; none: rand() stays
  // unseeded, which glibc makes the same sequence as a seed of 1.
  std::optional<std::uint32_t> seed;
  // Under evolve: the first population summed up in one line instead of
  // its evaluation blocks.
  bool brief = false;
  std::string statsFile;  // the statistics file; empty: none
  StopRules rules;
  std::string checkpointFile;     // where the run's state is kept; empty: none
  double checkpointEvery = 60.0;  // seconds from one checkpoint to the next
  // The checkpoint a resumed run continues from; empty: a new run. The
  // answers and the options that change the run are then the checkpoint's.
  std::string resumeFile;
  // Under --evolve: the tournament's size asked for (0: the rank roulette;
  // none: kTournamentSize, or the population size when that is smaller) and
  // how many of the best pass on unchanged.
  std::optional<int> tournament;
  int elite = 1;
  float lexicase = kLexicaseChance;  // see EvolutionSettings
};

// The whole run, reading the answers from standard input and writing the
// transcript to standard output. Returns the exit status; throws
// OutputError when standard output fails.
int runApproximator(const RunOptions& options = {});
