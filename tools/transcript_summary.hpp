// Reading a transcript of function-approximator into the summary that the
// report and its pictures are made from.
#pragma once

#include <cstddef>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace report {

// How the reading of a transcript ended.
enum class Ending {
  kFinished,       // "FINISHED" was read: the whole run is there
  kCutShort,       // the input ended before "FINISHED"
  kDamaged,        // a line after the banner does not fit the transcript
  kNotTranscript,  // the input does not open with the program's banner
};

struct Ranked {
  std::size_t index = 0;  // the individual's number in the transcript
  double cost = 0.0;      // its last "Cost1: " value
  // Its first 100 bytes: more than a report line has room for, so that a
  // longer one is always shown cut.
  std::string expression;
};

// Finite costs ascending, then every non-finite cost (inf, -inf, nan); equal
// costs, and the non-finite ones among themselves, keep transcript order.
// The evolution stage ranks its populations by the same rule.
bool ranksBefore(const Ranked& x, const Ranked& y);

struct Summary {
  Ending ending = Ending::kNotTranscript;
  std::string problem;          // what did not fit a damaged transcript
  std::size_t problemLine = 0;  // its line number, counted from 1

  // The characteristics echoed by the run; "?" when it ended before them.
  std::string generations = "?", populationSize = "?", mutationRate = "?",
              crossoverRate = "?";
  bool testFileMissing = false;
  // Individuals of the first population are counted once read to their
  // separator.
  std::size_t triples = 0, individuals = 0;

  // The final costs of the first population; none when the run had no
  // triples to cost them on.
  std::size_t finite = 0, inf = 0, negInf = 0, nan = 0;  // "-nan" is nan
  std::vector<double> finiteCosts;                       // in transcript order

  // An evolution: generation lines follow the first population.
  bool evolution = false;
  std::vector<double> bestCosts, medianCosts;  // by generation, from 1

  // At most `top`, by ranksBefore: of the first population, or for an
  // evolution the final population's best from the run's closing block.
  std::vector<Ranked> best;
  // The first population's best final cost by ranksBefore, whatever `top`.
  std::optional<double> populationBest;
};

// A summary with the name of the transcript it was read from.
struct NamedSummary {
  std::string source;
  Summary summary;
};

// Reads a transcript line by line up to "FINISHED", keeping only what the
// report needs.
// Never throws on bad input: the ending and the problem say what was wrong.
Summary readTranscript(std::istream& in, std::size_t top);

// A number as the report and the pictures show it: "%g", six digits.
std::string formatNumber(double value);

// Text from the input as printable ASCII without the markup characters '&',
// '<' and '>', safe in a terminal and in XML: every other byte becomes '?'.
std::string printable(std::string_view text);

// A transcript's name made printable and cut to `room` characters: "..."
// and its end, where the names of a set of runs differ.
std::string shortName(std::string_view name, std::size_t room);

}  // namespace report
