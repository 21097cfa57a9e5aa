// The axes of the report's charts: where a value sits along one, and the
// round values that mark it, labelled so that no two labels touch.
#pragma once

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
// magnitude, when the magnitudes span more than three decades; otherwise
// linear. Equal costs get room on both sides; then a twentieth of the
// length is added at each end, so that no line runs along the frame.
Axis costAxis(const std::vector<double>& costs);

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
// fit, or every second, third, ...
std::vector<Tick> ticksOf(const Axis& axis, bool whole, const LabelRoom& room);

}  // namespace report
