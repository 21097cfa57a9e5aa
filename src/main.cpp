#include <getopt.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <new>
#include <stdexcept>
#include <string_view>
#include <thread>

#include "driver.hpp"
#include "progress.hpp"
#include "transcript.hpp"

namespace {

constexpr const char* kUsage =
    "Usage: function-approximator [--evolve] [--threads N]\n"
    "Grows a population of random expression trees over a, b, c and 2 and\n"
    "evaluates each on the test triples of testVals.csv, printing every\n"
    "result and running cost on standard output.\n"
    "\n"
    "Five answers are read from standard input: population size,\n"
    "generations, mutation rate, crossover rate and tree depth.\n"
    "\n"
    "Options:\n"
    "  --evolve   run the generations after the first evaluation\n"
    "  --threads N\n"
    "             compute the generations' costs on N threads, 1 to 1024\n"
    "             (default: one per core); any N gives the same output\n"
    "  --help     show this help and exit\n"
    "  --version  show the version and exit\n"
    "\n"
    "Files:\n"
    "  testVals.csv  in the working directory: comma-separated test values,\n"
    "                taken three at a time as a, b and c\n"
    "\n"
    "Exit status: 0 when the run reaches FINISHED, 1 when it cannot be\n"
    "carried out, 2 for a wrong command line.\n";

// The thread count a --threads value gives: digits only, 1 to 1024; 0 for
// any other text.
int threadCount(std::string_view text) {
  int count = 0;
  for (const char ch : text) {
    if (ch < '0' || ch > '9' || count > 1024) return 0;
    count = count * 10 + (ch - '0');
  }
  return count <= 1024 ? count : 0;
}

// Reads the command line into the run's options. Returns -1 to go on with
// the run, or the exit status to end with.
int parseCommandLine(int argc, char** argv, RunOptions& options) {
  enum { kEvolve = 1, kHelp, kVersion, kThreads };
  static const option longOptions[] = {
      {"evolve", no_argument, nullptr, kEvolve},
      {"threads", required_argument, nullptr, kThreads},
      {"help", no_argument, nullptr, kHelp},
      {"version", no_argument, nullptr, kVersion},
      {nullptr, 0, nullptr, 0}};
  opterr = 0;
  const unsigned cores = std::thread::hardware_concurrency();
  options.threads = static_cast<int>(std::clamp(cores, 1u, 1024u));
  // A leading ':' tells a missing value apart from an unknown option.
  for (int code;
       (code = getopt_long(argc, argv, ":", longOptions, nullptr)) != -1;) {
    switch (code) {
      case kEvolve:
        options.evolve = true;
        break;
      case kThreads:
        options.threads = threadCount(optarg);
        if (options.threads == 0) {
          std::cerr << "function-approximator: invalid thread count '" << optarg
                    << "': give a whole number from 1 to 1024\n"
                    << kUsage << std::flush;
          return 2;
        }
        break;
      case ':':
        std::cerr << "function-approximator: option '" << argv[optind - 1]
                  << "' needs a value\n"
                  << kUsage << std::flush;
        return 2;
      case kHelp:
        std::cout << kUsage << std::flush;
        return 0;
      case kVersion:
        std::cout << "function-approximator " APPROXIMATOR_VERSION << std::endl;
        return 0;
      default:
        std::cerr << "function-approximator: unknown option '"
                  << argv[optind - 1] << "'\n"
                  << kUsage << std::flush;
        return 2;
    }
  }
  if (optind < argc) {
    std::cerr << "function-approximator: unexpected argument '" << argv[optind]
              << "'\n"
              << kUsage << std::flush;
    return 2;
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
