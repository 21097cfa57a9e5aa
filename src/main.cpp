#include <getopt.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>

#include "driver.hpp"
#include "progress.hpp"
#include "transcript.hpp"

namespace {

constexpr const char* kUsage =
    "Usage: function-approximator [--evolve] [--seed N] [--threads N]\n"
    "                             [--tournament K | --roulette] [--elite N]\n"
    "Grows a population of random expression trees over a, b, c and 2 and\n"
    "evaluates each on the test triples of testVals.csv, printing every\n"
    "result and running cost on standard output.\n"
    "\n"
    "Five answers are read from standard input: population size,\n"
    "generations, mutation rate, crossover rate and tree depth.\n"
    "\n"
    "Options:\n"
    "  --evolve       run the generations after the first evaluation\n"
    "  --seed N       seed the random generator with N (0 to 4294967295)\n"
    "                 before the first tree is grown, and the generations'\n"
    "                 streams; unseeded runs as --seed 1\n"
    "  --threads N    breed and evaluate the generations on N threads,\n"
    "                 1 to 1024 (default: one per core); any N gives the\n"
    "                 same output\n"
    "  --tournament K draw each parent under --evolve as the best of K\n"
    "                 individuals drawn at random, 2 to 2147483647\n"
    "                 (default: 5, or the population when smaller)\n"
    "  --roulette     draw parents by rank roulette instead\n"
    "  --elite N      keep the N best unchanged, 0 to 2147483647 (default 1)\n"
    "  -h, --help     show this help and exit\n"
    "  -V, --version  show the version and exit\n"
    "\n"
    "Files:\n"
    "  testVals.csv  in the working directory: comma-separated test values,\n"
    "                taken three at a time as a, b and c\n"
    "\n"
    "Exit status: 0 when the run reaches FINISHED, 1 when it cannot be\n"
    "carried out, 2 for a wrong command line.\n";

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
    kTournament,
    kRoulette,
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
      {"tournament", required_argument, nullptr, kTournament},
      {"roulette", no_argument, nullptr, kRoulette},
      {"elite", required_argument, nullptr, kElite},
      {"help", no_argument, nullptr, kHelp},
      {"version", no_argument, nullptr, kVersion},
      {nullptr, 0, nullptr, 0}};
  opterr = 0;
  const unsigned cores = std::thread::hardware_concurrency();
  options.threads = static_cast<int>(std::clamp(cores, 1u, 1024u));
  std::string selection;  // the first option that needs --evolve
  for (int code; (code = getopt_long(argc, argv, shortOptions, longOptions,
                                     nullptr)) != -1;) {
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
        break;
      case kTournament:
        if (int size = 0; parseNumber(optarg, 2, INT_MAX, size)) {
          options.tournament = size;
        } else {
          return usageError(std::string("invalid tournament size '") + optarg +
                            "': a number from 2 to 2147483647 is wanted");
        }
        if (selection.empty()) selection = "--tournament";
        break;
      case kRoulette:
        options.tournament = 0;
        if (selection.empty()) selection = "--roulette";
        break;
      case kElite:
        if (!parseNumber(optarg, 0, INT_MAX, options.elite)) {
          return usageError(std::string("invalid elite '") + optarg +
                            "': a number from 0 to 2147483647 is wanted");
        }
        if (selection.empty()) selection = "--elite";
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
  if (!selection.empty() && !options.evolve) {
    return usageError("option '" + selection + "' needs --evolve");
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
