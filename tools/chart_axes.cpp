#include "chart_axes.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace report {
namespace {

// n times 10 to the k, as near as a double comes: read from its decimal
// text, so that 3e-1 is 0.3, where 3 * 0.1 would not be.
double scaled(long long n, int k) {
  char text[48];
  std::snprintf(text, sizeof text, "%llde%d", n, k);
  return std::strtod(text, nullptr);
}

int digitsOf(long long n) {
  int digits = 1;
  for (n = std::llabs(n); n >= 10; n /= 10) ++digits;
  return digits;
}

// n times 10 to the k as "%g" writes it, keeping every digit of n: plain up
// to six digits before the point, like every other number of the report.
std::string label(long long n, int k) {
  if (n == 0) return "0";
  const int digits = digitsOf(n), exponent = digits - 1 + k;
  const int precision =
      std::clamp(std::max(digits, std::min(exponent + 1, 6)), 1, 17);
  char text[40];
  std::snprintf(text, sizeof text, "%.*g", precision, scaled(n, k));
  return text;
}

// One notation along an axis: when a label needs an exponent, every label
// but 0 takes one, with as few digits as read back its value.
void oneNotation(std::vector<Tick>& ticks) {
  if (std::none_of(ticks.begin(), ticks.end(), [](const Tick& tick) {
        return tick.label.find('e') != std::string::npos;
      }))
    return;
  for (int digits = 0; digits < 17; ++digits) {
    bool exact = true;
    for (Tick& tick : ticks) {
      char text[40];
      std::snprintf(text, sizeof text, "%.*e", digits, tick.value);
      if (tick.value != 0) tick.label = text;
      exact = exact && std::strtod(text, nullptr) == tick.value;
    }
    if (exact) return;
  }
}

// Whether each label keeps one character (side by side) or two pixels
// (stacked) from the next, and all stay within the room beyond the ends.
bool clear(std::vector<Tick>& ticks, const Axis& axis, const LabelRoom& room) {
  oneNotation(ticks);
  const double gap = room.sideBySide ? textWidth("0") : 2;
  double end = -room.before - gap;  // where the last label ends
  for (const Tick& tick : ticks) {
    const double at = axis.fraction(tick.value) * room.length;
    const double half =
        room.sideBySide ? textWidth(tick.label) / 2 : kFontSize / 2;
    if (at - half < end + gap) return false;
    end = at + half;
  }
  return end <= room.length + room.after;
}

std::vector<Tick> multiples(const Axis& axis, long long m, int k) {
  const double step = scaled(m, k);
  std::vector<Tick> ticks;
  const double last = std::floor(axis.hi / step);
  for (double i = std::ceil(axis.lo / step); i <= last; ++i) {
    const long long n = static_cast<long long>(i) * m;
    ticks.push_back({scaled(n, k), label(n, k)});
  }
  return ticks;
}

// Steps of 1, 2 and 5 times a power of ten, from the first that divides the
// axis into at most six, up to the first whose labels are clear.
std::vector<Tick> linearTicks(const Axis& axis, bool whole,
                              const LabelRoom& room) {
  const double span = axis.hi - axis.lo;
  if (!(span > 0) || !std::isfinite(span)) return {};
  // A sixth of the span, counted in logarithms: as a double it may underflow.
  int k = static_cast<int>(std::floor(std::log10(span) - std::log10(6.0)));
  if (whole) k = std::max(k, 0);
  const double far = std::max(std::fabs(axis.lo), std::fabs(axis.hi));
  for (long long m = 1;; m = m == 1 ? 2 : m == 2 ? 5 : (++k, 1)) {
    const double step = scaled(m, k);
    // Multiples counted in a long long, with no digit lost in a double.
    if (6 * step < span || far / step > 1e15) continue;
    std::vector<Tick> ticks = multiples(axis, m, k);
    if (whole && axis.lo == std::floor(axis.lo) &&
        (ticks.empty() || ticks.front().value > axis.lo)) {
      std::vector<Tick> withStart = ticks;
      withStart.insert(withStart.begin(),
                       {axis.lo, label(std::llround(axis.lo), 0)});
      if (clear(withStart, axis, room)) return withStart;
    }
    if (ticks.size() <= 1 || clear(ticks, axis, room)) return ticks;
  }
}

// 0 and the powers of ten from c outwards, every stride-th decade.
std::vector<Tick> logTicks(const Axis& axis, const LabelRoom& room) {
  const double far = std::max(std::fabs(axis.lo), std::fabs(axis.hi));
  if (!(far > 0) || !std::isfinite(far)) return {};
  // Powers of ten among the normal doubles only.
  const int first =
      std::max(static_cast<int>(std::ceil(std::log10(axis.c))), -307);
  const int last = std::min(static_cast<int>(std::floor(std::log10(far))), 308);
  std::vector<Tick> ticks, every;
  for (const int stride : {1, 2, 3, 5, 10, 20, 50, 100, 200, 500, 1000}) {
    ticks.clear();
    for (int j = last; j >= first; --j) {
      if (j % stride == 0 && -scaled(1, j) > axis.lo)
        ticks.push_back({-scaled(1, j), label(-1, j)});
    }
    if (axis.lo <= 0 && 0 <= axis.hi) ticks.push_back({0.0, "0"});
    for (int j = first; j <= last; ++j) {
      if (j % stride == 0 && scaled(1, j) <= axis.hi)
        ticks.push_back({scaled(1, j), label(1, j)});
    }
    // Less than a decade: the round values of a linear axis.
    if (stride == 1 && ticks.size() < 2) return linearTicks(axis, false, room);
    if (clear(ticks, axis, room)) return ticks;
    if (stride == 1) every = ticks;
  }
  // Those about 0 touch whatever the stride: keep each label that clears
  // those kept before it.
  std::vector<Tick> kept;
  for (const Tick& tick : every) {
    kept.push_back(tick);
    if (!clear(kept, axis, room)) kept.pop_back();
  }
  return kept;
}

}  // namespace

double textWidth(std::string_view text, double fontSize) {
  // A character's UTF-8 continuation bytes take no room of their own.
  const auto characters = std::count_if(text.begin(), text.end(), [](char ch) {
    return (static_cast<unsigned char>(ch) & 0xc0) != 0x80;
  });
  return static_cast<double>(characters) * 0.65 * fontSize;
}

std::string oneDigit(double value) {
  char text[32];  // "5e-324": a digit and the exponent
  std::snprintf(text, sizeof text, "%.0e", value);
  return label(text[0] - '0', std::atoi(text + 2));
}

double Axis::warp(double x) const {
  return c > 0 ? std::copysign(std::log10(1 + std::fabs(x) / c), x) : x;
}

double Axis::unwarp(double t) const {
  return c > 0 ? std::copysign(c * (std::pow(10.0, std::fabs(t)) - 1), t) : t;
}

double Axis::fraction(double x) const {
  const double f = (warp(x) - warp(lo)) / (warp(hi) - warp(lo));
  return f >= 0 ? std::min(f, 1.0) : 0.0;  // NaN too goes to 0
}

double Axis::at(double f) const {
  return unwarp(warp(lo) + f * (warp(hi) - warp(lo)));
}

Axis costAxis(const std::vector<double>& costs, double ratio) {
  const auto [low, high] = std::minmax_element(costs.begin(), costs.end());
  double smallest = std::numeric_limits<double>::infinity(), largest = 0.0;
  for (const double x : costs) {
    if (std::fabs(x) > 0) smallest = std::min(smallest, std::fabs(x));
    largest = std::max(largest, std::fabs(x));
  }
  Axis axis{*low, *high, 0.0};
  if (largest > ratio * smallest || !std::isfinite(*high - *low))
    axis.c = smallest;
  if (!(axis.lo < axis.hi)) {  // from 0 to twice the cost, or -1 to 1
    const double room = axis.lo != 0 ? std::fabs(axis.lo) : 1.0;
    axis.lo -= room;
    axis.hi += room;
  }
  const double lo = axis.warp(axis.lo), hi = axis.warp(axis.hi);
  const double margin = (hi - lo) / 20;
  if (std::isfinite(axis.unwarp(lo - margin)))
    axis.lo = axis.unwarp(lo - margin);
  if (std::isfinite(axis.unwarp(hi + margin)))
    axis.hi = axis.unwarp(hi + margin);
  return axis;
}

std::vector<Tick> ticksOf(const Axis& axis, bool whole, const LabelRoom& room) {
  return axis.c > 0 ? logTicks(axis, room) : linearTicks(axis, whole, room);
}

// One text element; `style` names its anchor (middle unless "start" or
// "end") and its size ("title"). The content is escaped for XML.
void text(std::ostream& out, const std::string& style, double x, double y,
          std::string_view content) {
  out << "<text" << (style.empty() ? "" : " class=\"" + style + '"');
  put(out, " x=\"%.1f\" y=\"%.1f\">", x, y);
  for (const char ch : content)  // '>' needs no escape in content
    out << (ch == '&' ? "&amp;" : ch == '<' ? "&lt;" : std::string(1, ch));
  out << "</text>\n";
}

// The axis' scale in words; the linear zone of a log axis to one digit.
std::string scaleOf(const Axis& axis, bool gaps) {
  if (!(axis.c > 0)) return gaps ? "gap axis linear" : "cost axis linear";
  return (gaps ? "gap axis logarithmic above "
               : "cost axis logarithmic beyond \xc2\xb1") +
         oneDigit(axis.c);
}

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

}  // namespace report
