// Number conversion and the single-precision steps that every evaluation
// path shares, so that each path computes a result the same way.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <string_view>

// Exactly what atof gives for the text, without its cost for plain
// decimals such as "-31.25".
double decimalValue(std::string_view text);

namespace evaluation {

inline bool isSign(char ch) { return ch == '+' || ch == '-'; }

// Plain decimals ("31.25", "-7", "0.5") with at most 15 digits are exact
// as an integer over a power of ten, and one IEEE division then rounds
// exactly as atof does. Returns false for every other text, which goes to
// atof itself.
[[gnu::always_inline]] inline bool plainDecimal(std::string_view text,
                                                double& value) {
  static constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3, 1e4,  1e5,
                                            1e6,  1e7,  1e8,  1e9, 1e10, 1e11,
                                            1e12, 1e13, 1e14, 1e15};
  const char* p = text.data();
  const char* const end = p + text.size();
  const bool negative = p != end && *p == '-';
  if (p != end && (*p == '-' || *p == '+')) ++p;
  const char* const first = p;
  const char* point = nullptr;
  std::uint64_t digits = 0;
  for (; p != end; ++p) {
    const unsigned digit = static_cast<unsigned char>(*p) - unsigned{'0'};
    if (digit < 10) {
      digits = digits * 10 + digit;
    } else if (*p == '.' && point == nullptr) {
      point = p;
    } else {
      return false;
    }
  }
  const auto count = (end - first) - (point != nullptr ? 1 : 0);
  if (count == 0 || count > 15) return false;
  value = static_cast<double>(digits);
  if (point != nullptr) value /= kPowersOfTen[end - point - 1];
  if (negative) value = -value;
  return true;
}

// Everything but plain decimals: atof wants a terminated copy.
[[gnu::noinline, gnu::cold]] double atofOf(std::string_view text);

// atof narrowed to float, inlined into the evaluation loops: most operands
// are plain decimals.
[[gnu::always_inline]] inline float numberOf(std::string_view text) {
  if (text.empty()) return 0.0f;
  double value;
  if (!plainDecimal(text, value)) value = atofOf(text);
  return static_cast<float>(value);
}

// What a character is to the evaluator.
enum class Role : unsigned char { kOperand, kTermOperator, kSign };

inline constexpr auto kRoles = [] {
  std::array<Role, 256> roles{};
  for (const char ch : {'s', '*', '/'}) {
    roles[static_cast<unsigned char>(ch)] = Role::kTermOperator;
  }
  for (const char ch : {'+', '-'}) {
    roles[static_cast<unsigned char>(ch)] = Role::kSign;
  }
  return roles;
}();

inline Role roleOf(char ch) { return kRoles[static_cast<unsigned char>(ch)]; }

// When both operands are NaN the processor keeps the first one's sign, but
// the compiler may swap the operands of + and *: the NaN of the operand
// written first is kept here explicitly, so the sign that a transcript shows
// follows the written order whatever the compiler chose.
inline float addInOrder(float x, float y) {
  return std::isnan(x) && std::isnan(y) ? x : x + y;
}

inline float multiplyInOrder(float x, float y) {
  return std::isnan(x) && std::isnan(y) ? x : x * y;
}

inline float applyTermOperator(char op, float result, float v) {
  switch (op) {
    case 's':
      return addInOrder(result, std::sqrt(v));
    case '/':
      return result / v;
    default:
      return multiplyInOrder(v, result);
  }
}

// A closed term joins the sum by the sign before it; the first term, with
// no sign, starts it.
inline float applySign(char sign, float sum, float term) {
  return sign == '\0' ? term : sign == '+' ? addInOrder(term, sum) : sum - term;
}

}  // namespace evaluation
