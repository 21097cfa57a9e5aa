#include "svg_pictures.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "chart_axes.hpp"

namespace report {
namespace {

// A picture is one or two panels of 720 by 440: the title, the subtitle, a
// row with the cost axis' name on the left and the legend on the right,
// then the plot from kTop to kBottom with its labels below.
constexpr double kWidth = 720, kPanelHeight = 440, kTop = 84, kBottom = 360;
constexpr int kColours = 10;
constexpr const char* kColour[kColours] = {
    "#4c78a8", "#f58518", "#e45756", "#72b7b2", "#54a24b",
    "#b79a20", "#b279a2", "#ff9da6", "#9d755d", "#79706e"};

// Writes as printf does: the elements hold numbers and short labels only.
template <typename... Values>
void put(std::ostream& out, const char* format, Values... values) {
  char text[160];
  std::snprintf(text, sizeof text, format, values...);
  out << text;
}

// One text element; `style` names its anchor (middle unless "start" or
// "end"), its size ("title") and its colour.
void text(std::ostream& out, const std::string& style, double x, double y,
          std::string_view content) {
  out << "<text" << (style.empty() ? "" : " class=\"" + style + '"');
  put(out, " x=\"%.1f\" y=\"%.1f\">", x, y);
  out << content << "</text>\n";
}

// The axis' scale in words; the linear zone of a log axis to one digit.
std::string costScale(const Axis& axis) {
  if (!(axis.c > 0)) return "cost axis linear";
  return "cost axis logarithmic beyond \xc2\xb1" + oneDigit(axis.c);
}

// Where a panel's plot lies in the picture.
struct Panel {
  double dy = 0;  // the panel's top
  double left = 80, right = 670;

  double x(const Axis& axis, double value) const {
    return left + axis.fraction(value) * (right - left);
  }
  double y(const Axis& axis, double value) const {
    return dy + kBottom - axis.fraction(value) * (kBottom - kTop);
  }
};

void drawTitles(std::ostream& out, double dy, const char* title,
                const std::string& subtitle) {
  text(out, "title", kWidth / 2, dy + 28, title);
  text(out, "", kWidth / 2, dy + 50, subtitle);
}

void drawNothing(std::ostream& out, double dy, const char* title,
                 std::string_view source) {
  drawTitles(out, dy, title, shortName(source, 40));
  text(out, "", kWidth / 2, dy + 220, "No finite costs to plot");
}

struct AxisSpec {
  Axis axis;
  bool whole = false;
  const char* name = "";
};

// The axes with their ticks and names. The plot's left edge makes room for
// the widest label of the vertical axis.
Panel drawAxes(std::ostream& out, double dy, double right, const AxisSpec& x,
               const AxisSpec& y) {
  const std::vector<Tick> yTicks =
      ticksOf(y.axis, y.whole, {kBottom - kTop, 6, 6, false});
  double widest = 0;
  for (const Tick& tick : yTicks)
    widest = std::max(widest, textWidth(tick.label));
  Panel panel{dy, std::max(80.0, std::ceil(widest) + 16), right};
  const std::vector<Tick> xTicks = ticksOf(
      x.axis, x.whole,
      {panel.right - panel.left, panel.left - 4, kWidth - panel.right - 4});
  text(out, "start", 8, dy + 70, y.name);
  put(out, "<path class=\"axes\" d=\"M%.1f %.1fV%.1fH%.1f\"/>\n", panel.left,
      dy + kTop, dy + kBottom, panel.right);
  for (const Tick& tick : xTicks) {
    const double at = panel.x(x.axis, tick.value);
    put(out, "<path class=\"axes\" d=\"M%.1f %.1fv5\"/>\n", at, dy + kBottom);
    text(out, "xtick", at, dy + kBottom + 19, tick.label);
  }
  for (const Tick& tick : yTicks) {
    const double at = panel.y(y.axis, tick.value);
    put(out, "<path class=\"axes\" d=\"M%.1f %.1fh5\"/>\n", panel.left - 5, at);
    text(out, "end ytick", panel.left - 8, at + 4, tick.label);
  }
  text(out, "", (panel.left + panel.right) / 2, dy + kBottom + 40, x.name);
  return panel;
}

// About sqrt(n) bins of equal width along the costs, at most 40; one when all
// costs are alike.
void drawHistogram(std::ostream& out, const Summary& s,
                   std::string_view source) {
  const std::vector<double>& costs = s.finiteCosts;
  const char* title = s.evolution ? "Finite final costs of the first population"
                                  : "Finite final costs";
  if (costs.empty()) return drawNothing(out, 0, title, source);
  const Axis axis = costAxis(costs);
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
  drawTitles(out, 0, title, shortName(source, 40) + "; " + costScale(axis));
  const Panel panel = drawAxes(
      out, 0, 670, {axis, false, "final cost (last Cost1 of each individual)"},
      {count, true, "individuals"});
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

// One line through the finite costs; a non-finite one breaks it. Round caps
// show a lone point as a dot.
void drawSeries(std::ostream& out, int colour, const std::vector<double>& costs,
                const Panel& panel, const Axis& x, const Axis& y) {
  put(out, "<path class=\"series r%d\" d=\"", colour % kColours);
  char command = 'M';
  for (std::size_t g = 0; g < costs.size(); ++g) {
    if (std::isfinite(costs[g]))
      put(out, "%c%.1f,%.1f ", command, panel.x(x, static_cast<double>(g + 1)),
          panel.y(y, costs[g]));
    command = std::isfinite(costs[g]) ? 'L' : 'M';
  }
  out << "\"/>\n";
}

// Generations 1 to `count` along a whole-number axis.
Axis generationAxis(std::size_t count) {
  const auto last = static_cast<double>(count);
  return count > 1 ? Axis{1.0, last} : Axis{0.5, 1.5};
}

std::vector<double> finiteOf(std::vector<double> values) {
  std::erase_if(values, [](double x) { return !std::isfinite(x); });
  return values;
}

void drawGenerations(std::ostream& out, const Summary& s,
                     std::string_view source) {
  const char* title = "Best and median cost by generation";
  std::vector<double> costs = s.bestCosts;
  costs.insert(costs.end(), s.medianCosts.begin(), s.medianCosts.end());
  costs = finiteOf(std::move(costs));
  if (costs.empty()) return drawNothing(out, kPanelHeight, title, source);
  const Axis x = generationAxis(s.bestCosts.size()), y = costAxis(costs);
  drawTitles(out, kPanelHeight, title,
             shortName(source, 40) + "; " + costScale(y));
  const Panel panel = drawAxes(out, kPanelHeight, 670, {x, true, "generation"},
                               {y, false, "cost"});
  text(out, "end r1", panel.right, kPanelHeight + 70, "median");
  text(out, "end r0", panel.right - textWidth("median") - 12, kPanelHeight + 70,
       "best");
  // The best line last, on top where the two meet.
  drawSeries(out, 1, s.medianCosts, panel, x, y);
  drawSeries(out, 0, s.bestCosts, panel, x, y);
}

// The document around the panels, `height` high.
template <typename Draw>
void writeDocument(std::ostream& out, int height, Draw draw) {
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"720\" height=\""
      << height << "\" viewBox=\"0 0 720 " << height << "\">\n"
      << "<title>Costs of function-approximator runs</title>\n<style>"
         "svg{font:12px sans-serif} text{text-anchor:middle} "
         ".title{font-size:17px} .start{text-anchor:start} "
         ".end{text-anchor:end} .bar{fill:#4c78a8} .axes{fill:none;stroke:"
         "black} .series{fill:none;stroke-width:2;stroke-linecap:round}";
  for (int k = 0; k < kColours; ++k)
    put(out, " path.r%d{stroke:%s} text.r%d{fill:%s}", k, kColour[k], k,
        kColour[k]);
  out << "</style>\n<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
  draw();
  out << "</svg>\n";
}

}  // namespace

void writeSvg(std::ostream& out, const Summary& summary,
              std::string_view source) {
  const int height = summary.evolution ? 880 : 440;
  writeDocument(out, height, [&] {
    drawHistogram(out, summary, source);
    if (summary.evolution) drawGenerations(out, summary, source);
  });
}

void writeRunsSvg(std::ostream& out, const std::vector<NamedSummary>& runs) {
  writeDocument(out, 440, [&] {
    const char* title = "Best cost by generation of each run";
    std::vector<double> costs;
    std::size_t longest = 0, drawn = 0;
    for (const NamedSummary& run : runs) {
      costs.insert(costs.end(), run.summary.bestCosts.begin(),
                   run.summary.bestCosts.end());
      longest = std::max(longest, run.summary.bestCosts.size());
      drawn += run.summary.bestCosts.empty() ? 0 : 1;
    }
    costs = finiteOf(std::move(costs));
    const std::string runCount = std::to_string(runs.size()) + " runs";
    if (costs.empty()) return drawNothing(out, 0, title, runCount);
    const Axis x = generationAxis(longest), y = costAxis(costs);
    const std::size_t undrawn = runs.size() - drawn;
    drawTitles(out, 0, title,
               runCount +
                   (undrawn == 0 ? ""
                                 : " (" + std::to_string(undrawn) +
                                       " without generations, not drawn)") +
                   "; " + costScale(y));
    const Panel panel =
        drawAxes(out, 0, 500, {x, true, "generation"}, {y, false, "best cost"});
    // The legend: a row for each run drawn while there is room, 16 in all.
    int row = 0;
    for (const NamedSummary& run : runs) {
      if (run.summary.bestCosts.empty()) continue;
      drawSeries(out, row, run.summary.bestCosts, panel, x, y);
      const double at = kTop + 4 + 16 * row++;
      if (row < 16 || drawn == 16)
        text(out, "start r" + std::to_string((row - 1) % kColours), 515, at,
             shortName(run.source, 22));
      else if (row == 16)
        text(out, "start", 515, at,
             "and " + std::to_string(drawn - 15) + " more runs");
    }
  });
}

}  // namespace report
