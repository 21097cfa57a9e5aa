#include "run_control.hpp"

#include <signal.h>

#include <charconv>
#include <chrono>
#include <cmath>
#include <csignal>
#include <iostream>

#include "progress.hpp"
#include "selection.hpp"

namespace {

// Set once, by the first signal that asks the run to stop.
volatile std::sig_atomic_t pendingSignal = 0;

constexpr int kStopSignals[] = {SIGHUP, SIGINT, SIGTERM};

void restoreDefault(int signal) {
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  sigaction(signal, &fallback, nullptr);
}

// Only flags and async-signal-safe calls here.
extern "C" void askToStop(int signal) {
  if (pendingSignal == 0) {
    pendingSignal = signal;
    return;
  }
  // The second signal: the user wants out now.
  endProgress();
  restoreDefault(signal);
  std::raise(signal);  // delivered as the handler returns
}

// The shortest text that reads back as the same number.
template <typename Number>
std::string shortest(Number value) {
  char text[32];
  const auto [end, error] = std::to_chars(text, text + sizeof text, value);
  (void)error;  // 32 characters hold any float or double
  return {text, end};
}

}  // namespace

std::string stopText(StopReason reason, const StopRules& rules) {
  switch (reason) {
    case StopReason::kNone:
      break;
    case StopReason::kStatsFile:
      return "the statistics file could not be written";
    case StopReason::kCheckpoint:
      return "the checkpoint could not be written";
    case StopReason::kInterrupted:
      return "interrupted";
    case StopReason::kTargetCost:
      return "target cost reached";
    case StopReason::kStall:
      return "no lower best cost in " + std::to_string(rules.stall) +
             " generations";
    case StopReason::kTimeLimit:
      return "time limit reached";
  }
  return {};
}

double monotonicSeconds() {
  return std::chrono::duration<double>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

bool lowerCost(float x, float y) {
  return std::isfinite(x) && (!std::isfinite(y) || x < y);
}

StopReason applyRules(const StopRules& rules, StopState& state, float bestCost,
                      double elapsed) {
  if (lowerCost(bestCost, state.bestCost)) {
    state.bestCost = bestCost;
    state.sinceLower = 0;
  } else if (state.sinceLower < rules.stall) {
    ++state.sinceLower;  // counted only as far as a rule looks
  }
  return ruleThatHolds(rules, state, bestCost, elapsed);
}

StopReason ruleThatHolds(const StopRules& rules, const StopState& state,
                         float bestCost, double elapsed) {
  if (rules.targetCost && std::isfinite(bestCost) &&
      bestCost <= *rules.targetCost) {
    return StopReason::kTargetCost;
  }
  if (rules.stall > 0 && state.sinceLower >= rules.stall) {
    return StopReason::kStall;
  }
  if (rules.timeLimit > 0.0 && elapsed >= rules.timeLimit) {
    return StopReason::kTimeLimit;
  }
  return StopReason::kNone;
}

void armCleanStop() {
  for (const int signal : kStopSignals) {
    struct sigaction current {};
    if (sigaction(signal, nullptr, &current) != 0 ||
        current.sa_handler == SIG_IGN) {
      continue;  // as under nohup: the user wants it ignored
    }
    struct sigaction ask {};
    ask.sa_handler = askToStop;
    // Writes in progress go on: a transcript line is never cut by EINTR.
    ask.sa_flags = SA_RESTART;
    sigemptyset(&ask.sa_mask);
    for (const int other : kStopSignals) sigaddset(&ask.sa_mask, other);
    sigaction(signal, &ask, nullptr);
  }
}

int stopSignal() { return pendingSignal; }

void endByStopSignal() {
  const int signal = pendingSignal;
  if (signal == 0) return;
  std::cout.flush();
  restoreDefault(signal);
  std::raise(signal);
}

std::string recordLine(const RunRecord& record) {
  std::string command =
      "printf '" + std::to_string(record.popSize) + ' ' +
      std::to_string(record.genSize) + ' ' + shortest(record.mutRate) + ' ' +
      shortest(record.crossRate) + ' ' + std::to_string(record.treeDepth) +
      "\\n' | function-approximator --evolve --seed " +
      std::to_string(record.seed);
  if (record.brief) command += " --brief";
  const StopRules& rules = record.rules;
  if (rules.targetCost) {
    command += " --target-cost " + shortest(*rules.targetCost);
  }
  if (rules.stall > 0) command += " --stall " + std::to_string(rules.stall);
  if (rules.timeLimit > 0.0) {
    command += " --time-limit " + shortest(rules.timeLimit);
  }
  // Selection as the run used it, where it is not what the answers give
  // by default.
  if (record.tournament == 0) {
    command += " --roulette";
  } else if (record.tournament != defaultTournament(record.popSize)) {
    command += " --tournament " + std::to_string(record.tournament);
  }
  if (record.elite != 1) command += " --elite " + std::to_string(record.elite);
  if (record.lexicase < kLexicaseChance || record.lexicase > kLexicaseChance) {
    command += " --lexicase " + shortest(record.lexicase);
  }
  return "Run: function-approximator " APPROXIMATOR_VERSION "\t---\tCommand: " +
         command;
}
