// What steers a long evolving run: its stopping rules and where it stands
// with them, the clean stop a signal asks for, and the record line from
// which the run can be made again.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The rules a run stops by; each is off at its default.
struct StopRules {
  std::optional<float> targetCost;  // a finite best cost at most this
  int stall = 0;           // generations in a row without a lower best cost
  double timeLimit = 0.0;  // seconds since the run began
};

// Where a run stands with its rules: plain data, so that it can be saved
// and restored as it is.
struct StopState {
  float bestCost = 0.0f;      // the lowest best cost so far, by the ranking
  int sinceLower = 0;         // generations in a row whose best was not lower
  double startSeconds = 0.0;  // monotonicSeconds() when the run began
};

// Why a run ended before its last generation. The order is the order of
// precedence when several hold at once.
enum class StopReason {
  kNone,
  kStatsFile,    // the statistics file could not be written
  kCheckpoint,   // the checkpoint could not be written
  kInterrupted,  // SIGINT, SIGTERM or SIGHUP
  kTargetCost,
  kStall,
  kTimeLimit,
};

// The reason as the Stopped line gives it ("target cost reached").
std::string stopText(StopReason reason, const StopRules& rules);

// Seconds on a clock that never goes back, from an arbitrary start.
double monotonicSeconds();

// Whether cost x ranks before y: finite costs lowest first, every
// non-finite one after them.
bool lowerCost(float x, float y);

// Takes a generation's best cost into the state and gives the first rule
// that then holds, `elapsed` seconds after the run began; kNone when none
// does.
StopReason applyRules(const StopRules& rules, StopState& state, float bestCost,
                      double elapsed);

// The first rule that holds for a state that has taken its generation's
// best cost already; kNone when none does.
StopReason ruleThatHolds(const StopRules& rules, const StopState& state,
                         float bestCost, double elapsed);

// From now on SIGINT, SIGTERM and SIGHUP only ask the run to stop; a second
// one ends the program at once. A signal ignored when the program started
// stays ignored.
void armCleanStop();

// The signal that asked the run to stop, 0 when none has.
int stopSignal();

// When a signal asked the run to stop, ends the program by that signal
// (its default action restored), so that the shell sees how it ended.
void endByStopSignal();

// The run as its record line names it: the five answers as used, the seed
// (1 for an unseeded run: glibc's rand() starts as srand(1)) and the options
// that change the run.
struct RunRecord {
  int popSize = 0;
  int genSize = 0;
  float mutRate = 0.0f;
  float crossRate = 0.0f;
  int treeDepth = 0;
  std::uint32_t seed = 1;
  bool brief = false;
  StopRules rules;
  int tournament = 0;  // the tournament's size; 0: the rank roulette
  int elite = 1;       // how many of the best pass on unchanged
  // The chance that a pair's first parent is chosen by lexicase, 0 to 1
  // (by default kLexicaseChance).
  float lexicase = 0.5f;
};

// "Run: function-approximator <version>\t---\tCommand: printf '...\n' |
// function-approximator --evolve --seed <S> ...": the command pastes into
// a shell as it is, and the shortest texts of the floats read back as the
// same floats.
std::string recordLine(const RunRecord& record);
