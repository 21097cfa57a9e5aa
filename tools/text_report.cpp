#include "text_report.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <iomanip>
#include <optional>

namespace report {
namespace {

void row(std::ostream& out, std::string_view label, const std::string& value) {
  out << "  " << label << std::string(17 - label.size(), ' ') << value << '\n';
}

std::string shown(std::optional<double> cost) {
  return cost ? formatNumber(*cost) : "-";
}

// Why a run ended, in a word or a few.
std::string endOf(const Summary& s) {
  if (s.ending == Ending::kCutShort) return "cut short";
  if (s.ending == Ending::kDamaged) return "damaged";
  return s.stopped.empty() ? "all generations" : s.stopped;
}

void writeRun(std::ostream& out, const Summary& s) {
  out << "Run\n";
  if (!s.command.empty()) {
    row(out, "program", printable(s.program));
    row(out, "command", printable(s.command));
  }
  row(out, "population size", s.populationSize);
  row(out, "generations", s.generations);
  row(out, "mutation rate", s.mutationRate);
  row(out, "crossover rate", s.crossoverRate);
  row(out, "test triples",
      std::to_string(s.triples) +
          (s.testFileMissing ? " (the test-value file could not be opened)"
                             : ""));
  row(out, "individuals", std::to_string(s.individuals));
  row(out, "transcript",
      s.ending == Ending::kFinished
          ? (s.brief ? "complete, brief: generation lines only" : "complete")
      : s.ending == Ending::kCutShort
          ? "cut short before \"FINISHED\""
          : "damaged at line " + std::to_string(s.problemLine));
  if (s.evolution) {
    const std::string count = std::to_string(s.bestCosts.size() - s.brief);
    out << "\nGenerations"
        << (s.brief ? " (from 0, the first population)\n" : "\n");
    row(out, "count", count);
    row(out, "first best cost", formatNumber(s.bestCosts.front()));
    row(out, "last best cost", formatNumber(s.bestCosts.back()));
    if (!s.stopped.empty())
      row(out, "stopped", printable(s.stopped) + " after generation " + count);
  }
}

// The lowest possible cost and how far the last best cost is above it.
void writeLowest(std::ostream& out, const Summary& s) {
  out << "\nLowest possible cost (the sum of (c - b^2/(4a))/100)\n";
  if (!s.lowest) return row(out, "lowest", printable(s.noLowest));
  row(out, "lowest", formatNumber(*s.lowest));
  const std::optional<double> last = lastBestOf(s);
  if (!last) return;
  const double gap = gapOf(*last, *s.lowest);
  row(out, "last best gap",
      formatNumber(gap) +
          (*s.lowest != 0
               ? " (" + formatNumber(100 * gap / std::fabs(*s.lowest)) +
                     "% of the lowest)"
               : ""));
}

// Writes the rows in columns two blanks apart: the last to the left, cut to
// what is left of 100 columns when `cut`; the first to the left when
// `named`; the others to the right.
template <std::size_t N>
void writeColumns(std::ostream& out,
                  std::vector<std::array<std::string, N>> rows, bool named,
                  bool cut) {
  std::array<std::size_t, N> widths{};
  for (const auto& row : rows)
    for (std::size_t c = 0; c < N; ++c)
      widths[c] = std::max(widths[c], row[c].size());
  std::size_t room = 100 - 2 * N;  // at least 39 for the ranking
  for (std::size_t c = 0; c + 1 < N; ++c) room -= widths[c];
  for (auto& row : rows) {
    if (cut && row[N - 1].size() > room)
      row[N - 1] = row[N - 1].substr(0, room - 3) + "...";
    for (std::size_t c = 0; c < N; ++c)
      out << "  " << ((c == 0 && named) || c + 1 == N ? std::left : std::right)
          << std::setw(c + 1 < N ? static_cast<int>(widths[c]) : 0) << row[c];
    out << std::right << '\n';
  }
}

void writeRanking(std::ostream& out, const Summary& s, std::size_t top) {
  out << (s.evolution ? "\nBest of the final population by final cost"
                      : "\nBest individuals by final cost")
      << " (lower is better)\n";
  if (s.best.empty()) {
    out << (top == 0 ? "  none asked for\n" : "  none\n");
    return;
  }
  std::vector<std::array<std::string, 4>> rows = {
      {"rank", "index", "cost", "expression"}};
  for (std::size_t k = 0; k < s.best.size(); ++k)
    rows.push_back({std::to_string(k + 1), std::to_string(s.best[k].index),
                    formatNumber(s.best[k].cost),
                    printable(s.best[k].expression)});
  writeColumns(out, std::move(rows), false, true);
}

}  // namespace

void writeRunsTable(std::ostream& out, const std::vector<NamedSummary>& runs) {
  std::vector<std::array<std::string, 8>> rows = {
      {"transcript", "seed", "population", "generations", "first best",
       "last best", "gap", "end"}};
  std::vector<double> lastBest;
  std::optional<double> best;
  std::size_t leftOut = 0, withLowest = 0, near = 0;
  for (const auto& [source, s] : runs) {
    const std::optional<double> last = lastBestOf(s);
    const std::optional<double> first =
        s.evolution ? s.bestCosts.front() : last;
    const std::optional<double> gap =
        last && s.lowest ? std::optional(gapOf(*last, *s.lowest))
                         : std::nullopt;
    rows.push_back({shortName(source, 30), printable(s.seed), s.populationSize,
                    std::to_string(s.bestCosts.size() - s.brief), shown(first),
                    shown(last), shown(gap), printable(endOf(s))});
    // A run cut short or damaged has no last best cost of its own.
    if (s.ending != Ending::kFinished || !last) {
      leftOut += s.ending != Ending::kFinished;
      continue;
    }
    if (!best || ranksBefore({0, *last, {}}, {0, *best, {}})) best = last;
    if (std::isfinite(*last)) lastBest.push_back(*last);
    withLowest += gap.has_value();
    near +=
        gap && std::fabs(*gap) <= std::max(0.01, 0.01 * std::fabs(*s.lowest));
  }
  out << "Runs\n";
  writeColumns(out, std::move(rows), true, false);
  out << "\nLast best costs of the runs";
  if (leftOut > 0) out << " (" << leftOut << " cut short or damaged left out)";
  out << '\n';
  if (!best) {
    out << "  none\n";
    return;
  }
  row(out, "best", formatNumber(*best));
  const char* names[] = {"lower quartile", "median", "upper quartile"};
  for (int q = 1; q <= 3; ++q)
    row(out, names[q - 1],
        lastBest.empty() ? "nan" : formatNumber(quantile(lastBest, q / 4.0)));
  if (withLowest > 0)
    row(out, "near the lowest",
        std::to_string(near) + " of " + std::to_string(withLowest) +
            ", within max(0.01, 1% of |lowest|) of it");
}

void writeReport(std::ostream& out, const Summary& s, std::size_t top) {
  writeRun(out, s);
  writeLowest(out, s);
  // For an evolution the costs counted are those of the first population.
  const std::string whose = s.evolution ? " of the first population" : "";
  out << "\nFinal costs" << whose << '\n';
  if (s.brief) {
    out << "  not in a brief transcript\n";
    return writeRanking(out, s, top);
  }
  row(out, "finite", std::to_string(s.finite));
  row(out, "inf", std::to_string(s.inf));
  row(out, "-inf", std::to_string(s.negInf));
  row(out, "nan", std::to_string(s.nan));
  row(out, "no cost", std::to_string(s.triples == 0 ? s.individuals : 0));
  writeRanking(out, s, top);
  out << "\nFinite final costs" << whose << '\n';
  if (s.finiteCosts.empty()) {
    out << "  none\n";
    return;
  }
  const auto [low, high] =
      std::minmax_element(s.finiteCosts.begin(), s.finiteCosts.end());
  row(out, "median", formatNumber(quantile(s.finiteCosts, 0.5)));
  row(out, "min", formatNumber(*low));
  row(out, "max", formatNumber(*high));
}

std::string printable(std::string_view text) {
  std::string out;
  const auto byte = [&](std::size_t k) {
    return static_cast<unsigned char>(text[k]);
  };
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = byte(i) < 0xc0   ? 1
                               : byte(i) < 0xe0 ? 2
                               : byte(i) < 0xf0 ? 3
                                                : 4;
    unsigned long code = length == 1 ? byte(i) : byte(i) & (0x7fu >> length);
    bool valid = i + length <= text.size();
    for (std::size_t k = 1; valid && k < length; ++k) {
      valid = (byte(i + k) & 0xc0) == 0x80;
      code = code << 6 | (byte(i + k) & 0x3f);
    }
    // The shortest form only; no surrogate, control character or code past
    // U+10FFFF.
    constexpr unsigned long kLeast[] = {0, 0x20, 0x80, 0x800, 0x10000};
    valid = valid && code >= kLeast[length] && (code >> 11) != 0x1b &&
            code <= (length == 1 ? 0x7e : 0x10ffff) &&
            !(code < 0xa0 && length > 1);
    out.append(valid ? text.substr(i, length) : "?");
    i += valid ? length : 1;
  }
  return out;
}

std::string shortName(std::string_view name, std::size_t room) {
  const std::string shown = printable(name);
  std::size_t characters = 0, from = 0;
  for (std::size_t i = shown.size(); i-- > 0;) {
    // A character starts at any byte but UTF-8's continuation bytes.
    if ((static_cast<unsigned char>(shown[i]) & 0xc0) != 0x80 &&
        ++characters == room - 3)
      from = i;
  }
  return characters <= room ? shown : "..." + shown.substr(from);
}

}  // namespace report
