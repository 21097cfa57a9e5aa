// The console driver: the run's sequence, from the dialogue to FINISHED.
#pragma once

#include <cstdint>
#include <optional>

// What the command line asks of a run. A run with the defaults is the plain
// run: one evaluation of the first population.
struct RunOptions {
  bool evolve = false;  // run the generations after the first evaluation
  int threads = 1;      // that compute the generations' costs
  // srand's argument before the first tree is grown; none: rand() stays
  // unseeded, which glibc makes the same sequence as a seed of 1.
  std::optional<std::uint32_t> seed;
  // Under --evolve: the tournament's size asked for (0: the rank roulette;
  // none: kTournamentSize, or the population size when that is smaller) and
  // how many of the best pass on unchanged.
  std::optional<int> tournament;
  int elite = 1;
};

// The whole run, reading the answers from standard input and writing the
// transcript to standard output. Returns the exit status; throws
// OutputError when standard output fails.
int runApproximator(const RunOptions& options = {});
