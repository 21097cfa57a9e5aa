// Reading a transcript of function-approximator back, and reporting on the
// final costs of its individuals: as text, and as an SVG histogram.
#pragma once

#include <cstddef>
#include <iosfwd>
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

// Bytes of an expression kept for the ranking: more than a report line
// can show.
inline constexpr std::size_t kKeptExpression = 100;

struct Ranked {
  std::size_t index = 0;       // the individual's number in the transcript
  double cost = 0.0;           // its last "Cost1: " value
  std::string expression;      // at most kKeptExpression bytes of it
  bool expressionCut = false;  // the expression is longer than kept
};

struct Transcript {
  Ending ending = Ending::kNotTranscript;
  std::string problem;          // what did not fit, for the last two endings
  std::size_t problemLine = 0;  // its line number, counted from 1

  // The characteristics echoed by the run; empty when it ended before them.
  std::string generations;
  std::string populationSize;
  std::string mutationRate;
  std::string crossoverRate;

  bool testFileMissing = false;
  std::size_t triples = 0;
  std::size_t individuals = 0;  // those whose evaluation was read to its end

  // An individual whose evaluation the input ended within: not counted.
  std::optional<std::size_t> partialIndividual;
  std::size_t partialTriples = 0;

  std::size_t finite = 0;
  std::size_t inf = 0;
  std::size_t negInf = 0;
  std::size_t nan = 0;     // "-nan" too
  std::size_t noCost = 0;  // the run had no triples to cost them on

  std::vector<double> finiteCosts;  // in transcript order
  // Ascending by final cost: -inf, the finite costs, inf, then nan; equal
  // costs keep transcript order. At most as many as asked for.
  std::vector<Ranked> best;
};

// Reads a transcript line by line, keeping only what the report needs, and
// ranks the `top` best individuals. Never throws on bad input: the ending
// and the problem say what was wrong.
Transcript readTranscript(std::istream& in, std::size_t top);

// The median and the extremes of the finite final costs.
struct Spread {
  double median = 0.0;
  double min = 0.0;
  double max = 0.0;
};
std::optional<Spread> spreadOf(std::vector<double> costs);

// The text report; no line is wider than 100 columns.
void writeReport(std::ostream& out, const Transcript& transcript);

enum class Scale { kLinear, kSymLog };

struct Histogram {
  Scale scale = Scale::kLinear;
  double lo = 0.0;  // the axis runs from lo to hi, in cost units
  double hi = 0.0;
  double threshold = 0.0;     // kSymLog: magnitudes below it are near linear
  std::vector<double> edges;  // bins + 1 edges, in cost units
  std::vector<std::size_t> counts;  // costs per bin
};

// Bins the finite costs: about sqrt(n) bins of equal width on the axis, on
// a symmetric log axis when the magnitudes span more than three decades.
Histogram makeHistogram(const std::vector<double>& finiteCosts);

// A self-contained SVG picture of the histogram; `source` names the
// transcript in the subtitle. One <rect class="bar"> per non-empty bin.
void writeSvg(std::ostream& out, const Histogram& histogram,
              std::string_view source);

// Text made safe to put into XML character data or an attribute value.
std::string xmlEscape(std::string_view text);

struct Options {
  std::size_t top = 10;
  std::optional<std::string> svgFile;
  std::string input = "-";  // "-" is standard input
  bool help = false;
};

// The command line without the program name. Returns the options, or the
// reason they are not usable in `error`.
std::optional<Options> parseOptions(const std::vector<std::string>& args,
                                    std::string& error);

std::string_view usage();

}  // namespace report
