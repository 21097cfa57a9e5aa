// libFuzzer target for the whole run, in process.
//
// The input is cut at its first 0xFF byte: the bytes before it are the text
// on standard input (the five answers), the bytes after it the content of
// testVals.csv; without 0xFF there is no testVals.csv. Each run starts from
// srand(1), glibc's unseeded state, and must return 0 with a transcript that
// ends with "FINISHED". Runs of more than 8 trees or deeper than 5, and
// inputs over 100 bytes whose test values hold a letter b or c (each can
// stand for a whole value), only repeat the same code more slowly and are
// skipped.
//
// The target works in a scratch directory of its own, removed at exit (give
// libFuzzer absolute paths). A run leaves its records to the end of the
// process, so leak detection is off while one runs.
#include <sanitizer/lsan_interface.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "driver.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  static char scratch[] = "/tmp/fuzz_run.XXXXXX";
  static const bool ready =
      mkdtemp(scratch) != nullptr && chdir(scratch) == 0 &&
      std::atexit([] { std::filesystem::remove_all(scratch); }) == 0;
  static std::stringbuf answers, out;  // standard input, the transcript
  if (!ready) std::abort();
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::size_t cut = input.find('\xff');
  // Answers that begin with "e" are those of a run with --evolve.
  const bool evolve = input.starts_with('e');
  const std::string typed = input.substr(evolve, cut - evolve);
  // Read exactly as the run reads them: with the same types, "025.0"
  // ends a whole number where a float would read on.
  int popSize = 0, genSize = 0, treeDepth = 0;
  float rate = 0;
  std::istringstream(typed) >> popSize >> genSize >> rate >> rate >> treeDepth;
  if (popSize > 8 || treeDepth > 5 || (evolve && genSize > 20) ||
      (size > 100 && input.find_first_of("bc", cut) != std::string::npos))
    return -1;
  unlink("testVals.csv");
  if (cut < size) std::ofstream("testVals.csv") << input.substr(cut + 1);
  answers.str(typed);
  std::cin.rdbuf(&answers);  // (which clears the stream's state)
  out.str("");
  std::cout.rdbuf(&out);
  std::cerr.rdbuf(nullptr);  // the warnings go nowhere
  std::srand(1);
  __lsan_disable();
  const int status = runApproximator({.evolve = evolve});
  __lsan_enable();
  if (status != 0 || !out.str().ends_with("FINISHED\n")) __builtin_trap();
  return 0;
}
