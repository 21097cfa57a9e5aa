#include "svg_pictures.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "chart_axes.hpp"
#include "text_report.hpp"

namespace report {
namespace {

constexpr double kPanelHeight = 440;
// Okabe and Ito's eight colours, which readers with any colour vision tell
// apart; lines take them in this order, yellow, the faintest, late.
constexpr int kColours = 8;
constexpr const char* kColour[kColours] = {"#0072b2", "#e69f00", "#009e73",
                                           "#cc79a7", "#56b4e9", "#d55e00",
                                           "#f0e442", "#000000"};
// The classes of the lines that have a part of their own.
constexpr const char *kBest = "r0", *kMedian = "halo r1", *kBestRun = "thin r0",
                     *kWorstRun = "thin r5", *kAcross = "r7";

// The panel's titles, and why it has nothing to plot when it has not.
void drawTitles(std::ostream& out, double dy, const std::string& title,
                const std::string& subtitle, const std::string& reason = "") {
  text(out, "title", kWidth / 2, dy + 28, title);
  text(out, "", kWidth / 2, dy + 50, subtitle);
  if (!reason.empty()) text(out, "", kWidth / 2, dy + 220, reason);
}

// A legend entry: a short sample of the line or band, then its name.
void legend(std::ostream& out, const std::string& style, double x, double y,
            std::string_view name) {
  put(out, "<path class=\"sample %s\" d=\"M%.1f %.1fh24\"/>\n", style.c_str(),
      x, y - 4);
  text(out, "start", x + 30, y, name);
}

// About sqrt(n) bins of equal width along the costs, at most 40; one when all
// costs are alike.
void drawHistogram(std::ostream& out, const Summary& s,
                   std::string_view source) {
  const std::vector<double>& costs = s.finiteCosts;
  const std::string title = s.evolution
                                ? "The random first population's final costs"
                                : "Final costs",
                    name = shortName(source, 40);
  const std::string all = std::to_string(s.individuals);
  if (costs.empty())
    return drawTitles(out, 0, title, name,
                      s.triples == 0
                          ? "No costs: the run has no test triples"
                          : "No finite cost among the " + all + " individuals");
  const Axis axis = costAxis(costs, 100);
  const auto [low, high] = std::minmax_element(costs.begin(), costs.end());
  const Axis data{*low, *high, axis.c};
  const double root = std::ceil(std::sqrt(static_cast<double>(costs.size())));
  const auto bins =
      static_cast<std::size_t>(*low < *high ? std::min(root, 40.0) : 1);
  std::vector<std::size_t> counts(bins);
  for (const double x : costs) {
    const double bin = data.fraction(x) * static_cast<double>(bins);
    ++counts[std::min(static_cast<std::size_t>(bin), bins - 1)];
  }
  const auto most = *std::max_element(counts.begin(), counts.end());
  const Axis count{0.0, 1.05 * static_cast<double>(most)};
  drawTitles(out, 0, title, name + "; " + scaleOf(axis, false));
  const Panel panel = drawAxes(
      out, 0, 670, {axis, false, "final cost (last Cost1 of each individual)"},
      {count, true, "individuals"});
  if (const std::size_t hidden = s.inf + s.negInf + s.nan; hidden > 0)
    text(out, "end", panel.right, 70,
         std::to_string(hidden) + " of " + all +
             " not shown: their cost is not finite");
  for (std::size_t k = 0; k < bins; ++k) {
    if (counts[k] == 0) continue;
    const double top = panel.y(count, static_cast<double>(counts[k]));
    const auto share = [&](std::size_t edge) {
      return static_cast<double>(edge) / static_cast<double>(bins);
    };
    double from = panel.x(axis, data.at(share(k)));
    double to = panel.x(axis, data.at(share(k + 1)));
    if (!(*low < *high)) {  // one bar of no width: drawn 16 wide
      from -= 8;
      to += 8;
    }
    put(out,
        "<rect class=\"bar\" x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" "
        "height=\"%.1f\"/>\n",
        from + 0.5, top, std::max(to - from - 1, 0.5), kBottom - top);
  }
}

// A line through the finite values, the first at generation `first`; a
// non-finite one breaks it. Round caps show a lone point as a dot.
void drawSeries(std::ostream& out, const std::string& style, std::size_t first,
                const std::vector<double>& values, const Panel& panel,
                const Axis& x, const Axis& y) {
  out << "<path class=\"series " << style << "\" d=\"";
  char command = 'M';
  for (std::size_t g = 0; g < values.size(); ++g) {
    if (std::isfinite(values[g]))
      put(out, "%c%.1f,%.1f ", command,
          panel.x(x, static_cast<double>(first + g)), panel.y(y, values[g]));
    command = std::isfinite(values[g]) ? 'L' : 'M';
  }
  out << "\"/>\n";
}

struct Line {
  std::string style, name;     // its class and its name in the legend
  std::vector<double> values;  // by generation
  // A line that gives way: on a gap axis, its values more than three times
  // the others' highest are drawn at that height, so that the best line's
  // fall takes most of the plot.
  bool yields = false;
};

// Lines by generation from `first`, drawn in order over the band between
// `band[0]` and `band[1]` where there is one, and named in a legend on the
// right. Gaps to the lowest cost go on a log axis whatever their span, 0
// just above the foot; costs on a symmetric log one beyond two decades.
void drawLines(std::ostream& out, double dy, const std::string& title,
               std::string subtitle, bool gaps, std::size_t first,
               const std::vector<Line>& lines,
               const std::vector<double> (&band)[2] = {}) {
  std::vector<double> all;
  for (const Line& line : lines)
    if (!line.yields)
      all.insert(all.end(), line.values.begin(), line.values.end());
  for (const auto& edge : band) all.insert(all.end(), edge.begin(), edge.end());
  std::erase_if(all, [](double x) { return !std::isfinite(x); });
  double ceiling = HUGE_VAL;
  if (gaps && !all.empty())
    ceiling = 3 * std::max(*std::max_element(all.begin(), all.end()), 1e-6);
  std::vector<Line> shown = lines;
  std::string cut;
  for (Line& line : shown) {
    if (!line.yields) continue;
    for (double& value : line.values) {
      if (value > ceiling) cut = "; " + line.name + " cut at the top";
      value = std::min(value, ceiling);
    }
    for (double value : line.values)
      if (std::isfinite(value)) all.push_back(value);
  }
  if (all.empty())
    return drawTitles(out, dy, title, subtitle,
                      lines.empty() ? "No run has generations"
                                    : "No finite cost in any generation");
  std::size_t last = first;
  for (const Line& line : lines)
    last = std::max(last, first + line.values.size() - 1);
  const auto a = static_cast<double>(first), b = static_cast<double>(last);
  const Axis x = last > first ? Axis{a, b} : Axis{a - 0.5, a + 0.5};
  Axis y = costAxis(all, gaps ? 1 : 100);
  if (gaps && y.c > 0 && *std::min_element(all.begin(), all.end()) >= 0)
    y.lo = std::max(y.lo, -y.c);
  drawTitles(out, dy, title, subtitle + "; " + scaleOf(y, gaps) + cut);
  const Panel panel = drawAxes(out, dy, 500, {x, true, "generation"},
                               {y, false, gaps ? "gap" : "cost"});
  double row = dy + kTop + 4;
  if (!band[0].empty()) {
    std::string upper, lower;
    for (std::size_t g = 0; g < band[0].size(); ++g) {
      const auto point = [&](double value) {
        char text[48];
        std::snprintf(text, sizeof text, "L%.1f,%.1f ",
                      panel.x(x, static_cast<double>(first + g)),
                      panel.y(y, value));
        return std::string(text);
      };
      if (!std::isfinite(band[0][g])) continue;
      upper += point(band[1][g]);
      lower.insert(0, point(band[0][g]));
    }
    out << "<path class=\"band\" d=\"M" << upper.substr(1) << lower
        << "Z\"/>\n";
    legend(out, "swatch", 515, row, "lower to upper quartile");
    row += 16;
  }
  for (const Line& line : shown) {
    drawSeries(out, line.style, first, line.values, panel, x, y);
    legend(out, line.style, 515, row, line.name);
    row += 16;
  }
}

// The values a run's lines show: its costs, or their gaps to the lowest.
std::vector<double> shownOf(std::vector<double> costs,
                            std::optional<double> lowest) {
  if (lowest)
    for (double& x : costs) x = gapOf(x, *lowest);
  return costs;
}

std::string gapTitle(std::optional<double> lowest) {
  return lowest ? "Gap to the lowest possible cost, " + formatNumber(*lowest) +
                      ", by generation"
                : "Gap to each run's lowest possible cost by generation";
}

// The document around the panels, `height` high.
template <typename Draw>
void writeDocument(std::ostream& out, double height, Draw draw) {
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"720\" height=\""
      << height << "\" viewBox=\"0 0 720 " << height << "\">\n"
      << "<title>Costs of function-approximator runs</title>\n<style>"
         "svg{font:12px sans-serif} text{text-anchor:middle} "
         ".title{font-size:17px} .start{text-anchor:start} "
         ".end{text-anchor:end} .bar{fill:#56b4e9} .axes{fill:none;stroke:"
         "black} .series,.sample{fill:none;stroke-width:2;stroke-linecap:"
         "round} .halo{stroke-width:6;stroke-opacity:.55} .thin{stroke-width:"
         "1.2} .band{fill:#0072b2;fill-opacity:.2} .swatch{stroke:#0072b2;"
         "stroke-opacity:.2;stroke-width:10;stroke-linecap:butt}";
  for (int k = 0; k < kColours; ++k)
    put(out, " .r%d{stroke:%s}", k, kColour[k]);
  out << "</style>\n<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
  draw();
  out << "</svg>\n";
}

}  // namespace

void writeSvg(std::ostream& out, const Summary& s, std::string_view source) {
  const bool histogram = !s.brief;
  writeDocument(out, kPanelHeight * (histogram && s.evolution ? 2 : 1), [&] {
    if (histogram) drawHistogram(out, s, source);
    if (!s.evolution) return;
    drawLines(
        out, histogram ? kPanelHeight : 0,
        s.lowest ? gapTitle(s.lowest) : "Best and median cost by generation",
        shortName(source, 40), s.lowest.has_value(), s.brief ? 0 : 1,
        {{kMedian, "median", shownOf(s.medianCosts, s.lowest), true},
         {kBest, "best", shownOf(s.bestCosts, s.lowest)}});
  });
}

void writeRunsSvg(std::ostream& out, const std::vector<NamedSummary>& runs) {
  std::vector<const NamedSummary*> drawn;
  bool gaps = true, brief = false;
  std::optional<double> lowest;
  for (const NamedSummary& run : runs) {
    if (run.summary.bestCosts.empty()) continue;
    if (drawn.empty()) lowest = run.summary.lowest;
    drawn.push_back(&run);
    gaps = gaps && run.summary.lowest;
    brief = brief || run.summary.brief;
    if (run.summary.lowest != lowest) lowest.reset();
  }
  gaps = gaps && !drawn.empty();
  // The lines from one generation, 0 when a run has it.
  std::vector<Line> lines;
  for (const NamedSummary* run : drawn) {
    const Summary& s = run->summary;
    lines.push_back({{'r', static_cast<char>('0' + lines.size() % kColours)},
                     shortName(run->source, 22),
                     shownOf(s.bestCosts, gaps ? s.lowest : std::nullopt)});
    if (brief && !s.brief)
      lines.back().values.insert(lines.back().values.begin(), NAN);
  }
  std::string subtitle = std::to_string(runs.size()) + " runs";
  if (drawn.size() < runs.size())
    subtitle += " (" + std::to_string(runs.size() - drawn.size()) +
                " without generations, not drawn)";
  const std::string title =
      gaps ? gapTitle(lowest) : "Best cost by generation of each run";
  writeDocument(out, kPanelHeight, [&] {
    if (lines.size() <= kColours)
      return drawLines(out, 0, title, subtitle, gaps, brief ? 0 : 1, lines);
    // More runs than colours: the median across runs within the band of the
    // quartiles, and the best and the worst complete run.
    std::vector<double> band[2];
    Line middle{
        kAcross, "median of " + std::to_string(lines.size()) + " runs", {}};
    std::size_t length = 0;
    for (const Line& line : lines)
      length = std::max(length, line.values.size());
    for (std::size_t g = 0; g < length; ++g) {
      std::vector<double> at;
      for (const Line& line : lines)
        if (g < line.values.size() && std::isfinite(line.values[g]))
          at.push_back(line.values[g]);
      const auto q = [&](double p) {
        return at.empty() ? NAN : quantile(at, p);
      };
      band[0].push_back(q(0.25));
      middle.values.push_back(q(0.5));
      band[1].push_back(q(0.75));
    }
    // The best and the worst of the complete runs by their last value.
    std::vector<std::size_t> complete;
    for (std::size_t k = 0; k < lines.size(); ++k)
      if (drawn[k]->summary.ending == Ending::kFinished &&
          std::isfinite(lines[k].values.back()))
        complete.push_back(k);
    std::stable_sort(complete.begin(), complete.end(), [&](auto j, auto k) {
      return lines[j].values.back() < lines[k].values.back();
    });
    std::vector<Line> shown;
    for (const bool best : {true, false}) {
      if (complete.empty()) break;
      const std::size_t k = best ? complete.front() : complete.back();
      shown.push_back(
          {best ? kBestRun : kWorstRun,
           (best ? "best: " : "worst: ") + shortName(drawn[k]->source, 15),
           lines[k].values});
    }
    shown.push_back(std::move(middle));
    drawLines(out, 0, title, subtitle, gaps, brief ? 0 : 1, shown, band);
  });
}

}  // namespace report
