#include "transcript_summary.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <tuple>
#include <utility>

namespace report {
namespace {

constexpr std::string_view kSeparator =
    "************************************************";
constexpr std::string_view kFinished = "FINISHED",
                           kNote = "function-approximator: ";

// The whole text as a number, in the C locale whatever the environment.
std::optional<double> parse(std::string_view text) {
  double value = 0.0;
  const auto [end, error] =
      std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return {};
  return value;
}

class Reader {
 public:
  Reader(std::istream& in, std::size_t top) : in_(in), top_(top) {}

  Summary run() {
    try {
      readRun();
      s_.ending = Ending::kFinished;
    } catch (const Ending ending) {  // thrown to stop reading
      s_.ending = bannerRead_ ? ending : Ending::kNotTranscript;
    }
    std::sort(s_.best.begin(), s_.best.end(), ranksBefore);
    if (s_.best.size() > top_) s_.best.resize(top_);
    return std::move(s_);
  }

 private:
  // The next line the program wrote to standard output.
  const std::string& next() {
    while (readLine()) {
      ++number_;
      if (line_.ends_with('\r')) line_.pop_back();  // Windows line ends
      // The program's notes on standard error, mixed in with 2>&1.
      if (line_.starts_with(kNote)) continue;
      // The input may stop anywhere within its last line: only the run's
      // last word is unmistakable without its newline.
      if (!in_.eof() || line_ == kFinished) return line_;
    }
    throw Ending::kCutShort;
  }

  // Until the banner a line is read only as far as it can still be the
  // separator or a note, so that /dev/zero is refused at once.
  bool readLine() {
    if (!firstLine_) return static_cast<bool>(std::getline(in_, line_));
    line_.clear();
    for (int ch; (ch = in_.get()) != EOF && ch != '\n';) {
      line_ += static_cast<char>(ch);
      const std::string_view head = std::string_view(line_).substr(0, 23);
      if (!(std::string(kSeparator) + '\r').starts_with(line_) &&
          (!kNote.starts_with(head) || line_.size() > 4096))
        throw Ending::kNotTranscript;
    }
    return !in_.eof() || !line_.empty();
  }

  [[noreturn]] void damaged(std::string problem) {
    s_.problem = std::move(problem);
    s_.problemLine = number_;
    throw Ending::kDamaged;
  }

  void expect(std::string_view text) {
    if (next() != text) damaged("expected \"" + std::string(text) + '"');
  }

  // The next line's number after `prefix`, as written.
  std::string numberAfter(std::string_view prefix) {
    const std::string_view line = next();
    const std::string_view text =
        line.substr(std::min(prefix.size(), line.size()));
    if (!line.starts_with(prefix) || !parse(text))
      damaged("expected \"" + std::string(prefix) + "\" and a number");
    return std::string(text);
  }

  void readRun() {
    expect(kSeparator);
    firstLine_ = false;
    expect("Function approximator application");
    bannerRead_ = true;
    for (const std::string_view text : std::initializer_list<std::string_view>{
             kSeparator, "Give me population size", "Give me generations",
             "Give me mutation rate", "Give me crossover rate",
             "Give me tree depth", kSeparator, "Starting algorithm",
             "Characteristics", kSeparator}) {
      expect(text);
    }
    s_.generations = numberAfter("Generations: ");
    s_.populationSize = numberAfter("Population size: ");
    // The run grows as many individuals as it echoes, none for a negative
    // size.
    const std::string& size = s_.populationSize;
    const auto [end, error] =
        std::from_chars(size.data(), size.data() + size.size(), population_);
    if (error != std::errc() || end != size.data() + size.size())
      damaged("expected \"Population size: \" and a whole number");
    population_ = std::max(population_, 0LL);
    s_.mutationRate = numberAfter("Mutation rate: ");
    s_.crossoverRate = numberAfter("Crossover rate: ");
    s_.testFileMissing = next().starts_with("Unable to open file: ");
    if (s_.testFileMissing) next();
    if (line_ != kSeparator) damaged("expected the separator");
    expect("Test values: ");
    // The value texts are arbitrary, ")" included: only the start of a
    // triple's line is checked.
    double lowest = 0.0;
    for (; next() != kSeparator; ++s_.triples) {
      if (!line_.starts_with("Var[" + std::to_string(3 * s_.triples) + "]"))
        damaged("expected a test triple or the separator");
      lowest += vertexCost();
    }
    if (s_.noLowest.empty()) s_.lowest = lowest;
    while (next() != kFinished) {
      if (line_.starts_with("Run: ")) {
        readRecord();
      } else if (line_.starts_with("Generation: ")) {
        return readGenerations();
      } else {
        checkPopulation(true);
        record(readIndividual(s_.individuals));
      }
    }
    checkPopulation(false);
  }

  // A triple's lowest cost, (c - b²/(4a))/100 at its parabola's vertex,
  // with the coefficients as the run reads the listed texts (values hold no
  // commas). None where a <= 0: the cost then has no lower bound.
  double vertexCost() {
    double abc[3] = {};
    std::string_view rest = line_;
    rest.remove_prefix(std::min(rest.find(" --- ") + 5, rest.size()));
    for (int k = 0; k < 3; ++k) {
      const std::string_view part = rest.substr(0, rest.find(','));
      rest.remove_prefix(std::min(part.size() + 1, rest.size()));
      const bool fits = part.size() >= 3 && part[0] == "abc"[k] &&
                        part[1] == '(' && part.back() == ')';
      abc[k] = fits ? std::strtod(std::string(part.substr(2)).c_str(), nullptr)
                    : NAN;
      if (!std::isfinite(abc[k]))
        return fail("unknown: a test value is not a finite number");
    }
    if (!(abc[0] > 0))
      return fail("none: the cost has no lower bound, since a is " +
                  formatNumber(abc[0]) + " in the triple at " +
                  line_.substr(0, line_.find(' ')));
    return (abc[2] - abc[1] * abc[1] / (4 * abc[0])) / 100;
  }

  double fail(std::string why) {
    if (s_.noLowest.empty()) s_.noLowest = std::move(why);
    return 0.0;
  }

  // "Run: PROGRAM VERSION\t---\tCommand: COMMAND", the command naming the
  // seed as "--seed S".
  void readRecord() {
    const auto at = line_.find("\t---\tCommand: ");
    if (at == line_.npos)
      damaged("expected \"Run: \" and \"\\t---\\tCommand: \"");
    s_.program = line_.substr(5, at - 5);
    s_.command = line_.substr(at + 14);
    const auto seed = s_.command.find(" --seed ");
    if (seed != std::string::npos)
      s_.seed = s_.command.substr(seed + 8,
                                  s_.command.find(' ', seed + 8) - (seed + 8));
  }

  // Another individual when `more`, or the end of the first population,
  // against the population size.
  void checkPopulation(bool more) {
    const auto read = static_cast<long long>(s_.individuals);
    if (more ? read >= population_ : read < population_)
      damaged("expected " + std::to_string(population_) +
              (population_ == 1 ? " individual" : " individuals") +
              ", as the population size says");
  }

  // An individual's evaluation block, from its "Expression: " line, which
  // is the current line, to the separator. Returns it with its final cost.
  Ranked readIndividual(std::optional<std::size_t> expected) {
    std::size_t index = 0;
    std::sscanf(line_.c_str(), "Expression: %zu", &index);
    // Compared as written, so that blanks or a sign cannot pass for it.
    const std::string head = "Expression: " + std::to_string(index) + "\t---\t";
    if (!line_.starts_with(head) || (expected && index != expected))
      damaged(
          "expected \"Expression: " +
          (expected ? std::to_string(*expected) + "\" or \"FINISHED\"" : "\""));
    Ranked ranked{index, 0.0, line_.substr(head.size(), 100)};
    for (std::size_t k = 0; k < s_.triples; ++k) {
      if (!next().starts_with("Parsed: ")) damaged("expected \"Parsed: \"");
      numberAfter("Result (floating point): ");
      ranked.cost = *parse(numberAfter("Cost1: "));
    }
    if (next() != kSeparator) damaged("expected the separator");
    return ranked;
  }

  void record(Ranked ranked) {
    ++s_.individuals;
    if (s_.triples == 0) return;  // no cost to count or rank
    const double cost = ranked.cost;
    ++(std::isfinite(cost) ? s_.finite
       : std::isnan(cost)  ? s_.nan
       : cost < 0          ? s_.negInf
                           : s_.inf);
    if (std::isfinite(cost)) s_.finiteCosts.push_back(cost);
    // In index order a later individual ranks first only by a lower cost.
    std::optional<double>& best = s_.populationBest;
    if (!best || (std::isfinite(cost) && !(*best <= cost))) best = cost;
    offer(std::move(ranked));
  }

  // Keeps the best `top` without holding every expression: candidates pile
  // up to twice the need, then the worse half goes.
  void offer(Ranked ranked) {
    if (top_ == 0) return;
    s_.best.push_back(std::move(ranked));
    if (s_.best.size() / 2 > top_) {
      std::sort(s_.best.begin(), s_.best.end(), ranksBefore);
      s_.best.resize(top_);
    }
  }

  // One line per generation (from 0 in a brief transcript, which has no
  // evaluation blocks before it), perhaps the line of a stopping rule, the
  // separator, then the closing block of the final population's best
  // individual: the one the ranking lists.
  void readGenerations() {
    s_.brief = line_.starts_with("Generation: 0\t") && s_.individuals == 0;
    if (!s_.brief) checkPopulation(false);
    const std::size_t first = s_.brief ? 0 : 1;
    do {
      std::size_t generation = 0, nonFinite = 0;
      double best = 0.0, median = 0.0;
      int end = 0;
      std::sscanf(line_.c_str(),
                  "Generation: %zu\t---\tBest cost: %lf\t---\tMedian cost: "
                  "%lf\t---\tNon-finite costs: %zu\t---\tBest expression: %n",
                  &generation, &best, &median, &nonFinite, &end);
      // A blank in sscanf's format matches any run of blanks: the tabs
      // between the five parts are counted as written.
      const auto head = std::string_view(line_).substr(0, std::size_t(end));
      if (end == 0 || std::count(head.begin(), head.end(), '\t') != 8 ||
          generation != first + s_.bestCosts.size())
        damaged("expected generation " +
                std::to_string(first + s_.bestCosts.size()) +
                ", \"Stopped: \" or the separator");
      s_.bestCosts.push_back(best);
      s_.medianCosts.push_back(median);
      s_.evolution = true;
      s_.best.clear();
    } while (next() != kSeparator && !line_.starts_with("Stopped: "));
    const std::string last = std::to_string(first + s_.bestCosts.size() - 1);
    if (line_.starts_with("Stopped: ")) {
      const std::string after = " after generation " + last;
      if (!line_.ends_with(after) || line_.size() == 9 + after.size())
        damaged("expected \"Stopped: \", a reason and \"" + after + '"');
      s_.stopped = line_.substr(9, line_.size() - 9 - after.size());
      expect(kSeparator);
    } else if (last != s_.generations) {
      damaged("expected " + s_.generations + " generations");
    }
    next();
    const Ranked closing = readIndividual({});
    if (s_.triples > 0) offer(closing);
    if (next() != kFinished) damaged("expected \"FINISHED\"");
  }

  std::istream& in_;
  std::size_t top_;
  Summary s_;
  std::string line_;
  std::size_t number_ = 0;
  bool firstLine_ = true, bannerRead_ = false;
  long long population_ = 0;  // individuals the first population holds
};

}  // namespace

bool ranksBefore(const Ranked& x, const Ranked& y) {
  const auto key = [](const Ranked& r) {
    return std::tuple(!std::isfinite(r.cost),
                      std::isfinite(r.cost) ? r.cost : 0.0, r.index);
  };
  return key(x) < key(y);
}

Summary readTranscript(std::istream& in, std::size_t top) {
  return Reader(in, top).run();
}

std::optional<double> lastBestOf(const Summary& s) {
  if (s.evolution) return s.bestCosts.back();
  return s.populationBest;
}

double gapOf(double cost, double lowest) {
  const double gap = cost - lowest;
  return std::fabs(gap) <= 1e-5 * std::fabs(lowest) ? 0.0 : gap;
}

double quantile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  const double at = p * static_cast<double>(values.size() - 1);
  const auto k = static_cast<std::size_t>(at);
  if (k + 1 >= values.size()) return values[k];
  return values[k] +
         (at - static_cast<double>(k)) * (values[k + 1] - values[k]);
}

std::string formatNumber(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

}  // namespace report
