#include "report.hpp"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <istream>
#include <iterator>
#include <limits>
#include <ostream>
#include <streambuf>
#include <utility>

namespace report {
namespace {

using namespace std::string_view_literals;

constexpr std::string_view kSeparator =
    "************************************************";
constexpr std::string_view kBanner = "Function approximator application";
constexpr std::string_view kFinished = "FINISHED";
// The program's standard error, should a run have been saved with 2>&1: its
// lines interleave with the transcript's whole lines and carry no data.
constexpr std::string_view kDiagnostic = "function-approximator: ";

// The longest part of a line held in memory. Every line the report reads a
// value from is far shorter; expressions and "Parsed: " texts, which can run
// to megabytes, are only ever looked at for their first bytes.
constexpr std::size_t kKeptLine = 1024;

struct Line {
  std::string head;        // the first kKeptLine bytes
  std::size_t length = 0;  // of the whole line, without its newline
  char last = 0;           // the line's last two bytes, kept or not
  char beforeLast = 0;
  bool complete = false;  // it ended with a newline

  bool whole() const { return head.size() == length; }
  bool is(std::string_view text) const { return whole() && head == text; }
  bool startsWith(std::string_view prefix) const {
    return head.starts_with(prefix);
  }
  std::string_view after(std::string_view prefix) const {
    return std::string_view(head).substr(prefix.size());
  }
};

// Reads in large blocks and splits at '\n' itself: far faster than getline
// on transcripts of tens of megabytes, and a line of any length costs no
// more memory than its head.
class LineReader {
 public:
  explicit LineReader(std::istream& in) : in_(in.rdbuf()), block_(1 << 16) {}

  bool next(Line& line) {
    line.head.clear();
    line.length = 0;
    line.last = line.beforeLast = 0;
    line.complete = false;
    bool any = false;
    for (;;) {
      if (at_ == end_ && !refill()) return any;
      any = true;
      const char* begin = block_.data() + at_;
      const std::size_t available = end_ - at_;
      const void* newline = std::memchr(begin, '\n', available);
      const std::size_t size =
          newline != nullptr ? static_cast<std::size_t>(
                                   static_cast<const char*>(newline) - begin)
                             : available;
      append(line, begin, size);
      at_ += size;
      if (newline != nullptr) {
        ++at_;
        line.complete = true;
        return true;
      }
    }
  }

 private:
  bool refill() {
    if (in_ == nullptr) return false;
    const std::streamsize got =
        in_->sgetn(block_.data(), static_cast<std::streamsize>(block_.size()));
    if (got <= 0) {
      in_ = nullptr;
      return false;
    }
    at_ = 0;
    end_ = static_cast<std::size_t>(got);
    return true;
  }

  static void append(Line& line, const char* bytes, std::size_t size) {
    if (size == 0) return;
    if (line.head.size() < kKeptLine) {
      line.head.append(bytes, std::min(size, kKeptLine - line.head.size()));
    }
    line.beforeLast = size >= 2 ? bytes[size - 2] : line.last;
    line.last = bytes[size - 1];
    line.length += size;
  }

  std::streambuf* in_;
  std::vector<char> block_;
  std::size_t at_ = 0;
  std::size_t end_ = 0;
};

void dropCarriageReturn(Line& line) {
  if (line.length == 0 || line.last != '\r') return;
  --line.length;
  if (line.head.size() > line.length) line.head.pop_back();
  line.last = line.beforeLast;
  line.beforeLast = 0;
}

// A number as the program's ostream prints a float ("0.06", "-1e+06",
// "inf", "-nan"), read in full.
std::optional<double> parseNumber(std::string_view text) {
  char buffer[64];
  if (text.empty() || text.size() >= sizeof buffer || text.front() == ' ' ||
      text.front() == '\t') {
    return std::nullopt;
  }
  std::copy(text.begin(), text.end(), buffer);
  buffer[text.size()] = '\0';
  char* end = nullptr;
  const double value = std::strtod(buffer, &end);
  if (end != buffer + text.size()) return std::nullopt;
  return value;
}

template <typename Integer>
std::optional<Integer> parseInteger(std::string_view text) {
  Integer value{};
  const auto [end, error] =
      std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) {
    return std::nullopt;
  }
  return value;
}

// -inf, the finite costs, inf, then nan, which orders against nothing.
int costClass(double cost) {
  if (std::isnan(cost)) return 3;
  if (std::isinf(cost)) return cost < 0 ? 0 : 2;
  return 1;
}

bool ranksBefore(const Ranked& x, const Ranked& y) {
  const int classX = costClass(x.cost);
  const int classY = costClass(y.cost);
  if (classX != classY) return classX < classY;
  if (classX == 1) {
    if (x.cost < y.cost) return true;
    if (y.cost < x.cost) return false;
  }
  return x.index < y.index;
}

class Parser {
 public:
  Parser(std::istream& in, std::size_t top) : reader_(in), top_(top) {}

  Transcript run() {
    readAll();
    std::sort(t_.best.begin(), t_.best.end(), ranksBefore);
    if (t_.best.size() > top_) t_.best.resize(top_);
    return std::move(t_);
  }

 private:
  // The next line the program wrote to standard output; false at the end.
  bool advance() {
    while (reader_.next(line_)) {
      ++number_;
      if (crlf_) dropCarriageReturn(line_);
      if (!line_.complete) {
        // The input stops within this line, which may be cut anywhere:
        // only the run's last word is unmistakable without its newline.
        cutLine_ = true;
        return line_.is(kFinished);
      }
      if (line_.startsWith(kDiagnostic)) continue;
      return true;
    }
    return false;
  }

  bool notTranscript() {
    t_.ending = Ending::kNotTranscript;
    t_.problem = "it does not start with the banner of function-approximator";
    t_.problemLine = number_;
    return false;
  }

  bool damaged(std::string problem) {
    t_.ending = Ending::kDamaged;
    t_.problem = std::move(problem);
    t_.problemLine = number_;
    return false;
  }

  bool cutShort() {
    t_.ending = Ending::kCutShort;
    return false;
  }

  bool cutWithin(std::size_t index, std::size_t triples) {
    t_.partialIndividual = index;
    t_.partialTriples = triples;
    return cutShort();
  }

  bool expect(std::string_view text) {
    if (!advance()) return cutShort();
    if (!line_.is(text))
      return damaged("expected \"" + std::string(text) + '"');
    return true;
  }

  bool expectValue(std::string_view prefix, bool integer, std::string& value) {
    if (!advance()) return cutShort();
    const bool fits =
        line_.whole() && line_.startsWith(prefix) &&
        (integer ? parseInteger<long long>(line_.after(prefix)).has_value()
                 : parseNumber(line_.after(prefix)).has_value());
    if (!fits) {
      return damaged("expected \"" + std::string(prefix) + "\" and a number");
    }
    value = line_.after(prefix);
    return true;
  }

  std::optional<double> numberAfter(std::string_view prefix) const {
    if (!line_.whole() || !line_.startsWith(prefix)) return std::nullopt;
    return parseNumber(line_.after(prefix));
  }

  bool readAll() {
    if (!advance()) return notTranscript();
    if (line_.is(std::string(kSeparator) + '\r')) {
      // Saved with Windows line ends: every line carries one more '\r'.
      crlf_ = true;
      dropCarriageReturn(line_);
    }
    if (!line_.is(kSeparator) || !advance() || !line_.is(kBanner)) {
      return notTranscript();
    }
    for (const std::string_view text :
         {kSeparator, "Give me population size"sv, "Give me generations"sv,
          "Give me mutation rate"sv, "Give me crossover rate"sv,
          "Give me tree depth"sv, kSeparator, "Starting algorithm"sv,
          "Characteristics"sv, kSeparator}) {
      if (!expect(text)) return false;
    }
    if (!expectValue("Generations: ", true, t_.generations) ||
        !expectValue("Population size: ", true, t_.populationSize) ||
        !expectValue("Mutation rate: ", false, t_.mutationRate) ||
        !expectValue("Crossover rate: ", false, t_.crossoverRate)) {
      return false;
    }
    if (!advance()) return cutShort();
    if (line_.startsWith("Unable to open file: ")) {
      t_.testFileMissing = true;
      if (!advance()) return cutShort();
    }
    if (!line_.is(kSeparator)) return damaged("expected the separator");
    if (!expect("Test values: ")) return false;
    for (;;) {
      if (!advance()) return cutShort();
      if (line_.is(kSeparator)) break;
      // The value texts are arbitrary, ")" and "," included: only the
      // frame of the line can be checked.
      const std::string prefix =
          "Var[" + std::to_string(3 * t_.triples) + "] --- a(";
      if (!line_.startsWith(prefix) || line_.length <= prefix.size() ||
          line_.last != ')') {
        return damaged("expected \"" + prefix + "...)\" or the separator");
      }
      ++t_.triples;
    }
    return readIndividuals();
  }

  bool readIndividuals() {
    for (;;) {
      if (!advance()) return cutShort();
      if (line_.is(kFinished)) return readEnd();
      const std::size_t index = t_.individuals;
      if (!readExpression(index)) {
        return damaged("expected the expression of individual " +
                       std::to_string(index) + " or \"FINISHED\"");
      }
      double cost = 0.0;
      for (std::size_t k = 0; k < t_.triples; ++k) {
        const auto where = [&] {
          return " of individual " + std::to_string(index) + ", triple " +
                 std::to_string(k);
        };
        if (!advance()) return cutWithin(index, k);
        if (!line_.startsWith("Parsed: ")) {
          return damaged("expected \"Parsed: \"" + where());
        }
        if (!advance()) return cutWithin(index, k);
        if (!numberAfter("Result (floating point): ")) {
          return damaged("expected \"Result (floating point): \"" + where());
        }
        if (!advance()) return cutWithin(index, k);
        const std::optional<double> running = numberAfter("Cost1: ");
        if (!running) return damaged("expected \"Cost1: \"" + where());
        cost = *running;
      }
      if (!advance()) return cutWithin(index, t_.triples);
      if (!line_.is(kSeparator)) {
        return damaged("expected the separator after individual " +
                       std::to_string(index));
      }
      record(index, cost);
    }
  }

  bool readExpression(std::size_t index) {
    constexpr std::string_view prefix = "Expression: ";
    constexpr std::string_view between = "\t---\t";
    if (!line_.startsWith(prefix)) return false;
    std::string_view rest = line_.after(prefix);
    const std::size_t tab = rest.find('\t');
    if (tab == std::string_view::npos) return false;
    const auto number = parseInteger<std::size_t>(rest.substr(0, tab));
    rest.remove_prefix(tab);
    if (!number || *number != index || !rest.starts_with(between)) return false;
    rest.remove_prefix(between.size());
    expression_.assign(rest.substr(0, kKeptExpression));
    expressionCut_ = !line_.whole() || rest.size() > kKeptExpression;
    return true;
  }

  bool readEnd() {
    // Blank lines after the end are harmless; anything else is not this run.
    while (advance()) {
      if (line_.length != 0) return damaged("text after \"FINISHED\"");
    }
    if (cutLine_ && line_.length != 0) {
      return damaged("text after \"FINISHED\"");
    }
    t_.ending = Ending::kFinished;
    return true;
  }

  void record(std::size_t index, double cost) {
    ++t_.individuals;
    if (t_.triples == 0) {
      ++t_.noCost;
      return;
    }
    switch (costClass(cost)) {
      case 0:
        ++t_.negInf;
        break;
      case 1:
        ++t_.finite;
        t_.finiteCosts.push_back(cost);
        break;
      case 2:
        ++t_.inf;
        break;
      default:
        ++t_.nan;
    }
    offer(index, cost);
  }

  // Keeps the best `top` seen so far without holding every expression:
  // candidates pile up to twice the need, then the worse half goes.
  void offer(std::size_t index, double cost) {
    if (top_ == 0) return;
    Ranked candidate{index, cost, {}, false};
    if (bar_ && !ranksBefore(candidate, *bar_)) return;
    candidate.expression = expression_;
    candidate.expressionCut = expressionCut_;
    t_.best.push_back(std::move(candidate));
    const std::size_t limit =
        top_ > std::numeric_limits<std::size_t>::max() / 2 ? top_ : 2 * top_;
    if (t_.best.size() > limit) {
      const auto nth = t_.best.begin() + static_cast<std::ptrdiff_t>(top_ - 1);
      std::nth_element(t_.best.begin(), nth, t_.best.end(), ranksBefore);
      t_.best.resize(top_);
      bar_ = Ranked{t_.best.back().index, t_.best.back().cost, {}, false};
    }
  }

  LineReader reader_;
  std::size_t top_;
  Transcript t_;
  Line line_;
  std::size_t number_ = 0;
  bool crlf_ = false;
  bool cutLine_ = false;
  std::string expression_;
  bool expressionCut_ = false;
  std::optional<Ranked> bar_;  // the worst of the best kept at the last cut
};

std::string formatNumber(double value, int precision = 6) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*g", precision, value);
  return text;
}

// Report lines must not carry terminal controls or break the columns.
std::string printable(std::string_view text) {
  std::string out(text);
  for (char& ch : out) {
    if (ch < 0x20 || ch > 0x7e) ch = '?';
  }
  return out;
}

void row(std::ostream& out, std::string_view label, const std::string& value) {
  out << "  " << label << std::string(17 - label.size(), ' ') << value << '\n';
}

std::string padLeft(const std::string& text, std::size_t width) {
  return text.size() >= width ? text
                              : std::string(width - text.size(), ' ') + text;
}

void writeRanking(std::ostream& out, const Transcript& t) {
  const std::size_t ranked = t.individuals - t.noCost;
  out << "\nBest individuals by final cost (lower is better)\n";
  if (ranked == 0) {
    out << (t.individuals != 0 ? "  none: no individual has a final cost "
                                 "(the run had no test triples)\n"
            : t.ending == Ending::kFinished
                ? "  none: the population is empty\n"
                : "  none: no individual was read in full\n");
    return;
  }
  if (t.best.empty()) {
    out << "  none asked for\n";
    return;
  }
  std::size_t rankWidth = 4;
  std::size_t indexWidth = 5;
  std::size_t costWidth = 4;
  for (const Ranked& r : t.best) {
    indexWidth = std::max(indexWidth, std::to_string(r.index).size());
    costWidth = std::max(costWidth, formatNumber(r.cost).size());
  }
  rankWidth = std::max(rankWidth, std::to_string(t.best.size()).size());
  constexpr std::size_t kColumns = 100;
  const std::size_t used = 2 + rankWidth + 2 + indexWidth + 2 + costWidth + 2;
  const std::size_t room = kColumns > used + 3 ? kColumns - used : 3;
  out << "  " << padLeft("rank", rankWidth) << "  "
      << padLeft("index", indexWidth) << "  " << padLeft("cost", costWidth)
      << "  expression\n";
  for (std::size_t rank = 0; rank < t.best.size(); ++rank) {
    const Ranked& r = t.best[rank];
    std::string shown = printable(r.expression);
    if (r.expressionCut || shown.size() > room) {
      shown.resize(std::min(shown.size(), room - 3));
      shown += "...";
    }
    out << "  " << padLeft(std::to_string(rank + 1), rankWidth) << "  "
        << padLeft(std::to_string(r.index), indexWidth) << "  "
        << padLeft(formatNumber(r.cost), costWidth) << "  " << shown << '\n';
  }
}

}  // namespace

Transcript readTranscript(std::istream& in, std::size_t top) {
  return Parser(in, top).run();
}

std::optional<Spread> spreadOf(std::vector<double> costs) {
  if (costs.empty()) return std::nullopt;
  Spread spread;
  const auto [low, high] = std::minmax_element(costs.begin(), costs.end());
  spread.min = *low;
  spread.max = *high;
  const auto middle =
      costs.begin() + static_cast<std::ptrdiff_t>(costs.size() / 2);
  std::nth_element(costs.begin(), middle, costs.end());
  const double upper = *middle;
  if (costs.size() % 2 == 1) {
    spread.median = upper;
  } else {
    const double lower = *std::max_element(costs.begin(), middle);
    // Halfway without overflowing near the largest doubles.
    spread.median = std::signbit(lower) != std::signbit(upper)
                        ? (lower + upper) / 2
                        : lower + (upper - lower) / 2;
  }
  return spread;
}

void writeReport(std::ostream& out, const Transcript& t) {
  const auto known = [](const std::string& text) {
    return text.empty() ? std::string("?") : text;
  };
  out << "Run\n";
  row(out, "population size", known(t.populationSize));
  row(out, "generations", known(t.generations));
  row(out, "mutation rate", known(t.mutationRate));
  row(out, "crossover rate", known(t.crossoverRate));
  row(out, "test triples",
      std::to_string(t.triples) +
          (t.testFileMissing ? " (the test-value file could not be opened)"
                             : ""));
  row(out, "individuals", std::to_string(t.individuals));
  switch (t.ending) {
    case Ending::kFinished:
      row(out, "transcript", "complete");
      break;
    case Ending::kCutShort:
      row(out, "transcript", "cut short before \"FINISHED\"");
      break;
    default:
      row(out, "transcript",
          "damaged at line " + std::to_string(t.problemLine));
  }
  if (t.partialIndividual) {
    row(out, "left out",
        "individual " + std::to_string(*t.partialIndividual) + ", cut after " +
            std::to_string(t.partialTriples) + " of " +
            std::to_string(t.triples) + " triples");
  }

  out << "\nFinal costs\n";
  row(out, "finite", std::to_string(t.finite));
  row(out, "inf", std::to_string(t.inf));
  row(out, "-inf", std::to_string(t.negInf));
  row(out, "nan", std::to_string(t.nan));
  row(out, "no cost", std::to_string(t.noCost));

  writeRanking(out, t);

  out << "\nFinite final costs\n";
  if (const std::optional<Spread> spread = spreadOf(t.finiteCosts)) {
    row(out, "median", formatNumber(spread->median));
    row(out, "min", formatNumber(spread->min));
    row(out, "max", formatNumber(spread->max));
  } else {
    out << "  none\n";
  }
}

namespace {

// Where costs sit along the histogram's axis, as a fraction from lo to hi.
//
// The symmetric log axis maps x to sign(x) * log10(1 + |x| / c), with c the
// smallest non-zero magnitude among the costs. A plain log axis cannot show
// the zero and negative costs this program produces; this one is close to
// linear within ±c and gives every decade beyond it the same width.
struct Axis {
  Scale scale = Scale::kLinear;
  double lo = 0.0;
  double hi = 0.0;
  double c = 1.0;

  double warp(double x) const {
    if (scale == Scale::kLinear) return x;
    const double magnitude = std::fabs(x);
    if (!(magnitude > 0)) return 0.0;
    // Two forms, so that |x| / c cannot overflow.
    const double t = magnitude <= c
                         ? std::log1p(magnitude / c) / std::log(10.0)
                         : std::log10(magnitude) - std::log10(c) +
                               std::log1p(c / magnitude) / std::log(10.0);
    return std::signbit(x) ? -t : t;
  }

  double unwarp(double t) const {
    if (scale == Scale::kLinear) return t;
    const double exponent = std::fabs(t) * std::log(10.0);
    double magnitude = exponent < 700 ? c * std::expm1(exponent)
                                      : std::exp(std::log(c) + exponent);
    if (!std::isfinite(magnitude)) magnitude = DBL_MAX;
    return t < 0 ? -magnitude : magnitude;
  }

  double fraction(double x) const {
    double f = 0.0;
    if (scale == Scale::kSymLog) {
      f = (warp(x) - warp(lo)) / (warp(hi) - warp(lo));
    } else if (std::isfinite(hi - lo)) {
      f = (x - lo) / (hi - lo);
    } else {
      f = (x / 2 - lo / 2) / (hi / 2 - lo / 2);
    }
    return f >= 0.0 ? std::min(f, 1.0) : 0.0;  // NaN too goes to 0
  }

  double at(double f) const {
    if (scale == Scale::kSymLog) {
      return unwarp(warp(lo) + f * (warp(hi) - warp(lo)));
    }
    return 2 * (lo / 2 + f * (hi / 2 - lo / 2));
  }
};

Axis axisOf(const Histogram& h) {
  return Axis{h.scale, h.lo, h.hi,
              h.scale == Scale::kSymLog ? h.threshold : 1.0};
}

// 1, 2 or 5 times a power of ten, near raw.
double niceStep(double raw) {
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  const double m = raw / power;
  return (m < 1.5 ? 1 : m < 3 ? 2 : m < 7 ? 5 : 10) * power;
}

std::vector<double> tickValues(const Axis& axis) {
  std::vector<double> ticks;
  if (axis.scale == Scale::kLinear) {
    const double raw = axis.hi / 5 - axis.lo / 5;
    if (raw > 0 && std::isfinite(raw)) {
      const double step = niceStep(raw);
      const double first = std::ceil(axis.lo / step);
      for (int i = 0; i <= 20; ++i) {
        double value = (first + i) * step;
        if (!std::isfinite(value) || value > axis.hi + step * 1e-9) break;
        if (std::fabs(value) < step * 1e-9) value = 0.0;
        ticks.push_back(value);
      }
    }
  } else {
    const int lowest = static_cast<int>(std::floor(std::log10(axis.c)));
    const double largest = std::max(std::fabs(axis.lo), std::fabs(axis.hi));
    const int highest = static_cast<int>(std::ceil(std::log10(largest)));
    std::vector<std::pair<int, double>> decades;
    for (int sign : {-1, 1}) {
      for (int k = lowest; k <= highest; ++k) {
        const double value = sign * std::pow(10.0, k);
        if (value != 0 && value >= axis.lo && value <= axis.hi) {
          decades.emplace_back(k, value);
        }
      }
    }
    // Every decade while they fit, else every second, third...: about ten
    // labels at most, on round exponents.
    const int stride = static_cast<int>((decades.size() + 9) / 10);
    for (const auto& [k, value] : decades) {
      if (stride <= 1 || k % stride == 0) ticks.push_back(value);
    }
    if (axis.lo <= 0 && axis.hi >= 0) ticks.push_back(0.0);
    std::sort(ticks.begin(), ticks.end());
  }
  if (ticks.size() < 2) ticks = {axis.lo, axis.hi};
  return ticks;
}

// The shortest label that gives the tick's value, to a millionth of the gap
// to its neighbours, "100" rather than "1e+02" when they are as short: round
// ticks get short labels, close ones as many digits as they need.
std::vector<std::string> tickLabels(const std::vector<double>& values) {
  std::vector<std::string> labels(values.size());
  for (std::size_t i = 0; i < values.size(); ++i) {
    double gap = std::numeric_limits<double>::infinity();
    if (i > 0) gap = std::fabs(values[i] / 2 - values[i - 1] / 2);
    if (i + 1 < values.size()) {
      gap = std::min(gap, std::fabs(values[i + 1] / 2 - values[i] / 2));
    }
    for (int precision = 17; precision >= 1; --precision) {
      const std::string label = formatNumber(values[i], precision);
      const std::optional<double> back = parseNumber(label);
      const bool exact =
          back && std::fabs(*back / 2 - values[i] / 2) <= gap * 1e-6;
      const bool plain = label.find('e') == std::string::npos;
      if (exact && (labels[i].empty() || label.size() < labels[i].size() ||
                    (label.size() == labels[i].size() && plain))) {
        labels[i] = label;
      }
    }
  }
  return labels;
}

std::string coordinate(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  return text;
}

}  // namespace

Histogram makeHistogram(const std::vector<double>& finiteCosts) {
  Histogram h;
  std::vector<double> costs;
  std::copy_if(finiteCosts.begin(), finiteCosts.end(),
               std::back_inserter(costs),
               [](double x) { return std::isfinite(x); });
  if (costs.empty()) return h;
  const auto [low, high] = std::minmax_element(costs.begin(), costs.end());
  double smallest = std::numeric_limits<double>::infinity();
  double largest = 0.0;
  for (const double x : costs) {
    if (std::fabs(x) > 0) smallest = std::min(smallest, std::fabs(x));
    largest = std::max(largest, std::fabs(x));
  }
  std::size_t bins = 0;
  if (*low < *high) {
    h.lo = *low;
    h.hi = *high;
    bins = std::clamp<std::size_t>(
        static_cast<std::size_t>(std::ceil(std::sqrt(costs.size()))), 1, 40);
    if (largest > 1000 * smallest) {
      h.scale = Scale::kSymLog;
      h.threshold = smallest;
    }
  } else {
    // All alike: one bar, in the middle of an axis around the value.
    double half = std::fabs(*low) / 8;
    if (!(half >= DBL_MIN)) half = 1.0;
    h.lo = std::max(*low - half, -DBL_MAX);
    h.hi = std::min(*low + half, DBL_MAX);
    bins = 3;
  }
  const Axis axis = axisOf(h);
  h.counts.assign(bins, 0);
  for (const double x : costs) {
    const auto bin =
        static_cast<std::size_t>(axis.fraction(x) * static_cast<double>(bins));
    ++h.counts[std::min(bin, bins - 1)];
  }
  for (std::size_t k = 0; k <= bins; ++k) {
    h.edges.push_back(k == 0      ? h.lo
                      : k == bins ? h.hi
                                  : axis.at(static_cast<double>(k) /
                                            static_cast<double>(bins)));
  }
  return h;
}

std::string xmlEscape(std::string_view text) {
  std::string out;
  std::size_t i = 0;
  while (i < text.size()) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x80) {
      switch (byte) {
        case '&':
          out += "&amp;";
          break;
        case '<':
          out += "&lt;";
          break;
        case '>':
          out += "&gt;";
          break;
        case '"':
          out += "&quot;";
          break;
        case '\'':
          out += "&apos;";
          break;
        default:
          // XML 1.0 has no place for the other control characters.
          out += byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r'
                     ? '?'
                     : static_cast<char>(byte);
      }
      ++i;
      continue;
    }
    // Well-formed UTF-8 passes; anything else would make the file invalid.
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xbf;
    if (byte >= 0xc2 && byte <= 0xdf) {
      length = 2;
    } else if (byte >= 0xe0 && byte <= 0xef) {
      length = 3;
      if (byte == 0xe0) low = 0xa0;
      if (byte == 0xed) high = 0x9f;  // no surrogates
    } else if (byte >= 0xf0 && byte <= 0xf4) {
      length = 4;
      if (byte == 0xf0) low = 0x90;
      if (byte == 0xf4) high = 0x8f;
    }
    bool valid = length != 0 && i + length <= text.size();
    for (std::size_t k = 1; valid && k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      valid =
          k == 1 ? next >= low && next <= high : next >= 0x80 && next <= 0xbf;
    }
    // U+FFFE and U+FFFF are not XML characters either.
    if (valid && length == 3 && byte == 0xef && text[i + 1] == '\xbf' &&
        static_cast<unsigned char>(text[i + 2]) >= 0xbe) {
      valid = false;
    }
    if (valid) {
      out.append(text.substr(i, length));
      i += length;
    } else {
      out += '?';
      ++i;
    }
  }
  return out;
}

void writeSvg(std::ostream& out, const Histogram& h, std::string_view source) {
  constexpr double kHeight = 440;
  constexpr double kLeft = 80, kRight = 690, kTop = 70, kBottom = 360;
  std::size_t total = 0;
  std::size_t tallest = 0;
  for (const std::size_t count : h.counts) {
    total += count;
    tallest = std::max(tallest, count);
  }
  const std::string title = "Finite final costs";
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"720\" "
         "height=\"440\" viewBox=\"0 0 720 440\" font-family=\"sans-serif\" "
         "font-size=\"12\">\n"
      << "<title>" << xmlEscape(title) << "</title>\n"
      << "<rect class=\"background\" x=\"0\" y=\"0\" width=\"720\" "
         "height=\"440\" fill=\"white\"/>\n"
      << "<text class=\"title\" x=\"360\" y=\"28\" text-anchor=\"middle\" "
         "font-size=\"17\">"
      << xmlEscape(title) << "</text>\n";
  std::string subtitle = std::to_string(total) +
                         (total == 1 ? " individual of " : " individuals of ") +
                         std::string(source);
  if (h.counts.empty()) {
    out << "<text class=\"subtitle\" x=\"360\" y=\"50\" "
           "text-anchor=\"middle\">"
        << xmlEscape(subtitle) << "</text>\n"
        << "<text class=\"note\" x=\"360\" y=\"220\" text-anchor=\"middle\" "
           "font-size=\"15\">No finite final costs to plot</text>\n</svg>\n";
    return;
  }
  const Axis axis = axisOf(h);
  subtitle += h.scale == Scale::kSymLog
                  ? "; symmetric log axis, linear within \xc2\xb1" +
                        formatNumber(h.threshold)
                  : "; linear axis";
  out << "<text class=\"subtitle\" x=\"360\" y=\"50\" text-anchor=\"middle\">"
      << xmlEscape(subtitle) << "</text>\n";

  const double plotWidth = kRight - kLeft;
  const double plotHeight = kBottom - kTop;
  // Counts axis: whole numbers on a round step.
  const double countStep =
      tallest <= 5 ? 1.0
                   : std::ceil(niceStep(static_cast<double>(tallest) / 5));
  const double countTop =
      std::ceil(static_cast<double>(tallest) / countStep) * countStep;

  const auto bins = h.counts.size();
  const double binWidth = plotWidth / static_cast<double>(bins);
  for (std::size_t k = 0; k < bins; ++k) {
    if (h.counts[k] == 0) continue;
    const double height =
        static_cast<double>(h.counts[k]) / countTop * plotHeight;
    out << "<rect class=\"bar\" x=\""
        << coordinate(kLeft + static_cast<double>(k) * binWidth + 0.5)
        << "\" y=\"" << coordinate(kBottom - height) << "\" width=\""
        << coordinate(std::max(binWidth - 1.0, 0.5)) << "\" height=\""
        << coordinate(height) << "\" fill=\"#4c78a8\"><title>" << h.counts[k]
        << " from " << formatNumber(h.edges[k]) << " to "
        << formatNumber(h.edges[k + 1]) << "</title></rect>\n";
  }

  out << "<g class=\"axes\" stroke=\"black\" stroke-width=\"1\">\n"
      << "<line x1=\"" << kLeft << "\" y1=\"" << kBottom << "\" x2=\"" << kRight
      << "\" y2=\"" << kBottom << "\"/>\n"
      << "<line x1=\"" << kLeft << "\" y1=\"" << kTop << "\" x2=\"" << kLeft
      << "\" y2=\"" << kBottom << "\"/>\n</g>\n";

  const std::vector<double> xTicks = tickValues(axis);
  const std::vector<std::string> xLabels = tickLabels(xTicks);
  // Labels that would overlap are dropped, zero kept first: on a symmetric log
  // axis the smallest decades crowd around it.
  std::vector<std::size_t> order(xTicks.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_partition(order.begin(), order.end(),
                        [&](std::size_t i) { return xTicks[i] == 0; });
  std::vector<std::pair<double, double>> placed;  // centre and half width
  out << "<g class=\"x-ticks\" text-anchor=\"middle\">\n";
  for (const std::size_t i : order) {
    const double centre = kLeft + axis.fraction(xTicks[i]) * plotWidth;
    const double half = 3.5 * static_cast<double>(xLabels[i].size()) + 4;
    if (std::any_of(placed.begin(), placed.end(), [&](const auto& other) {
          return std::fabs(other.first - centre) < other.second + half;
        })) {
      continue;
    }
    placed.emplace_back(centre, half);
    const std::string x = coordinate(centre);
    out << "<line x1=\"" << x << "\" y1=\"" << kBottom << "\" x2=\"" << x
        << "\" y2=\"" << kBottom + 5 << "\" stroke=\"black\"/>"
        << "<text x=\"" << x << "\" y=\"" << kBottom + 19 << "\">"
        << xmlEscape(xLabels[i]) << "</text>\n";
  }
  out << "</g>\n<g class=\"y-ticks\" text-anchor=\"end\">\n";
  for (double count = 0; count <= countTop; count += countStep) {
    const std::string y = coordinate(kBottom - count / countTop * plotHeight);
    out << "<line x1=\"" << kLeft - 5 << "\" y1=\"" << y << "\" x2=\"" << kLeft
        << "\" y2=\"" << y << "\" stroke=\"black\"/>"
        << "<text x=\"" << kLeft - 8 << "\" y=\"" << y << "\" dy=\"4\">"
        << formatNumber(count) << "</text>\n";
  }
  out << "</g>\n"
      << "<text class=\"axis-label\" x=\"" << (kLeft + kRight) / 2 << "\" y=\""
      << kHeight - 40
      << "\" text-anchor=\"middle\">final cost (last Cost1 "
         "of each individual)</text>\n"
      << "<text class=\"axis-label\" x=\"24\" y=\"" << (kTop + kBottom) / 2
      << "\" text-anchor=\"middle\" transform=\"rotate(-90 24 "
      << (kTop + kBottom) / 2 << ")\">individuals</text>\n</svg>\n";
}

std::string_view usage() {
  return "Usage: function-approximator-report [--top N] [--svg FILE] "
         "[TRANSCRIPT]\n"
         "\n"
         "Reports on a transcript written by function-approximator: its\n"
         "individuals and test triples, how many final costs are finite,\n"
         "inf, -inf and nan, the best individuals by final cost (lower is\n"
         "better) and the median and range of the finite final costs.\n"
         "\n"
         "  TRANSCRIPT  the transcript to read; standard input when absent\n"
         "              or \"-\"\n"
         "  --top N     list the N best individuals (default 10, 0 for none)\n"
         "  --svg FILE  also draw a histogram of the finite final costs as\n"
         "              an SVG picture in FILE\n"
         "  -h, --help  show this help and exit\n"
         "\n"
         "Exit status:\n"
         "  0  the report covers the whole run\n"
         "  1  the input cannot be read, is not a transcript or is damaged\n"
         "     (a damaged one is still reported up to the damage), or FILE\n"
         "     cannot be written\n"
         "  2  the command line is wrong\n"
         "  3  the transcript ends before \"FINISHED\": the run was cut "
         "short;\n"
         "     the report covers the individuals read in full\n";
}

std::optional<Options> parseOptions(const std::vector<std::string>& args,
                                    std::string& error) {
  Options options;
  bool haveInput = false;
  bool optionsOver = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    // "--name value" or "--name=value"; false, with the error, without one.
    const auto valueOf = [&](std::string_view name, std::string& value) {
      if (arg.size() > name.size()) {
        value = arg.substr(name.size() + 1);
        return true;
      }
      if (i + 1 == args.size()) {
        error = std::string(name) + " needs a value";
        return false;
      }
      value = args[++i];
      return true;
    };
    const auto named = [&](std::string_view name) {
      return !optionsOver && (arg == name || (arg.starts_with(name) &&
                                              arg[name.size()] == '='));
    };
    std::string value;
    if (!optionsOver && arg == "--") {
      optionsOver = true;
    } else if (!optionsOver && (arg == "--help" || arg == "-h")) {
      options.help = true;
    } else if (named("--top")) {
      if (!valueOf("--top", value)) return std::nullopt;
      const auto top = value.empty() || value.front() == '-'
                           ? std::nullopt
                           : parseInteger<std::size_t>(value);
      if (!top) {
        error = "--top wants a whole number of 0 or more, not \"" + value + '"';
        return std::nullopt;
      }
      options.top = *top;
    } else if (named("--svg")) {
      if (!valueOf("--svg", value)) return std::nullopt;
      if (value.empty() || value == "-") {
        error = "--svg wants a file name (standard output carries the report)";
        return std::nullopt;
      }
      options.svgFile = value;
    } else if (!optionsOver && arg.size() > 1 && arg.front() == '-') {
      error = "unknown option \"" + arg + '"';
      return std::nullopt;
    } else if (haveInput) {
      error = "one transcript at a time: \"" + options.input + "\" and \"" +
              arg + '"';
      return std::nullopt;
    } else {
      options.input = arg;
      haveInput = true;
    }
  }
  return options;
}

}  // namespace report
