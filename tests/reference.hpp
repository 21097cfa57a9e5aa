// Plain transcriptions of the slow procedures that the evaluator's fast ones
// replace: bubble sorts, fold-and-restart loops, splicing one letter at a
// time, cutting texts at operator lists. The tests and the fuzz target hold
// the fast versions to these, bit for bit.
#pragma once

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "evaluator.hpp"
#include "support.hpp"

namespace reference {

// Each character's positions in set order, concatenated, then put in order
// by an exchange sort with a fixed number of passes.
inline std::vector<int> operatorList(const std::string& text,
                                     const std::string& set) {
  std::vector<int> v;
  for (const char ch : set)
    for (std::size_t i = 0; i < text.size(); ++i)
      if (text[i] == ch) v.push_back(static_cast<int>(i));
  for (std::size_t n = v.size(); n > 1; --n)
    for (std::size_t d = 0; d + 1 < n; ++d)
      if (v[d + 1] < v[d]) std::swap(v[d], v[d + 1]);
  return v;
}

// Fold the leftmost pair of adjacent signs, then start again from the left.
inline std::string parseSigns(std::string t) {
  const auto sign = [](char ch) { return ch == '+' || ch == '-'; };
  for (std::size_t at = 1; at < t.size(); ++at) {
    if (sign(t[at - 1]) && sign(t[at])) {
      t.replace(at - 1, 2, t[at - 1] == t[at] ? "+" : "-");
      at = 0;
    }
  }
  return t;
}

// One pass per letter: splice in the value, search on right after it.
inline std::string replaceVar(std::string text) {
  for (const auto& [letter, value] : {std::pair{'a', a}, {'b', b}, {'c', c}})
    for (std::size_t at = 0; (at = text.find(letter, at)) != std::string::npos;
         at += value.size())
      text.replace(at, 1, value);
  return text;
}

// Between two NaNs the operand written first keeps its NaN.
inline float inOrder(float x, float y, float computed) {
  return std::isnan(x) && std::isnan(y) ? x : computed;
}

// Cuts text at the operators of `set` (with one more past its end) and
// folds the pieces left to right.
template <typename Value, typename Combine>
float fold(const std::string& text, const std::string& set, Value value,
           Combine combine) {
  float r = 0.0f;
  std::size_t begin = 0;
  for (const int end : operatorList(text + set[0], set)) {
    const float v = value(text.substr(begin, std::size_t(end) - begin));
    r = begin == 0 ? v : combine(text[begin - 1], r, v);
    begin = std::size_t(end) + 1;
  }
  return r;
}

inline float muldiv(const std::string& text) {
  const auto number = [](auto t) { return float(std::atof(t.c_str())); };
  return fold(text, "s*/", number, [](char op, float r, float v) {
    if (op == 's') return inOrder(r, std::sqrt(v), r + std::sqrt(v));
    return op == '/' ? r / v : inOrder(v, r, v * r);
  });
}

inline float sumres(const std::string& text) {
  return fold(parseSigns(text), "+-", muldiv, [](char sign, float r, float t) {
    return sign == '+' ? inOrder(t, r, t + r) : r - t;
  });
}

inline bool same(float x, float y) { return !std::memcmp(&x, &y, sizeof x); }

// What the evaluator gets wrong for an expression and the current values of
// a, b, c, against the procedures above; empty when nothing.
inline std::string pipelineFault(const std::string& expression) {
  const std::string replaced = replaceVar(expression);
  CoutCapture out;
  const float value = ::parseString(expression);
  if (::replaceVar(expression) != replaced) return "replaceVar";
  if (out.text() != "Parsed: " + parseSigns(replaced) + "\n") return "Parsed";
  if (!same(value, sumres(replaced))) return "parseString";
  return same(::expressionValue(expression), value) ? "" : "expressionValue";
}

}  // namespace reference
