// The dialogue: questions, answers and the notes on them.
#include "dialogue.hpp"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <iterator>
#include <string>

#include "transcript.hpp"

namespace {

void note(const std::string& text) {
  std::cerr << "function-approximator: note: " << text << std::endl;
}

// How one answer of the dialogue was read.
struct Answer {
  enum Outcome {
    kWhole,       // a number up to a blank, a line end or the end of input
    kCutShort,    // a number followed by a character that no number holds
    kOutOfRange,  // beyond its type: the read saturated and failed
    kUnreadable,  // no number at all: 0, and the stream failed
    kEnded,       // nothing but blanks was left: the input ended before it
    kNotRead,     // an earlier read had failed
  } outcome = kNotRead;
  std::string value;  // as the echo writes it
  int next = 0;       // the character a cut-short answer ends at
};

constexpr const char* kNames[] = {"population size", "number of generations",
                                  "mutation rate", "crossover rate",
                                  "tree depth"};

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
  const bool failed = std::cin.fail();
  // The blanks the read would skip: the end of input behind them is told
  // apart from text that is no number.
  if (std::cin.good()) std::cin >> std::ws;
  const bool ended = !failed && std::cin.eof();
  std::cin >> value;
  Answer answer;
  answer.value = shown(value);
  if (failed) return answer;
  if (ended) {
    answer.outcome = Answer::kEnded;
  } else if (!std::cin.fail()) {
    // The read has looked at the next character already: peeking at it
    // neither waits nor consumes.
    answer.next = std::cin.eof() ? EOF : std::cin.peek();
    answer.outcome = answer.next == EOF || std::isspace(answer.next) != 0
                         ? Answer::kWhole
                         : Answer::kCutShort;
  } else {
    answer.outcome = isZero(value) ? Answer::kUnreadable : Answer::kOutOfRange;
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
  for (std::size_t k = 0; k < std::size(answers); ++k) {
    const Answer& answer = answers[k];
    const bool last = k + 1 == std::size(answers);
    const std::string name = std::string("the ") + kNames[k];
    switch (answer.outcome) {
      case Answer::kWhole:
      case Answer::kEnded:
      case Answer::kNotRead:
        continue;
      case Answer::kCutShort:
        note(name + " was read as " + answer.value + ": the answer ends at " +
             quotedCharacter(answer.next) +
             (last ? ""
              : answers[k + 1].outcome == Answer::kUnreadable
                  ? ", and the later answers are 0"
                  : std::string(", where the ") + kNames[k + 1] + " begins"));
        return;
      case Answer::kOutOfRange:
        note(name + " is out of range for its type and was read as " +
             answer.value + (last ? "" : "; the later answers are 0"));
        return;
      case Answer::kUnreadable:
        note(name + " could not be read" +
             (last ? " and is 0" : "; it and the later answers are 0"));
        return;
    }
  }
}

// One note naming the answers the input ended before, and what they are.
void noteEndedInput(const Answer (&answers)[5]) {
  std::size_t first = 0;
  while (first < std::size(answers) &&
         answers[first].outcome != Answer::kEnded) {
    ++first;
  }
  const std::size_t last = std::size(answers) - 1;
  if (first > last) return;
  std::string names;
  for (std::size_t k = first; k <= last; ++k) {
    names += k == first ? "the " : k == last ? " and the " : ", the ";
    names += kNames[k];
  }
  note("the input ended before " + names +
       (first == last ? " was given; it was taken as "
                      : " were given; each was taken as ") +
       answers[first].value);
}

// A rate the generations can use: within 0 to 1, NaN as 0, with a note when
// the answer was not.
float clampedRate(const char* name, float rate) {
  if (rate >= 0.0f && rate <= 1.0f) return rate;
  const float clamped = rate > 1.0f ? 1.0f : 0.0f;  // NaN goes to 0 as well
  note(std::string("the ") + name + " rate " + shown(rate) +
       " is outside 0 to 1; " + shown(clamped) + " is used");
  return clamped;
}

}  // namespace

RunParameters runDialogue() {
  RunParameters run;
  writeLine(kSeparator);
  writeLine("Function approximator application");
  writeLine(kSeparator);
  const Answer answers[] = {ask("Give me population size", run.popSize),
                            ask("Give me generations", run.genSize),
                            ask("Give me mutation rate", run.mutRate),
                            ask("Give me crossover rate", run.crossRate),
                            ask("Give me tree depth", run.treeDepth)};
  writeLine(kSeparator);
  writeLine("Starting algorithm");
  writeLine("Characteristics");
  writeLine(kSeparator);
  writeLine("Generations: ", run.genSize);
  writeLine("Population size: ", run.popSize);
  writeLine("Mutation rate: ", run.mutRate);
  writeLine("Crossover rate: ", run.crossRate);
  noteMisreadAnswer(answers);
  noteEndedInput(answers);
  return run;
}

void settleParameters(RunParameters& run, bool evolving) {
  if (run.popSize < 0) {
    note("the population size " + shown(run.popSize) +
         " is negative; the population is empty");
    run.popSize = 0;
  }
  if (run.treeDepth < 0) {
    note("the tree depth " + shown(run.treeDepth) +
         " is negative; every tree is a single leaf, as at depth 0");
    run.treeDepth = 0;
  }
  if (evolving) {
    run.mutRate = clampedRate("mutation", run.mutRate);
    run.crossRate = clampedRate("crossover", run.crossRate);
    if (run.popSize == 0) {
      note("the population is empty; there are no generations to run");
    }
  } else if (run.genSize > 0) {
    note("a plain run does not run the " + shown(run.genSize) +
         (run.genSize == 1 ? " generation" : " generations") +
         " asked for; --evolve does");
  }
}
