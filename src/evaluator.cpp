#include "evaluator.hpp"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <stdexcept>
#include <utility>

#include "transcript.hpp"

std::string a;
std::string b;
std::string c;

namespace {

static_assert(sizeof(int) == 4, "positions are 32-bit signed integers");

// Longest text whose positions fit a 32-bit signed integer.
constexpr std::size_t kMaxTextLength = INT_MAX;

bool isSign(char ch) { return ch == '+' || ch == '-'; }

// Cuts text at the operator positions and folds the pieces left to right:
// the piece before the first operator starts the result, and each operator
// combines the result with the piece after it.
template <typename Value, typename Combine>
float foldPieces(const std::string& text, const std::vector<int>& positions,
                 Value value, Combine combine) {
  const auto piece = [&](std::size_t begin, std::size_t end) {
    return value(text.substr(begin, end - begin));
  };
  float result = piece(0, static_cast<std::size_t>(positions.front()));
  for (std::size_t i = 0; i < positions.size(); ++i) {
    const auto at = static_cast<std::size_t>(positions[i]);
    const std::size_t end = i + 1 < positions.size()
                                ? static_cast<std::size_t>(positions[i + 1])
                                : text.size();
    result = combine(text[at], result, piece(at + 1, end));
  }
  return result;
}

// One pass of the substitution: every `letter` in text becomes `value`.
std::string substituteLetter(const std::string& text, char letter,
                             const std::string& value) {
  const auto count =
      static_cast<std::size_t>(std::count(text.begin(), text.end(), letter));
  if (count == 0) return text;
  const std::size_t kept = text.size() - count;
  if (value.size() > 0 && count > (kMaxTextLength - kept) / value.size()) {
    throw std::length_error(
        "the expression is too long once the test values are put in");
  }
  std::string out;
  out.reserve(kept + count * value.size());
  std::size_t start = 0;
  for (std::size_t at = text.find(letter); at != std::string::npos;
       at = text.find(letter, start)) {
    out.append(text, start, at - start);
    out += value;
    start = at + 1;
  }
  out.append(text, start, std::string::npos);
  return out;
}

}  // namespace

std::vector<int> findChar(std::string str, char toFind) {
  return operatorPositions(str, std::string_view(&toFind, 1));
}

std::vector<int> sortAsc(std::vector<int> vector) {
  std::sort(vector.begin(), vector.end());
  return vector;
}

float number(std::string exp) {
  return static_cast<float>(std::atof(exp.c_str()));
}

std::vector<int> operatorPositions(std::string_view text,
                                   std::string_view operators) {
  if (text.size() > kMaxTextLength) {
    throw std::length_error("text too long for 32-bit positions");
  }
  std::vector<int> positions;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (operators.find(text[i]) != std::string_view::npos) {
      positions.push_back(static_cast<int>(i));
    }
  }
  return positions;
}

float muldiv(std::string exp) {
  const std::vector<int> sentence = operatorPositions(exp, "s*/");
  if (sentence.empty()) return number(std::move(exp));
  return foldPieces(exp, sentence, number, [](char op, float result, float v) {
    switch (op) {
      case 's':
        return result + std::sqrt(v);
      case '/':
        return result / v;
      default:
        return v * result;
    }
  });
}

std::string parseSigns(std::string exp) {
  std::string folded;
  folded.reserve(exp.size());
  for (std::size_t i = 0; i < exp.size();) {
    if (!isSign(exp[i])) {
      folded += exp[i++];
      continue;
    }
    // A run folds pairwise: two unlike signs give "-", two like ones "+".
    bool negative = false;
    for (; i < exp.size() && isSign(exp[i]); ++i) {
      negative = negative != (exp[i] == '-');
    }
    folded += negative ? '-' : '+';
  }
  return folded;
}

float sumres(std::string expressionToParse) {
  expressionToParse = parseSigns(std::move(expressionToParse));
  writeLine("Parsed: ", expressionToParse);
  const std::vector<int> sentence = operatorPositions(expressionToParse, "+-");
  if (sentence.empty()) return muldiv(std::move(expressionToParse));
  return foldPieces(expressionToParse, sentence, muldiv,
                    [](char sign, float result, float t) {
                      return sign == '+' ? t + result : result - t;
                    });
}

std::string replaceVar(std::string exp) {
  exp = substituteLetter(exp, 'a', a);
  exp = substituteLetter(exp, 'b', b);
  return substituteLetter(exp, 'c', c);
}

float parseString(std::string exp) {
  return sumres(replaceVar(std::move(exp)));
}
