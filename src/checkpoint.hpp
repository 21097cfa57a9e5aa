// Checkpoints of an evolving run: its state after a generation as a text
// file, replaced whole so that a reader never sees half of one, and read back
// with every size checked against the run's answers before it is taken.
#pragma once

#include <cstdint>
#include <functional>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

#include "run_control.hpp"
#include "trees.hpp"

// The first line of every checkpoint: its format and the format's version.
inline constexpr std::string_view kCheckpointFormat =
    "function-approximator checkpoint 1";

// Which test values a run used: how many, and the 64-bit FNV-1a hash of
// their texts, each followed by a line feed (which no value holds).
struct ValuesMark {
  std::uint64_t count = 0;
  std::uint64_t fingerprint = 0;
  bool operator==(const ValuesMark&) const = default;
};

ValuesMark markValues(const std::vector<std::string>& values);

// What a checkpoint holds beside the population's trees: everything the
// generations after `generation` depend on.
struct SavedRun {
  RunRecord record;  // the answers as used, the seed, the options
  ValuesMark values;
  int generation = 0;  // the population's: 0 for the first
  // The stopping rules' standing (StopState), and the seconds the run had
  // taken when they were looked at.
  float bestCost = 0.0f;
  int sinceLower = 0;
  double seconds = 0.0;
};

// Where and how often a run writes its checkpoints.
struct CheckpointPlan {
  std::string path;        // empty: none
  double every = 60.0;     // seconds from one write to the next due
  double lastWrite = 0.0;  // monotonicSeconds() after the last one
  ValuesMark values;       // the run's test values
  bool failed = false;     // a write failed; no more are tried
};

// The checkpoint's text, handed to `put` in pieces of some 64 KiB; stops at
// the first piece `put` refuses and returns false.
bool formatCheckpoint(const SavedRun& run, TIndividual* const* population,
                      const std::function<bool(std::string_view)>& put);

// Writes the checkpoint in place of `path`: into a new file beside it,
// flushed to the disk, then renamed over it. A path that names anything but
// a regular file is not written. Returns why it could not be written (the
// new file then removed), or an empty text.
std::string writeCheckpoint(const std::string& path, const SavedRun& run,
                            TIndividual* const* population);

// Reads a checkpoint, the trees made where `new Ttree` makes nodes, one per
// individual. Memory and time stay linear in what is read: no line may be
// longer than its content allows, nor a tree deeper than the run's depth,
// and the population must fit twice in `availableBytes` before a tree is
// read. Returns "line <n>: <why>" for the first thing wrong, or an empty
// text.
std::string readCheckpoint(std::istream& in, SavedRun& run,
                           std::vector<Ttree*>& trees,
                           std::uint64_t availableBytes);
