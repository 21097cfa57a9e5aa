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

// The middle cost, or halfway between the middle two.
double medianOf(std::vector<double> costs) {
  const auto middle = costs.begin() + static_cast<long>(costs.size() / 2);
  std::nth_element(costs.begin(), middle, costs.end());
  if (costs.size() % 2 == 1) return *middle;
  return (*std::max_element(costs.begin(), middle) + *middle) / 2;
}

void writeRun(std::ostream& out, const Summary& s) {
  out << "Run\n";
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
      s.ending == Ending::kFinished ? "complete"
      : s.ending == Ending::kCutShort
          ? "cut short before \"FINISHED\""
          : "damaged at line " + std::to_string(s.problemLine));
  if (s.evolution) {
    out << "\nGenerations\n";
    row(out, "count", std::to_string(s.bestCosts.size()));
    row(out, "first best cost", formatNumber(s.bestCosts.front()));
    row(out, "last best cost", formatNumber(s.bestCosts.back()));
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
  std::size_t widths[3] = {};
  for (const auto& row : rows)
    for (int c = 0; c < 3; ++c) widths[c] = std::max(widths[c], row[c].size());
  // The expression has what is left of 100 columns: at least 39.
  const std::size_t room = 100 - (8 + widths[0] + widths[1] + widths[2]);
  for (auto& row : rows) {
    if (row[3].size() > room) row[3] = row[3].substr(0, room - 3) + "...";
    for (int c = 0; c < 3; ++c)
      out << "  " << std::setw(static_cast<int>(widths[c])) << row[c];
    out << "  " << row[3] << '\n';
  }
}

// Writes the rows in columns two blanks apart, the first column to the left
// and the others to the right.
template <std::size_t N>
void writeColumns(std::ostream& out,
                  const std::vector<std::array<std::string, N>>& rows) {
  std::array<std::size_t, N> widths{};
  for (const auto& row : rows)
    for (std::size_t c = 0; c < N; ++c)
      widths[c] = std::max(widths[c], row[c].size());
  for (const auto& row : rows) {
    out << "  " << std::left << std::setw(static_cast<int>(widths[0])) << row[0]
        << std::right;
    for (std::size_t c = 1; c < N; ++c)
      out << "  " << std::setw(static_cast<int>(widths[c])) << row[c];
    out << '\n';
  }
}

// A run's best cost at its start and at its end: those of the first and the
// last generation, or the first population's best for both; none without
// costs.
std::pair<std::optional<double>, std::optional<double>> bestCostsOf(
    const Summary& s) {
  if (s.evolution) return {s.bestCosts.front(), s.bestCosts.back()};
  return {s.populationBest, s.populationBest};
}

std::string shown(std::optional<double> cost) {
  return cost ? formatNumber(*cost) : "-";
}

}  // namespace

void writeRunsTable(std::ostream& out, const std::vector<NamedSummary>& runs) {
  std::vector<std::array<std::string, 5>> rows = {
      {"transcript", "population", "generations", "first best", "last best"}};
  std::vector<Ranked> lastBest;
  for (const auto& [source, s] : runs) {
    const auto [first, last] = bestCostsOf(s);
    // The name has the room that the longest numbers leave of 100 columns.
    rows.push_back({shortName(source, 40), std::to_string(s.individuals),
                    std::to_string(s.bestCosts.size()), shown(first),
                    shown(last)});
    if (last) lastBest.push_back({lastBest.size(), *last, {}});
  }
  out << "Runs\n";
  writeColumns(out, rows);
  out << "\nLast best costs of the runs\n";
  if (lastBest.empty()) {
    out << "  none\n";
    return;
  }
  std::vector<double> finite;
  for (const Ranked& run : lastBest)
    if (std::isfinite(run.cost)) finite.push_back(run.cost);
  row(out, "best",
      formatNumber(
          std::min_element(lastBest.begin(), lastBest.end(), ranksBefore)
              ->cost));
  row(out, "median", finite.empty() ? "nan" : formatNumber(medianOf(finite)));
}

void writeReport(std::ostream& out, const Summary& s, std::size_t top) {
  writeRun(out, s);
  // For an evolution the costs counted are those of the first population.
  const std::string whose = s.evolution ? " of the first population" : "";
  out << "\nFinal costs" << whose << '\n';
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
  row(out, "median", formatNumber(medianOf(s.finiteCosts)));
  row(out, "min", formatNumber(*low));
  row(out, "max", formatNumber(*high));
}

}  // namespace report
