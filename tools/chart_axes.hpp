// The axes of the report's charts: where a value sits along one, the
// round values that mark it, labelled so that no two labels touch, and the
// frame, ticks and names drawn in SVG.
#pragma once

#include <cstdio>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace report {

// The pictures' font sizes, and the room a text takes in them: 0.65 of the
// font size a character, as wide as the digits of the common sans-serif
// faces and a little more.
constexpr double kFontSize = 12, kTitleSize = 17;
double textWidth(std::string_view text, double fontSize = kFontSize);

// A positive value to one significant digit, written as the labels are.
std::string oneDigit(double value);

// Values from lo to hi along an axis.
//
// A symmetric log axis maps x to sign(x) * log10(1 + |x| / c): close to
// linear within ±c and one width for every decade beyond, so that the zero
// and negative costs this program produces have their place. Values beyond
// a float's range, which no run writes, only spoil the picture: an overflow
// gives a NaN fraction, which is taken as 0.
struct Axis {
  double lo = 0.0, hi = 1.0;
  double c = 0.0;  // 0 for a linear axis

  double warp(double x) const;
  double unwarp(double t) const;
  double fraction(double x) const;  // from 0 at lo to 1 at hi
  double at(double f) const;        // the value at a fraction
};

// An axis over finite costs: symmetric log, c the smallest non-zero
// magnitude, when the largest is more than `ratio` times it; otherwise
// linear. Equal costs get room on both sides; then a twentieth of the
// length is added at each end, so that no line runs along the frame.
Axis costAxis(const std::vector<double>& costs, double ratio);

struct Tick {
  double value = 0.0;
  std::string label;
};

// Where an axis' labels go: its length in pixels and the room beyond its
// ends; side by side along a horizontal axis, stacked along a vertical one.
struct LabelRoom {
  double length = 0, before = 0, after = 0;
  bool sideBySide = true;
};

// Round values along the axis, each label clear of the next one: on a linear
// axis the multiples of one step of 1, 2 or 5 times a power of ten (whole
// numbers when `whole`, which adds the axis' start when it is not one of
// them); on a symmetric log axis 0 and powers of ten, every one where they
// fit, or every second, third, ..., or those of a linear axis where less
// than a decade is shown. An axis' labels are all plain or all have an
// exponent.
std::vector<Tick> ticksOf(const Axis& axis, bool whole, const LabelRoom& room);

// A picture is one or two panels of 720 by 440: the title, the subtitle, a
// row with the value axis' name on the left, then the plot from kTop to
// kBottom with its labels below and its legend, if any, on the right.
constexpr double kWidth = 720, kTop = 84, kBottom = 360;

// Writes as printf does: the elements hold numbers and short labels only.
template <typename... Values>
void put(std::ostream& out, const char* format, Values... values) {
  char text[160];
  std::snprintf(text, sizeof text, format, values...);
  out << text;
}

// One text element; `style` names its anchor (middle unless "start" or
// "end") and its size ("title"). The content is escaped for XML.
void text(std::ostream& out, const std::string& style, double x, double y,
          std::string_view content);

// The axis' scale in words; the linear zone of a log axis to one digit.
std::string scaleOf(const Axis& axis, bool gaps);

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

struct AxisSpec {
  Axis axis;
  bool whole = false;
  const char* name = "";
};

// The axes with their ticks and names. The plot's left edge makes room for
// the widest label of the vertical axis.
Panel drawAxes(std::ostream& out, double dy, double right, const AxisSpec& x,
               const AxisSpec& y);

}  // namespace report
