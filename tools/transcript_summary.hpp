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
  // The lowest cost any expression can reach on the listed triples, when
  // every one has a > 0; otherwise why there is none.
  std::optional<double> lowest;
  std::string noLowest;

  // The run line (from version 1.1.0): the program and its version, the
  // command that reruns the run, and the seed in it.
  std::string program, command, seed = "-";

  // The final costs of the first population; none when the run had no
  // triples to cost them on, or wrote no evaluation of it (--brief).
  std::size_t finite = 0, inf = 0, negInf = 0, nan = 0;  // "-nan" is nan
  std::vector<double> finiteCosts;                       // in transcript order

  // An evolution: generation lines follow the first population. A brief
  // transcript writes generation 0 in place of its evaluation.
  bool evolution = false, brief = false;
  std::vector<double> bestCosts, medianCosts;  // by generation, from 1 or 0
  std::string stopped;  // the reason a stopping rule gave; empty for none

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

// The last generation's best cost, or the first population's best for a run
// without generations; none without costs.
std::optional<double> lastBestOf(const Summary& s);

// How far a cost lies above the lowest; 0 within the six digits that a
// transcript writes of it.
double gapOf(double cost, double lowest);

// The quantile p of the values by linear interpolation between the nearest
// ranks: p = 0.5 is the median (halfway between the middle two).
double quantile(std::vector<double> values, double p);

// A number as the report and the pictures show it: "%g", six digits.
std::string formatNumber(double value);

}  // namespace report
