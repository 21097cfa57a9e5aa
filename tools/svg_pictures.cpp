#include "svg_pictures.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace report {
namespace {

// Each picture is a panel of 720 by 440, its plot within this frame.
constexpr double kLeft = 80, kRight = 670, kTop = 70, kBottom = 360;

// Where values sit along an axis, as a fraction from lo to hi.
//
// The symmetric log axis maps x to sign(x) * log10(1 + |x| / c), with c the
// smallest non-zero magnitude among the values. A plain log axis cannot show
// the zero and negative costs this program produces; this one is close to
// linear within ±c and gives every decade beyond it the same width. Costs
// beyond a float's range, which no run writes, only spoil the picture: an
// overflow gives a NaN fraction, which is clamped.
struct Axis {
  double lo = 0.0, hi = 1.0;
  double c = 0.0;  // 0 for a linear axis

  double warp(double x) const {
    return c > 0 ? std::copysign(std::log10(1 + std::fabs(x) / c), x) : x;
  }
  double fraction(double x) const {
    const double f = (warp(x) - warp(lo)) / (warp(hi) - warp(lo));
    return f >= 0 ? std::min(f, 1.0) : 0.0;  // NaN too goes to 0
  }
  double at(double f) const {  // the value at a fraction of the axis
    const double t = warp(lo) + f * (warp(hi) - warp(lo));
    return c > 0 ? std::copysign(c * (std::pow(10.0, std::fabs(t)) - 1), t) : t;
  }
};

// An axis over finite values: symmetric log when `mayLog` and their
// magnitudes span more than three decades. When all are alike every
// fraction is NaN, taken as 0: the values sit at the axis's start.
Axis axisOver(const std::vector<double>& values, bool mayLog) {
  const auto [low, high] = std::minmax_element(values.begin(), values.end());
  double smallest = std::numeric_limits<double>::infinity(), largest = 0.0;
  for (const double x : values) {
    if (std::fabs(x) > 0) smallest = std::min(smallest, std::fabs(x));
    largest = std::max(largest, std::fabs(x));
  }
  return {*low, *high, mayLog && largest > 1000 * smallest ? smallest : 0.0};
}

// Five ticks at equal steps along the axis; on a whole-number axis, the
// whole numbers nearest to them.
std::vector<double> ticksOf(const Axis& axis, bool whole) {
  std::vector<double> ticks;
  for (int k = 0; k <= 4; ++k) {
    const double value =
        whole ? std::round(axis.at(k / 4.0)) : axis.at(k / 4.0);
    if (ticks.empty() || value > ticks.back()) ticks.push_back(value);
  }
  return ticks;
}

// Writes as printf does: the elements hold numbers and short labels only.
template <typename... Values>
void put(std::ostream& out, const char* format, Values... values) {
  char text[160];
  std::snprintf(text, sizeof text, format, values...);
  out << text;
}

double xOf(const Axis& axis, double x) {
  return kLeft + axis.fraction(x) * (kRight - kLeft);
}

double yOf(const Axis& axis, double y) {
  return kBottom - axis.fraction(y) * (kBottom - kTop);
}

// The title, the subtitle naming the scale of the values along `scaled`, the
// axes with their ticks; without axes, a note that there is nothing to plot.
void drawFrame(std::ostream& out, const char* title, const std::string& source,
               const Axis* x = nullptr, bool xWhole = false,
               const Axis* y = nullptr, bool yWhole = false,
               const Axis* scaled = nullptr, const char* xLabel = "",
               const char* yLabel = "") {
  out << "<text class=\"title\" x=\"360\" y=\"28\">" << title
      << "</text>\n<text x=\"360\" y=\"50\">" << source;
  if (x == nullptr) {
    out << "</text>\n<text x=\"360\" y=\"220\">No finite costs to "
           "plot</text>\n";
    return;
  }
  out << (scaled->c > 0 ? "; symmetric log axis, linear within \xc2\xb1" +
                              formatNumber(scaled->c)
                        : "; linear axis")
      << "</text>\n<path class=\"axes\" d=\"M80 70V360H670\"/>\n";
  for (const double value : ticksOf(*x, xWhole)) {
    put(out,
        "<path class=\"axes\" d=\"M%.1f 360v5\"/><text x=\"%.1f\" "
        "y=\"379\">%.*g</text>\n",
        xOf(*x, value), xOf(*x, value), xWhole ? 10 : 3, value);
  }
  for (const double value : ticksOf(*y, yWhole)) {
    put(out,
        "<path class=\"axes\" d=\"M75 %.1fh5\"/><text class=\"y\" x=\"72\" "
        "y=\"%.1f\">%.*g</text>\n",
        yOf(*y, value), yOf(*y, value) + 4, yWhole ? 10 : 3, value);
  }
  put(out,
      "<text x=\"375\" y=\"400\">%s</text>\n<text transform=\"translate(24 "
      "215) rotate(-90)\">%s</text>\n",
      xLabel, yLabel);
}

// About sqrt(n) bins of equal width along the axis, at most 40; one when all
// costs are alike.
void drawHistogram(std::ostream& out, const Summary& s,
                   const std::string& source) {
  const std::vector<double>& costs = s.finiteCosts;
  const char* title = s.evolution ? "Finite final costs of the first population"
                                  : "Finite final costs";
  if (costs.empty()) {
    return drawFrame(out, title, source);
  }
  const Axis axis = axisOver(costs, true);
  const auto [low, high] = std::minmax_element(costs.begin(), costs.end());
  const double root = std::ceil(std::sqrt(static_cast<double>(costs.size())));
  const auto bins =
      static_cast<std::size_t>(*low < *high ? std::min(root, 40.0) : 1);
  std::vector<std::size_t> counts(bins);
  for (const double x : costs) {
    const double bin = axis.fraction(x) * static_cast<double>(bins);
    ++counts[std::min(static_cast<std::size_t>(bin), bins - 1)];
  }
  const Axis count{0.0, static_cast<double>(
                            *std::max_element(counts.begin(), counts.end()))};
  drawFrame(out, title, source, &axis, false, &count, true, &axis,
            "final cost (last Cost1 of each individual)", "individuals");
  const double width = (kRight - kLeft) / static_cast<double>(bins);
  for (std::size_t k = 0; k < bins; ++k) {
    const double top = yOf(count, static_cast<double>(counts[k]));
    if (counts[k] == 0) continue;
    put(out,
        "<rect class=\"bar\" x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" "
        "height=\"%.1f\"/>\n",
        kLeft + static_cast<double>(k) * width + 0.5, top,
        std::max(width - 1, 0.5), kBottom - top);
  }
}

// One line through the finite costs; a non-finite one breaks it. Round caps
// show a lone point as a dot.
void drawSeries(std::ostream& out, const char* name,
                const std::vector<double>& costs, const Axis& x, const Axis& y,
                int legend) {
  put(out, "<text class=\"y %s\" x=\"660\" y=\"%d\">%s</text>\n", name, legend,
      name);
  put(out, "<path class=\"series %s\" d=\"", name);
  char command = 'M';
  for (std::size_t g = 0; g < costs.size(); ++g) {
    if (std::isfinite(costs[g]))
      put(out, "%c%.1f,%.1f ", command, xOf(x, static_cast<double>(g + 1)),
          yOf(y, costs[g]));
    command = std::isfinite(costs[g]) ? 'L' : 'M';
  }
  put(out, "\"/>\n");
}

void drawGenerations(std::ostream& out, const Summary& s,
                     const std::string& source) {
  std::vector<double> finite = s.bestCosts;
  finite.insert(finite.end(), s.medianCosts.begin(), s.medianCosts.end());
  std::erase_if(finite, [](double x) { return !std::isfinite(x); });
  const char* title = "Best and median cost by generation";
  if (finite.empty()) {
    return drawFrame(out, title, source);
  }
  const Axis x =
      axisOver({1.0, static_cast<double>(s.bestCosts.size())}, false);
  const Axis y = axisOver(finite, true);
  drawFrame(out, title, source, &x, true, &y, false, &y, "generation", "cost");
  drawSeries(out, "best", s.bestCosts, x, y, 40);
  drawSeries(out, "median", s.medianCosts, x, y, 56);
}

}  // namespace

void writeSvg(std::ostream& out, const Summary& summary,
              std::string_view source) {
  const std::string name = printable(source);
  const int height = summary.evolution ? 880 : 440;
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"720\" height=\""
      << height << "\" viewBox=\"0 0 720 " << height << "\">\n"
      << "<title>Costs of a run of function-approximator</title>\n<style>"
         "svg{font:12px sans-serif} text{text-anchor:middle} "
         ".title{font-size:17px} .bar{fill:#4c78a8} .axes{fill:none;stroke:"
         "black} .best{stroke:#4c78a8;fill:#4c78a8} .median{stroke:#f58518;"
         "fill:#f58518} .series{fill:none;stroke-width:2;stroke-linecap:round}"
         " .y{text-anchor:end;stroke:none}</style>\n"
         "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
  drawHistogram(out, summary, name);
  if (summary.evolution) {
    out << "<g transform=\"translate(0 440)\">\n";
    drawGenerations(out, summary, name);
    out << "</g>\n";
  }
  out << "</svg>\n";
}

}  // namespace report
