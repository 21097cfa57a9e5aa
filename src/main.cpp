#include <getopt.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <new>
#include <stdexcept>
#include <string>

#include "driver.hpp"
#include "progress.hpp"
#include "run_control.hpp"
#include "transcript.hpp"
#include "workers.hpp"

namespace {

constexpr const char* kUsage =
    "Usage: function-approximator [--evolve [--brief] [--stats FILE]\n"
    "         [--target-cost X] [--stall N] [--time-limit S]\n"
    "         [--tournament K | --roulette] [--lexicase P] [--elite N]\n"
    "         [--checkpoint FILE [--checkpoint-every S]]] [--seed N]\n"
    "         [--threads N]\n"
    "       function-approximator --resume FILE [--stats FILE]\n"
    "         [--checkpoint FILE [--checkpoint-every S]] [--threads N]\n"
    "Grows a population of random expression trees over a, b, c and 2 and\n"
    "evaluates each on the test triples of testVals.csv, printing every\n"
    "result and running cost on standard output.\n"
    "\n"
    "Five answers are read from standard input: population size,\n"
    "generations, mutation rate, crossover rate and tree depth.\n"
    "\n"
    "Options:\n"
    "  --evolve       run the generations after the first evaluation\n"
    "  --brief        with --evolve: the first population summed up in one\n"
    "                 line, Generation: 0, instead of its evaluation\n"
    "  --stats FILE   with --evolve: a CSV row per generation in FILE\n"
    "  --target-cost X\n"
    "                 with --evolve: stop once the best cost is at most X\n"
    "  --stall N      with --evolve: stop after N generations in a row\n"
    "                 without a lower best cost\n"
    "  --time-limit S\n"
    "                 with --evolve: stop after the generation in which S\n"
    "                 seconds have passed since the program started\n"
    "  --checkpoint FILE\n"
    "                 with --evolve: keep the run's state in FILE, written\n"
    "                 after the first population, after the first generation\n"
    "                 S seconds after the last write, and at the end\n"
    "  --checkpoint-every S\n"
    "                 the S seconds of --checkpoint (default 60)\n"
    "  --resume FILE  continue the run kept in the checkpoint FILE, asking\n"
    "                 nothing: its answers and options are the checkpoint's\n"
    "  --seed N       seed the random generator with N (0 to 4294967295)\n"
    "                 before the first tree is grown, and the generations'\n"
    "                 streams; unseeded runs as --seed 1\n"
    "  --threads N    breed and evaluate on N threads, 1 to 1024 (default:\n"
    "                 one per CPU this process may run on); any N gives the\n"
    "                 same output\n"
    "  --tournament K draw each parent under --evolve as the best of K\n"
    "                 individuals drawn at random, 2 to 2147483647\n"
    "                 (default: 5, or the population when smaller)\n"
    "  --roulette     draw parents by rank roulette instead\n"
    "  --lexicase P   draw the first parent of each pair by lexicase\n"
    "                 selection with chance P, 0 to 1 (default 0.5)\n"
    "  --elite N      keep the N best unchanged, 0 to 2147483647 (default 1)\n"
    "  -h, --help     show this help and exit\n"
    "  -V, --version  show the version and exit\n"
    "\n"
    "Files:\n"
    "  testVals.csv  in the working directory: comma-separated test values,\n"
    "                taken three at a time as a, b and c\n"
    "\n"
    "Under --evolve, an interrupt (Ctrl-C), SIGTERM or SIGHUP stops the run\n"
    "after the generation in progress, with its best individual; a second\n"
    "one ends it at once.\n"
    "\n"
    "Exit status: 0 when the run reaches FINISHED, 1 when it cannot be\n"
    "carried out or the statistics file or a checkpoint cannot be written,\n"
    "2 for a wrong command line; a run stopped by a signal ends by that\n"
    "signal.\n";

// The status after an answer on standard output: 1, with the reason, when it
// could not be written (a full disk, a closed descriptor).
int answered() {
  if (std::cout) return 0;
  std::cerr << "function-approximator: " << OutputError(errno).what()
            << std::endl;
  return 1;
}

// An option's number: decimal digits only, from `low` to `high`.
template <typename Number>
bool parseNumber(const char* text, Number low, Number high, Number& value) {
  const char* const end = text + std::strlen(text);
  Number read = 0;
  const auto [stop, error] = std::from_chars(text, end, read);
  if (error != std::errc() || stop != end || stop == text || read < low ||
      read > high) {
    return false;
  }
  value = read;
  return true;
}

// An option's real number: the whole text as strtof or strtod reads it,
// and finite.
template <typename Number>
bool parseReal(const char* text, Number& value) {
  char* stop = nullptr;
  Number read = 0;
  if constexpr (sizeof(Number) == sizeof(float)) {
    read = std::strtof(text, &stop);
  } else {
    read = std::strtod(text, &stop);
  }
  if (stop == text || *stop != '\0' ||
      std::isspace(static_cast<unsigned char>(*text)) != 0 ||
      !std::isfinite(read)) {
    return false;
  }
  value = read;
  return true;
}

// What was wrong and where the usage is, on standard error: status 2.
int usageError(const std::string& what) {
  std::cerr << "function-approximator: " << what << '\n'
            << "Try 'function-approximator --help' for more information."
            << std::endl;
  return 2;
}

// Reads the command line into the run's options. Returns -1 to go on with
// the run, or the exit status to end with.
int parseCommandLine(int argc, char** argv, RunOptions& options) {
  enum {
    kEvolve = 1,
    kSeed,
    kThreads,
    kResume,
    // From here to the end, only an evolving run takes an option.
    kStats,
    kCheckpoint,
    kCheckpointEvery,
    // From here to the end, and --seed, an option changes the run: a
    // resumed run has it from its checkpoint.
    kBrief,
    kTargetCost,
    kStall,
    kTimeLimit,
    kTournament,
    kRoulette,
    kLexicase,
    kElite,
    kHelp = 'h',
    kVersion = 'V'
  };
  // A leading ':' tells a missing value apart from an unknown option.
  static const char shortOptions[] = ":hV";
  static const option longOptions[] = {
      {"evolve", no_argument, nullptr, kEvolve},
      {"seed", required_argument, nullptr, kSeed},
      {"threads", required_argument, nullptr, kThreads},
      {"brief", no_argument, nullptr, kBrief},
      {"stats", required_argument, nullptr, kStats},
      {"target-cost", required_argument, nullptr, kTargetCost},
      {"stall", required_argument, nullptr, kStall},
      {"time-limit", required_argument, nullptr, kTimeLimit},
      {"checkpoint", required_argument, nullptr, kCheckpoint},
      {"checkpoint-every", required_argument, nullptr, kCheckpointEvery},
      {"resume", required_argument, nullptr, kResume},
      {"tournament", required_argument, nullptr, kTournament},
      {"roulette", no_argument, nullptr, kRoulette},
      {"lexicase", required_argument, nullptr, kLexicase},
      {"elite", required_argument, nullptr, kElite},
      {"help", no_argument, nullptr, kHelp},
      {"version", no_argument, nullptr, kVersion},
      {nullptr, 0, nullptr, 0}};
  opterr = 0;
  options.threads = std::clamp(usableCpus(), 1, 1024);
  // The first option given that only an evolving run takes, and the first
  // that changes the run.
  std::string needsEvolve, changesRun;
  bool every = false;
  for (int code, index = -1; (code = getopt_long(argc, argv, shortOptions,
                                                 longOptions, &index)) != -1;
       index = -1) {
    if (code >= kStats && code <= kElite && needsEvolve.empty()) {
      needsEvolve = std::string("--") + longOptions[index].name;
    }
    if ((code == kSeed || (code >= kBrief && code <= kElite)) &&
        changesRun.empty()) {
      changesRun = std::string("--") + longOptions[index].name;
    }
    switch (code) {
      case kEvolve:
        options.evolve = true;
        break;
      case kSeed: {
        std::uint32_t seed = 0;
        if (!parseNumber(optarg, 0u, 4294967295u, seed)) {
          return usageError(std::string("invalid seed '") + optarg +
                            "': a number from 0 to 4294967295 is wanted");
        }
        options.seed = seed;
        break;
      }
      case kThreads:
        if (!parseNumber(optarg, 1, 1024, options.threads)) {
          return usageError(std::string("invalid thread count '") + optarg +
                            "': a number from 1 to 1024 is wanted");
        }
        options.threadsAsked = true;
        break;
      case kBrief:
        options.brief = true;
        break;
      case kStats:
        options.statsFile = optarg;
        break;
      case kTargetCost: {
        float target = 0.0f;
        if (!parseReal(optarg, target)) {
          return usageError(std::string("invalid target cost '") + optarg +
                            "': a finite number is wanted");
        }
        options.rules.targetCost = target;
        break;
      }
      case kStall:
        if (!parseNumber(optarg, 1, INT_MAX, options.rules.stall)) {
          return usageError(std::string("invalid stall '") + optarg +
                            "': a number of generations from 1 to " +
                            std::to_string(INT_MAX) + " is wanted");
        }
        break;
      case kTimeLimit:
        if (!parseReal(optarg, options.rules.timeLimit) ||
            !(options.rules.timeLimit > 0.0)) {
          return usageError(std::string("invalid time limit '") + optarg +
                            "': a positive number of seconds is wanted");
        }
        break;
      case kCheckpoint:
      case kResume:
        if (*optarg == '\0') {
          return usageError(std::string("option '--") +
                            longOptions[index].name + "' needs a file name");
        }
        (code == kResume ? options.resumeFile : options.checkpointFile) =
            optarg;
        break;
      case kCheckpointEvery:
        every = true;
        if (!parseReal(optarg, options.checkpointEvery) ||
            !(options.checkpointEvery > 0.0)) {
          return usageError(std::string("invalid checkpoint interval '") +
                            optarg +
                            "': a positive number of seconds is wanted");
        }
        break;
      case kTournament:
        if (int size = 0; parseNumber(optarg, 2, INT_MAX, size)) {
          options.tournament = size;
        } else {
          return usageError(std::string("invalid tournament size '") + optarg +
                            "': a number from 2 to 2147483647 is wanted");
        }
        break;
      case kRoulette:
        options.tournament = 0;
        break;
      case kLexicase:
        if (!parseReal(optarg, options.lexicase) || options.lexicase < 0.0f ||
            options.lexicase > 1.0f) {
          return usageError(std::string("invalid lexicase chance '") + optarg +
                            "': a number from 0 to 1 is wanted");
        }
        options.lexicase += 0.0f;  // -0 is written as 0
        break;
      case kElite:
        if (!parseNumber(optarg, 0, INT_MAX, options.elite)) {
          return usageError(std::string("invalid elite '") + optarg +
                            "': a number from 0 to 2147483647 is wanted");
        }
        break;
      case ':':
        return usageError(std::string("option '") + argv[optind - 1] +
                          "' needs a value");
      case kHelp:
        std::cout << kUsage << std::flush;
        return answered();
      case kVersion:
        std::cout << "function-approximator " APPROXIMATOR_VERSION << std::endl;
        return answered();
      default: {
        // An unknown letter may stand inside a cluster (-xV), where optind
        // has not moved on: it is named on its own. Long options have codes
        // below ' ' (0 for an unknown one).
        const bool letter = optopt < 0 || optopt > ' ';
        return usageError("unknown option '" +
                          (letter ? std::string{'-', static_cast<char>(optopt)}
                                  : std::string(argv[optind - 1])) +
                          "'");
      }
    }
  }
  if (optind < argc) {
    return usageError(std::string("unexpected argument '") + argv[optind] +
                      "'");
  }
  if (!options.resumeFile.empty()) {
    if (!changesRun.empty()) {
      return usageError("option '" + changesRun +
                        "' cannot be given with --resume: the run has it "
                        "from its checkpoint");
    }
    options.evolve = true;
  }
  if (!options.evolve && !needsEvolve.empty()) {
    return usageError("option '" + needsEvolve + "' needs --evolve");
  }
  if (every && options.checkpointFile.empty()) {
    return usageError("option '--checkpoint-every' needs --checkpoint");
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  RunOptions options;
  if (const int status = parseCommandLine(argc, argv, options); status >= 0) {
    return status;
  }
  // The status line goes before the program ends or says why it failed.
  try {
    const int status = runApproximator(options);
    endProgress();
    endByStopSignal();  // a run stopped by a signal ends by it
    return status;
  } catch (const OutputError& failure) {
    endProgress();
    if (failure.error() == EPIPE) {
      // The reader went away (as with | head): end quietly, as a Unix
      // tool does on a broken pipe.
      std::signal(SIGPIPE, SIG_DFL);
      std::raise(SIGPIPE);
      return 141;
    }
    std::cerr << "function-approximator: " << failure.what() << std::endl;
  } catch (const std::bad_alloc&) {
    endProgress();
    std::cerr << "function-approximator: out of memory" << std::endl;
  } catch (const std::length_error& failure) {
    endProgress();
    std::cerr << "function-approximator: " << failure.what() << std::endl;
  }
  return 1;
}
