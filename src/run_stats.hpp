// The statistics file of an evolving run: one CSV row per generation,
// written and flushed as the generation ends, so that a plot can follow
// the run.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "trees.hpp"

// One generation's figures, as a row gives them.
struct StatsRow {
  int generation = 0;
  float bestCost = 0.0f;
  float medianCost = 0.0f;
  long long nonFinite = 0;
  long long bestNodes = 0;  // nodes of the best tree
  double meanNodes = 0.0;   // nodes per tree over the population
  double seconds = 0.0;     // since the run began
};

// The file, its name and whether a write has failed; closed when it goes.
struct StatsFile {
  std::string path;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file{nullptr, std::fclose};
  bool failed = false;
};

// The header every file starts with.
inline constexpr const char* kStatsHeader =
    "generation,best_cost,median_cost,non_finite,best_nodes,mean_nodes,"
    "seconds";

// Opens (truncates) the file and puts the header in its buffer. Returns
// the reason it cannot be opened, or an empty text.
std::string openStats(StatsFile& stats, const std::string& path);

// A cost as a row writes it: 9 significant digits, enough to read back the
// same float; inf, -inf and nan (whatever the NaN's sign) as such.
std::string statsNumber(float value);

// Writes one row and flushes it. Returns the reason it could not be
// written, or an empty text; after a failure nothing more is written.
std::string writeStatsRow(StatsFile& stats, const StatsRow& row);

// How many nodes the tree has.
long long treeNodes(const Ttree* tree);
