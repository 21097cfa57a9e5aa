// Plain transcriptions of the slow procedures that the evaluator's one-pass
// versions replace: exchange sorts, fold-and-restart loops, splicing one
// letter at a time. The tests and the fuzz targets hold the fast versions to
// these, bit for bit.
#pragma once

#include <cmath>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "evaluator.hpp"

namespace reference {

using Positions = std::vector<int>;

inline bool isSign(char ch) { return ch == '+' || ch == '-'; }

inline Positions findChar(const std::string& text, char ch) {
  Positions found;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == ch) found.push_back(static_cast<int>(i));
  }
  return found;
}

// Exchange sort with a fixed number of passes.
inline Positions sortAsc(Positions v) {
  const std::size_t n = v.size();
  if (n == 0) return v;
  for (std::size_t pass = 0; pass < n - 1; ++pass) {
    for (std::size_t d = 0; d < n - pass - 1; ++d) {
      if (v[d + 1] < v[d]) std::swap(v[d], v[d + 1]);
    }
  }
  return v;
}

// Each character's list in set order, concatenated, then sorted.
inline Positions operatorList(const std::string& text, const std::string& set) {
  Positions all;
  for (const char ch : set) {
    const Positions one = findChar(text, ch);
    all.insert(all.end(), one.begin(), one.end());
  }
  return sortAsc(all);
}

// Fold the leftmost pair of adjacent signs, rebuild the list, start again.
inline std::string parseSigns(std::string text) {
  for (bool folded = true; folded;) {
    folded = false;
    for (const int p : operatorList(text, "+-")) {
      const auto at = static_cast<std::size_t>(p);
      if (at > 0 && isSign(text[at - 1])) {
        text[at - 1] = text[at - 1] == text[at] ? '+' : '-';
        text.erase(at, 1);
        folded = true;
        break;
      }
    }
  }
  return text;
}

// Splice in one letter at a time, searching on right after the inserted
// value; a pass for each of a, b and c.
inline std::string replaceVar(std::string text) {
  const std::pair<char, const std::string*> passes[] = {
      {'a', &a}, {'b', &b}, {'c', &c}};
  for (const auto& [letter, value] : passes) {
    std::size_t from = 0;
    for (std::size_t at; (at = text.find(letter, from)) != std::string::npos;) {
      text = text.substr(0, at) + *value + text.substr(at + 1);
      from = at + value->size();
    }
  }
  return text;
}

// Cuts text at the listed operators and folds the pieces left to right.
template <typename Value, typename Combine>
float fold(const std::string& text, const Positions& ops, Value value,
           Combine combine) {
  std::size_t begin = 0;
  std::size_t end =
      ops.empty() ? text.size() : static_cast<std::size_t>(ops[0]);
  float result = value(text.substr(begin, end - begin));
  for (std::size_t i = 0; i < ops.size(); ++i) {
    begin = static_cast<std::size_t>(ops[i]) + 1;
    end =
        i + 1 < ops.size() ? static_cast<std::size_t>(ops[i + 1]) : text.size();
    result = combine(text[begin - 1], result,
                     value(text.substr(begin, end - begin)));
  }
  return result;
}

// Between two NaNs the operand written first keeps its NaN, as the
// processor does when the operands stay in their written order.
inline float writtenFirst(float x, float y, float computed) {
  return std::isnan(x) && std::isnan(y) ? x : computed;
}

inline float number(const std::string& text) {
  return static_cast<float>(std::atof(text.c_str()));
}

inline float muldiv(const std::string& text) {
  return fold(text, operatorList(text, "s*/"), number,
              [](char op, float result, float v) {
                if (op == 's') {
                  return writtenFirst(result, std::sqrt(v),
                                      result + std::sqrt(v));
                }
                if (op == '/') return result / v;
                return writtenFirst(v, result, v * result);
              });
}

inline float sumres(const std::string& text) {
  const std::string folded = parseSigns(text);
  return fold(folded, operatorList(folded, "+-"), muldiv,
              [](char sign, float result, float t) {
                return sign == '+' ? writtenFirst(t, result, t + result)
                                   : result - t;
              });
}

}  // namespace reference
