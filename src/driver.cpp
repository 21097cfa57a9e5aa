#include "driver.hpp"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <new>
#include <vector>

#include "evaluator.hpp"
#include "evolution.hpp"
#include "fitness.hpp"
#include "reader.hpp"
#include "transcript.hpp"
#include "trees.hpp"
#include "workers.hpp"

namespace {

// What malloc really takes for one block: the request plus its header,
// rounded up to 16 bytes.
double heapBlockBytes(std::size_t size) {
  return static_cast<double>((size + sizeof(void*) + 15) / 16 * 16);
}

std::string humanBytes(double bytes) {
  static const char* const units[] = {"bytes", "KiB", "MiB", "GiB",
                                      "TiB",   "PiB", "EiB"};
  std::size_t unit = 0;
  while (bytes >= 1024.0 && unit + 1 < std::size(units)) {
    bytes /= 1024.0;
    ++unit;
  }
  char text[64];
  std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes,
                units[unit]);
  return text;
}

std::uint64_t memAvailableFromProc() {
  std::ifstream meminfo("/proc/meminfo");
  std::string key;
  std::uint64_t kib = 0;
  std::string unit;
  while (meminfo >> key >> kib >> unit) {
    if (key == "MemAvailable:") return kib * 1024;
  }
  return 0;
}

// What the populations and the test values may take of the memory that is
// available: the evaluation and the program itself need the rest.
double usableBytes(std::uint64_t availableBytes) {
  return 0.9 * static_cast<double>(availableBytes);
}

void refuse(const std::string& why) {
  std::cerr << "function-approximator: " << why << std::endl;
}

// A rate the generations can use: within 0 to 1, NaN as 0, with a note when
// the answer was not.
float clampedRate(const char* name, float rate) {
  if (rate >= 0.0f && rate <= 1.0f) return rate;
  const float clamped = rate > 1.0f ? 1.0f : 0.0f;  // NaN goes to 0 as well
  char typed[32];
  char used[32];
  std::cerr << "function-approximator: note: the " << name << " rate "
            << formatFloat(rate, typed) << " is outside 0 to 1; "
            << formatFloat(clamped, used) << " is used" << std::endl;
  return clamped;
}

// A record of the population. The records live until the process ends, on
// purpose: the leak checker of a sanitizer build (whose runtime defines this
// hook) is told so, and still reports anything else left behind.
extern "C" void __lsan_ignore_object(const void* object) __attribute__((weak));

TIndividual* keptRecord() {
  auto* const record = new TIndividual{};
  if (__lsan_ignore_object != nullptr) __lsan_ignore_object(record);
  return record;
}

// How one answer of the dialogue was read.
struct Answer {
  enum Outcome {
    kWhole,       // a number up to a blank, a line end or the end of input
    kCutShort,    // a number followed by a character that no number holds
    kOutOfRange,  // beyond its type: the read saturated and failed
    kUnreadable,  // no number at all: 0, and the stream failed
    kNotRead,     // the input had ended or an earlier read had failed
  } outcome = kNotRead;
  std::string value;  // as the echo writes it
  int next = 0;       // the character a cut-short answer ends at
};

std::string shown(int value) { return std::to_string(value); }
std::string shown(float value) {
  char buffer[32];
  return std::string(formatFloat(value, buffer));
}
bool isZero(int value) { return value == 0; }
bool isZero(float value) { return std::fpclassify(value) == FP_ZERO; }

// Reads one answer of the dialogue. A failed read leaves 0 (or the largest
// value of the type, for a number too large), and the stream stays failed,
// so the later answers keep their start value 0.
template <typename T>
Answer ask(const char* prompt, T& value) {
  writeLine(prompt);
  const bool readable = std::cin.good();
  std::cin >> value;
  Answer answer;
  answer.value = shown(value);
  if (!readable) return answer;
  if (!std::cin.fail()) {
    // The read has looked at the next character already: peeking at it
    // neither waits nor consumes.
    answer.next = std::cin.eof() ? EOF : std::cin.peek();
    answer.outcome = answer.next == EOF || std::isspace(answer.next) != 0
                         ? Answer::kWhole
                         : Answer::kCutShort;
  } else if (!isZero(value)) {
    answer.outcome = Answer::kOutOfRange;
  } else if (!std::cin.eof()) {
    answer.outcome = Answer::kUnreadable;
  }
  return answer;
}

// A character of the input as a note shows it: printable ASCII as it is,
// anything else as a C escape.
std::string quotedCharacter(int ch) {
  char text[8];
  if (ch > ' ' && ch < 0x7f) {
    std::snprintf(text, sizeof text, "'%c'", ch);
  } else {
    std::snprintf(text, sizeof text, "'\\x%02x'", ch & 0xff);
  }
  return text;
}

// One note for the first answer that was not read as typed; a run whose
// answers were all whole numbers (or that ran out of input) gets none.
void noteMisreadAnswer(const Answer (&answers)[5]) {
  static const char* const names[] = {"population size",
                                      "number of generations", "mutation rate",
                                      "crossover rate", "tree depth"};
  for (std::size_t k = 0; k < std::size(answers); ++k) {
    const Answer& answer = answers[k];
    const bool last = k + 1 == std::size(answers);
    std::string note;
    switch (answer.outcome) {
      case Answer::kWhole:
      case Answer::kNotRead:
        continue;
      case Answer::kCutShort:
        note = std::string("the ") + names[k] + " was read as " + answer.value +
               ": the answer ends at " + quotedCharacter(answer.next);
        if (!last) {
          note += answers[k + 1].outcome == Answer::kUnreadable
                      ? ", and the later answers are 0"
                      : std::string(", where the ") + names[k + 1] + " begins";
        }
        break;
      case Answer::kOutOfRange:
        note = std::string("the ") + names[k] +
               " is out of range for its type and was read as " + answer.value +
               (last ? "" : "; the later answers are 0");
        break;
      case Answer::kUnreadable:
        note = std::string("the ") + names[k] + " could not be read" +
               (last ? " and is 0" : "; it and the later answers are 0");
        break;
    }
    std::cerr << "function-approximator: note: " << note << std::endl;
    return;
  }
}

// Whether atof reads the whole text as a number: blanks and a carriage
// return around it are allowed, as atof skips or stops at them.
bool isNumberText(const std::string& text) {
  const char* const begin = text.c_str();
  char* stop = nullptr;
  std::strtod(begin, &stop);
  const char* const end = stop;
  if (end == begin) return false;
  return std::all_of(end, begin + text.size(), [](char ch) {
    return std::isspace(static_cast<unsigned char>(ch)) != 0;
  });
}

// A cell as a note shows it: in quotes, control characters escaped, cut
// after 40 characters.
std::string quotedCell(const std::string& cell) {
  std::string text = "\"";
  for (std::size_t i = 0; i < cell.size() && i < 40; ++i) {
    const unsigned char ch = static_cast<unsigned char>(cell[i]);
    if (ch == '\r') {
      text += "\\r";
    } else if (ch == '\t') {
      text += "\\t";
    } else if (ch < ' ' || ch == 0x7f) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", ch);
      text += escaped;
    } else {
      if (ch == '"' || ch == '\\') text += '\\';
      text += static_cast<char>(ch);
    }
  }
  return text + (cell.size() > 40 ? "\"..." : "\"");
}

// One note for the test values of full triples that are not numbers.
void noteTextValues(const std::vector<std::string>& values, std::size_t used,
                    const std::string& fileName) {
  std::size_t count = 0;
  const std::string* first = nullptr;
  for (std::size_t k = 0; k < used; ++k) {
    if (isNumberText(values[k])) continue;
    if (first == nullptr) first = &values[k];
    ++count;
  }
  if (count == 0) return;
  std::cerr << "function-approximator: note: " << fileName << " holds " << count
            << (count == 1 ? " value that is not a number: "
                           : " values that are not numbers, the first ")
            << quotedCell(*first) << std::endl;
}

// A run that asked for more threads than it got says so.
void noteFewerThreads(const RunOptions& options, int fitting, int started) {
  if (!options.threadsAsked || started >= options.threads) return;
  std::cerr << "function-approximator: note: " << started << " of the "
            << options.threads << " threads asked for are used: "
            << (fitting < options.threads ? "the memory available holds no more"
                                          : "the system starts no more")
            << std::endl;
}

}  // namespace

double populationBytes(int popSize, int treeDepth) {
  if (popSize <= 0) return 0.0;
  const double nodes =
      treeDepth < 0 ? 1.0 : std::exp2(static_cast<double>(treeDepth) + 1) - 1;
  const double perIndividual = static_cast<double>(sizeof(TIndividual*)) +
                               heapBlockBytes(sizeof(TIndividual)) +
                               NodePool::bytesFor(nodes);
  return static_cast<double>(popSize) * perIndividual;
}

std::uint64_t availableMemoryBytes() {
  std::uint64_t available = memAvailableFromProc();
  if (available == 0) {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages > 0 && pageSize > 0) {
      available = static_cast<std::uint64_t>(pages) *
                  static_cast<std::uint64_t>(pageSize);
    }
  }
  for (const int resource : {RLIMIT_AS, RLIMIT_DATA}) {
    rlimit limit{};
    if (getrlimit(resource, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
      available = std::min<std::uint64_t>(available, limit.rlim_cur);
    }
  }
  return available;
}

std::string memoryRefusal(int popSize, int treeDepth,
                          std::uint64_t availableBytes, int populations) {
  return "cannot build a population of " + std::to_string(popSize) +
         " trees of depth " + std::to_string(treeDepth) +
         (populations > 1 ? " and the next generation beside it" : "") +
         ": it needs " +
         humanBytes(populations * populationBytes(popSize, treeDepth)) +
         " of memory and " + humanBytes(static_cast<double>(availableBytes)) +
         " is available";
}

std::string populationRefusal(int popSize, int treeDepth,
                              std::uint64_t availableBytes, int populations) {
  if (popSize <= 0) return {};
  if (treeDepth > kMaxTreeDepth) {
    return "cannot build trees of depth " + std::to_string(treeDepth) +
           ": the deepest tree whose expression fits 32-bit positions has "
           "depth " +
           std::to_string(kMaxTreeDepth);
  }
  if (populations * populationBytes(popSize, treeDepth) >
      usableBytes(availableBytes)) {
    return memoryRefusal(popSize, treeDepth, availableBytes, populations);
  }
  return {};
}

int runApproximator(const RunOptions& options) {
  // Move-assigned: GCC 12 warns falsely (-Wrestrict) on assigning a literal.
  a = std::string("4");
  b = std::string("4");
  c = std::string("7");
  const std::string fileName = "testVals.csv";
  int treeDepth = 0;
  int genSize = 0;
  int popSize = 0;
  float crossRate = 0.0f;
  float mutRate = 0.0f;

  writeLine(kSeparator);
  writeLine("Function approximator application");
  writeLine(kSeparator);
  const Answer answers[] = {ask("Give me population size", popSize),
                            ask("Give me generations", genSize),
                            ask("Give me mutation rate", mutRate),
                            ask("Give me crossover rate", crossRate),
                            ask("Give me tree depth", treeDepth)};
  writeLine(kSeparator);
  writeLine("Starting algorithm");
  writeLine("Characteristics");
  writeLine(kSeparator);
  writeLine("Generations: ", genSize);
  writeLine("Population size: ", popSize);
  writeLine("Mutation rate: ", mutRate);
  writeLine("Crossover rate: ", crossRate);

  noteMisreadAnswer(answers);
  if (popSize < 0) {
    std::cerr << "function-approximator: note: the population size " << popSize
              << " is negative; the population is empty" << std::endl;
    popSize = 0;
  }
  if (treeDepth < 0) {
    std::cerr << "function-approximator: note: the tree depth " << treeDepth
              << " is negative; every tree is a single leaf, as at depth 0"
              << std::endl;
    treeDepth = 0;
  }
  const bool evolving = options.evolve && genSize > 0;
  if (evolving) {
    mutRate = clampedRate("mutation", mutRate);
    crossRate = clampedRate("crossover", crossRate);
  }
  if (evolving && popSize == 0) {
    std::cerr << "function-approximator: note: the population is empty; "
                 "there are no generations to run"
              << std::endl;
  }
  // While generations run, a new population is built beside the old one.
  const int populations = evolving ? 2 : 1;
  // One figure for the populations and, after them, the test values.
  const std::uint64_t available = availableMemoryBytes();
  if (const std::string why =
          populationRefusal(popSize, treeDepth, available, populations);
      !why.empty()) {
    refuse(why);
    return 1;
  }

  // The records live until the process ends; the trees until their pool
  // goes, at the end of the run or when the next generation replaces them.
  std::vector<TIndividual*> population;
  auto nodes = std::make_unique<NodePool>();
  try {
    population.resize(static_cast<std::size_t>(popSize));
    for (TIndividual*& slot : population) slot = keptRecord();
    const ActivePool active(nodes.get());
    if (options.seed) std::srand(*options.seed);
    createPop(population.data(), popSize, treeDepth);
  } catch (const std::bad_alloc&) {
    refuse(
        memoryRefusal(popSize, treeDepth, availableMemoryBytes(), populations));
    return 1;
  }

  try {
    const double left = usableBytes(available) -
                        populations * populationBytes(popSize, treeDepth);
    vars = readVars(fileName, static_cast<std::uint64_t>(std::max(left, 0.0)));
  } catch (const TestValuesTooLarge& failure) {
    refuse(failure.what());
    return 1;
  }
  if (const std::size_t extra = vars.size() % 3; extra != 0) {
    std::cerr << "function-approximator: warning: " << fileName << " holds "
              << vars.size() << (vars.size() == 1 ? " value" : " values")
              << ", not a multiple of three; the last " << extra
              << (extra == 1 ? " value is" : " values are") << " ignored"
              << std::endl;
  }
  noteTextValues(vars, vars.size() / 3 * 3, fileName);

  writeLine(kSeparator);
  writeLine("Test values: ");
  for (std::size_t k = 0; k + 2 < vars.size(); k += 3) {
    writeLine("Var[", k, "] --- a(", vars[k], "),b(", vars[k + 1], "),c(",
              vars[k + 2], ")");
  }
  writeLine(kSeparator);

  // The threads start once, for the whole run: as many as the memory left
  // holds beside one thread's needs, the next generation still to come.
  const int fitting = threadsWithin(
      options.threads, treeDepth,
      std::min(usableBytes(available) -
                   populations * populationBytes(popSize, treeDepth),
               addressSpaceLeft() -
                   (populations - 1) * populationBytes(popSize, treeDepth)));
  Workers workers(fitting);
  noteFewerThreads(options, fitting, workers.count());

  if (evolving) {
    std::vector<float> costs =
        evalPopCosts(population.data(), popSize, workers);
    runGenerations(population.data(), popSize, nodes,
                   {genSize, treeDepth, mutRate, crossRate}, workers,
                   std::move(costs));
  } else {
    evalPop(population.data(), popSize, workers);
  }

  writeLine("FINISHED");
  return 0;
}
